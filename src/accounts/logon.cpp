#include "accounts/logon.h"

#include <memory>

#include "accounts/account_work.h"
#include "accounts/node_answer.h"
#include "accounts/session_id.h"
#include "accounts/user_database.h"
#include "chat/chat_core.h"
#include "chat/session_end.h"
#include "foundation/settings.h"
#include "foundation/text.h"
#include "html/account_pages.h"
#include "html/room_list_page.h"
#include "http/request.h"
#include "http/request_form.h"

namespace {


// A fresh session in no room, under an id nobody holds.
SessionView CreateLogonSession(CChatCore& core, const std::string& name, const std::string& password,
                               const std::string& address) {
  SessionView session;
  session.name = name;
  session.password = password;
  session.nodeId = core.NodeId();
  session.colour = kLogonColour;
  session.ipAddress = address;
  do {
    session.id = MakeSessionId();
  } while (!core.AddLogonSession(session));
  return session;
}

void DropLogonSession(CChatCore& core, const SessionView& session) {
  RemoveAndEndSession(core, session.id, session.nodeId, false);
}

// With [general] max_sessions_per_account, an account logged on here that
// many times ends its oldest sessions for the new one: a user who opened
// the chat again in a new browser is not locked out by the sessions he left
// behind, and nobody makes thousands of sessions of one account.
void EndSurplusSessions(CChatCore& core, const SessionView& kept) {
  const int cap = GetSettingInt("general", "max_sessions_per_account");
  if (cap <= 0) return;
  EndSessions(core, core.RemoveOldestSessionsOfName(kept.name, kept.nodeId, kept.id, static_cast<size_t>(cap)),
              kSessionReplacedText);
}

// The answer once the password check has a result.
void FinishLogon(CChatCore& core, const SessionView& session, int result, CPage& page) {
  if (result < 0) {
    DropLogonSession(core, session);
    page.IncludeFile(result == kNodeAnswerFailed ? "error.html" : "nameerror.html");
    return;
  }
  if (!core.FindSession(session.id, session.nodeId, true) || !core.SetLevel(session.id, session.nodeId, result)) {
    DropLogonSession(core, session);
    page.IncludeFile("wrongpass.html");
    return;
  }
  EndSurplusSessions(core, session);
  WritePostLogonFrameset(page, session.id);
}

}  // namespace

bool IsAcceptableLogonName(const std::string& name) {
  // Quotes, backslash and ampersand could leave the quoted strings and
  // attributes a name is written into.
  return !name.empty() && HasOnlyWholeCharacters(name) && !HasSingleByteOf(name, " \xFF\t\x7F\x80:<>'\"\\&");
}

void DoLogon(CRequest& request, const CRequestForm& form, CChatCore& core, CAccountWork& accountWork) {
  core.PurgeSanctions();
  const std::string& name = form.FindField("username");
  const std::string& password = form.FindField("password");
  const std::string& address = request.ClientAddress();
  const bool acceptable = IsAcceptableLogonName(name);
  const bool banned = core.IsBanned(address);
  const bool kicked = acceptable && core.IsKicked(name);
  CPage& page = request.Page();
  if (!acceptable) {
    DoRoomList(page, core, nullptr, form.FindField("rn"), kLogonPageMode);
    return;
  }
  if (banned) {
    page.IncludeFile("banned.html");
    return;
  }
  if (kicked) {
    page.IncludeFile("kicked.html");
    return;
  }
  if (core.NodeLink().On()) {
    const SessionView session = CreateLogonSession(core, name, password, address);
    AskNodeAndWait(core, request, RecordLayout::kLogon,
                   {{"UN", name}, {"PW", password}, {"SS", session.id}, {"ND", session.nodeId}, {"IP", address}},
                   kLogonResends, AwaitedAnswer::kStatus, [&core, session](const NodeAnswer& answer, CPage& answerPage) {
                     FinishLogon(core, session, answer.status, answerPage);
                   });
    return;
  }
  // Here the session is made once the password is right: a logon refused,
  // or whose client left meanwhile, leaves none behind.
  const UserDatabase database = ConfiguredUserDatabase();
  auto check = [database, address, name, password] { return CheckAccount(database, address, name, password, ""); };
  accountWork.Park(request, AnswerWhen::kDone, check,
                   [&core, name, password, address](int result, CPage& answerPage) {
                     if (result < 0) {
                       answerPage.IncludeFile("nameerror.html");
                       return;
                     }
                     FinishLogon(core, CreateLogonSession(core, name, password, address), result, answerPage);
                   });
}
