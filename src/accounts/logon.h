// Logon: the name test, the ban and kick checks, the new session, the
// password check (the account files, or a peer node with the node link on).
// The logon page ("/logon" without a session) answers with the post-logon
// frameset; the JSON API answers the same logon its own way.
#pragma once

#include <functional>
#include <string>

#include "chat/chat_views.h"

class CAccountWork;
class CChatCore;
class CPage;
class CRequest;
class CRequestForm;

// How a logon ended.
enum class LogonOutcome {
  kLoggedOn,     // the session is made
  kBadName,      // the name may not log on
  kBanned,       // the client's address is banned
  kKicked,       // the name was kicked out a short while ago
  kRefused,      // no such account, or the wrong password
  kNoAnswer,     // the node that keeps the accounts did not answer
  kSessionLost,  // the new session ended before the password was checked
  kBusy,         // too much account work waits
};

// Writes the answer; session is the new one for kLoggedOn, empty otherwise.
using LogonAnswer = std::function<void(LogonOutcome outcome, const SessionView& session, CPage& page)>;

// A name may log on when it is not empty, is whole GBK characters, and
// holds none of these single-byte characters: blank, 0xFF, tab, 0x7F, 0x80,
// ':', '<', '>', '\'', '"', '\\', '&' (a trail byte is no such character).
bool IsAcceptableLogonName(const std::string& name);
// The local password check runs on accountWork (see accounts/account_work.h);
// answer may run then, on the connection's loop, after the request is parked.
void LogOn(CRequest& request, const std::string& name, const std::string& password, CChatCore& core,
           CAccountWork& accountWork, const LogonAnswer& answer);
// The logon page's form ("username", "password").
void DoLogon(CRequest& request, const CRequestForm& form, CChatCore& core, CAccountWork& accountWork);
