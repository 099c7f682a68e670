// Logon ("/logon" without a session): name test, ban and kick checks, the
// new session, the password check, and the post-logon frameset.
#pragma once

#include <string>

class CClientConnection;
class CRequestForm;

// A name may log on when it is not empty and holds none of: blank, 0xFF,
// tab, 0x7F, 0x80, ':', '<', '>', '\''.
bool IsAcceptableLogonName(const std::string& name);
void DoLogon(CClientConnection& connection, const CRequestForm& form);
// The frameset a user gets after logging on: the room list and the hidden
// keep-alive frame.
void WritePostLogonFrameset(CClientConnection& connection, const std::string& sessionId);
