// ProcessRequest: every parsed request passes through here once. The
// message step (chat lines and commands of a known user) comes first, then
// the page step answers the path.
#pragma once

#include <string>

class CAccountWork;
class CChatCore;
class CRegistrationRate;
class CRequest;
// What the server lends every request besides the chat core.
struct RequestServices {
  CAccountWork* accountWork = nullptr;         // hashing and account files
  CRegistrationRate* registrations = nullptr;  // registrations per address
};

void ProcessRequest(CRequest& request, CChatCore& core, const RequestServices& services);

// The file a path names below the document directory: "logon.html" for "/"
// and for names holding "..", "USERS" or ".INI" (any case).
std::string StaticFileName(const std::string& path);
