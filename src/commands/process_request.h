// ProcessRequest: every parsed request passes through here once. The
// message step (chat lines and commands of a known user) comes first, then
// the page step answers the path.
#pragma once

#include <string>

class CChatCore;
class CRequest;

void ProcessRequest(CRequest& request, CChatCore& core);

// The file a path names below the document directory: "logon.html" for "/"
// and for names holding "..", "USERS" or ".INI" (any case).
std::string StaticFileName(const std::string& path);
