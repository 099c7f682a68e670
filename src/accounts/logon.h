// Logon ("/logon" without a session): the name test, the ban and kick
// checks, the new session, the password check (the account files, or a
// peer node with the node link on), and the post-logon frameset.
#pragma once

#include <string>

class CAccountWork;
class CChatCore;
class CRequest;
class CRequestForm;
// A name may log on when it is not empty, is whole GBK characters, and
// holds none of these single-byte characters: blank, 0xFF, tab, 0x7F, 0x80,
// ':', '<', '>', '\'', '"', '\\', '&' (a trail byte is no such character).
bool IsAcceptableLogonName(const std::string& name);
// The local password check runs on accountWork (see accounts/account_work.h).
void DoLogon(CRequest& request, const CRequestForm& form, CChatCore& core, CAccountWork& accountWork);
