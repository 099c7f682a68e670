// The request handler's shared pieces.
#pragma once

#include <string>

class CClientConnection;

// The file a path names below the document directory: "logon.html" for "/"
// and for names holding "..", "USERS" or ".INI" (any case).
std::string StaticFileName(const std::string& path);
// The page for "/goto" and "/Blank" when the session names nobody.
void WriteInvalidSessionNotice(CClientConnection& connection);
