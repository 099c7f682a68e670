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
#include "platform/console.h"

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
  WritePostLogonFrameset(page, session.id);
}

}  // namespace

bool IsAcceptableLogonName(const std::string& name) {
  // Quotes, backslash and ampersand could leave the quoted strings and
  // attributes a name is written into.
  return !name.empty() && HasOnlyWholeCharacters(name) && !HasSingleByteOf(name, " \xFF\t\x7F\x80:<>'\"\\&");
}

void DoLogon(CRequest& request, const CRequestForm& form, CChatCore& core, const CAccountWork& accountWork) {
  try {
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
    const SessionView session = CreateLogonSession(core, name, password, address);
    if (core.NodeLink().On()) {
      AskNodeAndWait(core, request, RecordLayout::kLogon,
                     {{"UN", name}, {"PW", password}, {"SS", session.id}, {"ND", session.nodeId}, {"IP", address}},
                     kLogonResends, AwaitedAnswer::kStatus, [&core, session](const NodeAnswer& answer, CPage& answerPage) {
                       FinishLogon(core, session, answer.status, answerPage);
                     });
      return;
    }
    const UserDatabase database = ConfiguredUserDatabase();
    auto check = [database, address, name, password] { return CheckAccount(database, address, name, password, ""); };
    ParkForAccountWork(request, accountWork, AnswerWhen::kDone, check, [&core, session](int result, CPage& answerPage) {
      FinishLogon(core, session, result, answerPage);
    });
  } catch (...) {
    platform::ConsoleWrite("catch in DoLogon\n");
  }
}
