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

// The outcome once the password check has a result; the session stays
// only when it is logged on.
LogonOutcome FinishLogon(CChatCore& core, const SessionView& session, int result) {
  if (result < 0) {
    DropLogonSession(core, session);
    return result == kNodeAnswerFailed ? LogonOutcome::kNoAnswer : LogonOutcome::kRefused;
  }
  if (!core.FindSession(session.id, session.nodeId, true) || !core.SetLevel(session.id, session.nodeId, result)) {
    DropLogonSession(core, session);
    return LogonOutcome::kSessionLost;
  }
  EndSurplusSessions(core, session);
  return LogonOutcome::kLoggedOn;
}

void WriteLogonPage(LogonOutcome outcome, const SessionView& session, CPage& page, CChatCore& core,
                    const std::string& category) {
  switch (outcome) {
    case LogonOutcome::kLoggedOn: WritePostLogonFrameset(page, session.id); break;
    case LogonOutcome::kBadName: DoRoomList(page, core, nullptr, category, kLogonPageMode); break;
    case LogonOutcome::kBanned: page.IncludeFile("banned.html"); break;
    case LogonOutcome::kKicked: page.IncludeFile("kicked.html"); break;
    case LogonOutcome::kRefused: page.IncludeFile("nameerror.html"); break;
    case LogonOutcome::kNoAnswer: page.IncludeFile("error.html"); break;
    case LogonOutcome::kSessionLost: page.IncludeFile("wrongpass.html"); break;
    case LogonOutcome::kBusy: page.IncludeFile("busy.html"); break;
  }
}

}  // namespace

bool IsAcceptableLogonName(const std::string& name) {
  // Quotes, backslash and ampersand could leave the quoted strings and
  // attributes a name is written into.
  return !name.empty() && HasOnlyWholeCharacters(name) && !HasSingleByteOf(name, " \xFF\t\x7F\x80:<>'\"\\&");
}

void LogOn(CRequest& request, const std::string& name, const std::string& password, CChatCore& core,
           CAccountWork& accountWork, const LogonAnswer& answer) {
  core.PurgeSanctions();
  const std::string& address = request.ClientAddress();
  const bool acceptable = IsAcceptableLogonName(name);
  const bool banned = core.IsBanned(address);
  const bool kicked = acceptable && core.IsKicked(name);
  CPage& page = request.Page();
  const SessionView none;
  if (!acceptable) return answer(LogonOutcome::kBadName, none, page);
  if (banned) return answer(LogonOutcome::kBanned, none, page);
  if (kicked) return answer(LogonOutcome::kKicked, none, page);
  if (core.NodeLink().On()) {
    const SessionView session = CreateLogonSession(core, name, password, address);
    AskNodeAndWait(core, request, RecordLayout::kLogon,
                   {{"UN", name}, {"PW", password}, {"SS", session.id}, {"ND", session.nodeId}, {"IP", address}},
                   kLogonResends, AwaitedAnswer::kStatus,
                   [&core, session, answer](const NodeAnswer& reply, CPage& answerPage) {
                     const LogonOutcome outcome = FinishLogon(core, session, reply.status);
                     answer(outcome, outcome == LogonOutcome::kLoggedOn ? session : SessionView(), answerPage);
                   });
    return;
  }
  // Here the session is made once the password is right: a logon refused,
  // or whose client left meanwhile, leaves none behind.
  const UserDatabase database = ConfiguredUserDatabase();
  auto check = [database, address, name, password] { return CheckAccount(database, address, name, password, ""); };
  accountWork.Park(
      request, AnswerWhen::kDone, check,
      [&core, name, password, address, answer](int result, CPage& answerPage) {
        if (result < 0) return answer(LogonOutcome::kRefused, SessionView(), answerPage);
        const SessionView session = CreateLogonSession(core, name, password, address);
        const LogonOutcome outcome = FinishLogon(core, session, result);
        answer(outcome, outcome == LogonOutcome::kLoggedOn ? session : SessionView(), answerPage);
      },
      [answer](CPage& busyPage) { answer(LogonOutcome::kBusy, SessionView(), busyPage); });
}

void DoLogon(CRequest& request, const CRequestForm& form, CChatCore& core, CAccountWork& accountWork) {
  const std::string category = form.FindField("rn");
  LogOn(request, form.FindField("username"), form.FindField("password"), core, accountWork,
        [&core, category](LogonOutcome outcome, const SessionView& session, CPage& page) {
          WriteLogonPage(outcome, session, page, core, category);
        });
}
