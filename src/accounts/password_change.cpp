#include "accounts/password_change.h"

#include "accounts/account_work.h"
#include "accounts/node_answer.h"
#include "accounts/super_manager.h"
#include "accounts/user_database.h"
#include "chat/chat_core.h"
#include "foundation/settings.h"
#include "foundation/text.h"
#include "html/account_pages.h"
#include "http/request.h"
#include "http/request_form.h"
#include "platform/console.h"

namespace {

// The answer once the change has a result: 1 done, -1 no answer, else refused.
void FinishChange(int result, CPage& page) {
  if (result == kNodeAnswerFailed) {
    page.IncludeFile("errorc.html");
  } else if (result == kNodeAnswerDone) {
    WritePasswordChangedPage(page);
  } else {
    page.IncludeFile("passwrong.html");
  }
}

}  // namespace

void DoChangePassword(CRequest& request, const CRequestForm& form, CChatCore& core,
                      const CAccountWork& accountWork) {
  try {
    CPage& page = request.Page();
    const std::string& name = form.FindField("username");
    const std::string& oldPassword = form.FindField("password");
    const std::string& newPassword = form.FindField("password2");
    const std::string& repeated = form.FindField("password3");
    if (name.empty() || oldPassword.empty() || newPassword.empty() || repeated.empty()) {
      page.IncludeFile("changepassword.html");
      return;
    }
    if (newPassword != repeated) {
      page.IncludeFile("passwdx2.html");
      return;
    }
    if (core.NodeLink().On()) {
      AskNodeAndWait(core, request, RecordLayout::kPasswordChange,
                     {{"UN", name}, {"PWO", oldPassword}, {"PWN", newPassword}}, kPasswordResends,
                     AwaitedAnswer::kStatus,
                     [](const NodeAnswer& answer, CPage& answerPage) { FinishChange(answer.status, answerPage); });
      return;
    }
    // A password registration would refuse is not taken here either.
    if (!IsStorablePassword(newPassword)) {
      page.IncludeFile("changepassword.html");
      return;
    }
    const UserDatabase database = ConfiguredUserDatabase();
    const std::string& address = request.PeerAddress();
    auto change = [database, address, name, oldPassword, newPassword] {
      return CheckAccount(database, address, name, oldPassword, newPassword);
    };
    ParkForAccountWork(request, accountWork, AnswerWhen::kOnDisk, change, FinishChange);
  } catch (...) {
    platform::ConsoleWrite("catch in DoChangePassword\n");
  }
}

void DoChangePassword1(CRequest& request, const CRequestForm& form, CChatCore& core) {
  try {
    const std::string& name = form.FindField("username");
    if (name.empty()) {
      request.Page().IncludeFile("motify_First.html");
      return;
    }
    if (IsSuperManagerAccount(name)) {  // recovered by the operator alone
      request.Page().IncludeFile("nouser.html");
      return;
    }
    AskNodeAndWait(core, request, RecordLayout::kPasswordStep1, {{"UN", name}}, kPasswordResends,
                   AwaitedAnswer::kReply, [name](const NodeAnswer& answer, CPage& page) {
                     if (!answer.reply) {
                       page.IncludeFile("errorc.html");
                     } else if (*answer.reply == kNoSecurityData) {
                       page.IncludeFile("nouser.html");
                     } else {
                       WriteRecoveryForm(page, name, std::string(CutToCharacters(*answer.reply, kHintQuestionLimit)));
                     }
                   });
  } catch (...) {
    platform::ConsoleWrite("catch in DoChangePassword1\n");
  }
}

void DoChangePassword2(CRequest& request, const CRequestForm& form, CChatCore& core) {
  try {
    const std::string& name = form.FindField("username");
    if (name.empty()) {
      request.Page().IncludeFile("motify_First.html");
      return;
    }
    if (IsSuperManagerAccount(name)) {
      request.Page().IncludeFile("wronganswer.html");
      return;
    }
    const RecordValues values = {{"UN", name},
                                 {"EM", form.FindField("email")},
                                 {"BD", form.FindField("birthday")},
                                 {"AN", form.FindField("answer")},
                                 {"PW", form.FindField("password")}};
    AskNodeAndWait(core, request, RecordLayout::kPasswordStep2, values, kPasswordResends, AwaitedAnswer::kStatus,
                   [](const NodeAnswer& answer, CPage& page) {
                     if (answer.status == kNodeAnswerFailed) {
                       page.IncludeFile("errorc.html");
                     } else if (answer.status == kNodeAnswerDone) {
                       WritePasswordRecoveredPage(page);
                     } else {
                       page.IncludeFile("wronganswer.html");
                     }
                   });
  } catch (...) {
    platform::ConsoleWrite("catch in DoChangePassword2\n");
  }
}
