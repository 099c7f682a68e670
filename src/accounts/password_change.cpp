#include "accounts/password_change.h"

#include <optional>
#include <string>

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

namespace {

// The answer once a change or a recovery has a result: 1 done (its success
// page), -1 no answer or the new password not stored ("errorc.html": the
// password is as it was), anything else refused.
void FinishWithStatus(int result, CPage& page, void (*writeDone)(CPage&), const char* refusedPage) {
  if (result == kNodeAnswerFailed) {
    page.IncludeFile("errorc.html");
  } else if (result == kNodeAnswerDone) {
    writeDone(page);
  } else {
    page.IncludeFile(refusedPage);
  }
}

void FinishChange(int result, CPage& page) {
  FinishWithStatus(result, page, WritePasswordChangedPage, "passwrong.html");
}

void FinishRecovery(int result, CPage& page) {
  FinishWithStatus(result, page, WritePasswordRecoveredPage, "wronganswer.html");
}

// The answer to a recovery's first step: the form of the second step with
// the hint question; without one, "nouser.html"; without an answer at all
// (no peer answered), "errorc.html".
void FinishQuestion(const std::optional<std::string>& question, const std::string& name, CPage& page) {
  if (!question) {
    page.IncludeFile("errorc.html");
  } else if (question->empty() || *question == kNoSecurityData) {
    page.IncludeFile("nouser.html");
  } else {
    WriteRecoveryForm(page, name, std::string(CutToCharacters(*question, kHintQuestionLimit)));
  }
}

}  // namespace

void DoChangePassword(CRequest& request, const CRequestForm& form, CChatCore& core,
                      CAccountWork& accountWork) {
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
  const std::string& address = request.ClientAddress();
  auto change = [database, address, name, oldPassword, newPassword] {
    return CheckAccount(database, address, name, oldPassword, newPassword);
  };
  accountWork.Park(request, AnswerWhen::kOnDisk, change, FinishChange);
}

void DoChangePassword1(CRequest& request, const CRequestForm& form, CChatCore& core,
                       CAccountWork& accountWork) {
  const std::string& name = form.FindField("username");
  if (name.empty()) {
    request.Page().IncludeFile("motify_First.html");
    return;
  }
  if (IsSuperManagerAccount(name)) {  // recovered by the operator alone
    request.Page().IncludeFile("nouser.html");
    return;
  }
  if (core.NodeLink().On()) {
    AskNodeAndWait(core, request, RecordLayout::kPasswordStep1, {{"UN", name}}, kPasswordResends,
                   AwaitedAnswer::kReply,
                   [name](const NodeAnswer& answer, CPage& page) { FinishQuestion(answer.reply, name, page); });
    return;
  }
  const std::string directory = ConfiguredUserDatabase().directory;
  accountWork.Park(request, AnswerWhen::kDone, [directory, name]() -> PageFill {
    std::optional<std::string> question = HintQuestion(directory, name);
    return [question = std::move(question), name](CPage& page) { FinishQuestion(question, name, page); };
  });
}

void DoChangePassword2(CRequest& request, const CRequestForm& form, CChatCore& core,
                       CAccountWork& accountWork) {
  const std::string& name = form.FindField("username");
  if (name.empty()) {
    request.Page().IncludeFile("motify_First.html");
    return;
  }
  if (IsSuperManagerAccount(name)) {
    request.Page().IncludeFile("wronganswer.html");
    return;
  }
  const SecurityData given{form.FindField("email"), form.FindField("birthday"), "", form.FindField("answer")};
  const std::string& newPassword = form.FindField("password");
  if (core.NodeLink().On()) {
    const RecordValues values = {{"UN", name},
                                 {"EM", given.email},
                                 {"BD", given.birthday},
                                 {"AN", given.answer},
                                 {"PW", newPassword}};
    AskNodeAndWait(core, request, RecordLayout::kPasswordStep2, values, kPasswordResends, AwaitedAnswer::kStatus,
                   [](const NodeAnswer& answer, CPage& page) { FinishRecovery(answer.status, page); });
    return;
  }
  const UserDatabase database = ConfiguredUserDatabase();
  const std::string& address = request.ClientAddress();
  auto recover = [database, address, name, given, newPassword] {
    return RecoverAccount(database, address, name, given, newPassword);
  };
  accountWork.Park(request, AnswerWhen::kOnDisk, recover, FinishRecovery);
}
