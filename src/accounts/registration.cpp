#include "accounts/registration.h"

#include "accounts/account_work.h"
#include "accounts/node_answer.h"
#include "accounts/registration_rate.h"
#include "accounts/super_manager.h"
#include "accounts/user_database.h"
#include "foundation/settings.h"
#include "foundation/text.h"
#include "html/account_pages.h"
#include "http/request.h"
#include "http/request_form.h"

namespace {

constexpr const char* kEverybody = "大家";

bool HasBoth(const std::string& name, char first, char second) {
  return name.find(first) != std::string::npos && name.find(second) != std::string::npos;
}

SecurityData SecurityDataOf(const CRequestForm& form) {
  return SecurityData{form.FindField("email"), form.FindField("birthday"), form.FindField("question"),
                      form.FindField("answer")};
}

// Counts a registration the form allows; false (its page written) when the
// client's address has registered too often in the last minute.
bool TakeRegistration(CRequest& request, CRegistrationRate& rate) {
  if (rate.Take(request.ClientAddress())) return true;
  request.Page().IncludeFile("toomanyreg.html");
  return false;
}

void WriteLocalRegistrationResult(int created, CPage& page) {
  if (created == kAccountWriteFailed) {
    page.IncludeFile("errorr.html");
    return;
  }
  WriteRegistrationResultPage(
      page, created == kAccountCreated ? RegistrationOutcome::kCreated : RegistrationOutcome::kNameTaken, false);
}

}  // namespace

bool BreaksNameRules(const std::string& name, NameRules rules) {
  // Single-byte characters only: a trail byte of the same value is part of
  // a Chinese character (U+8AA0 is D5 5C).
  if (!HasOnlyWholeCharacters(name) || HasSingleByteOf(name, " \xFF\t\x7F\x80:<>&%'\"\\")) return true;
  for (char c : name) {
    if (static_cast<unsigned char>(c) < 0x20) return true;  // no control bytes in a name
  }
  if (HasSingleByteOf(name, rules == NameRules::kLocal ? "#" : "+")) return true;
  if (HasBoth(name, '\xA1', '\xEF') || HasBoth(name, '\xA1', '\xEE')) return true;
  if (name == kEverybody || IsSuperManagerAccount(name)) return true;
  return rules == NameRules::kLocal && !IsSafeAccountName(name);
}

void DoNewAccount(CRequest& request, const CRequestForm& form, CAccountWork& accountWork, CRegistrationRate& rate) {
  CPage& page = request.Page();
  const std::string& name = form.FindField("username");
  const std::string& password = form.FindField("password");
  const SecurityData security = SecurityDataOf(form);
  if (name.empty() || password.empty() || !IsStorablePassword(password) || !IsStorableSecurityData(security)) {
    page.IncludeFile("register.html");
    return;
  }
  if (BreaksNameRules(name, NameRules::kLocal)) {
    page.IncludeFile("include.html");
    return;
  }
  if (name.size() > kMaxUserNameLength) {
    page.IncludeFile("nametoolong.html");
    return;
  }
  if (!TakeRegistration(request, rate)) return;
  const UserDatabase database = ConfiguredUserDatabase();
  const std::string& address = request.ClientAddress();
  auto create = [database, name, password, address, security] {
    return CreateAccount(database, name, password, address, security);
  };
  accountWork.Park(request, AnswerWhen::kOnDisk, create, WriteLocalRegistrationResult);
}

void DoRegister(CRequest& request, const CRequestForm& form, CChatCore& core, CRegistrationRate& rate) {
  CPage& page = request.Page();
  const std::string& name = form.FindField("username");
  const std::string& password = form.FindField("password");
  if (name.empty() || BreaksNameRules(name, NameRules::kNodeLink)) {
    page.IncludeFile("include.html");
    return;
  }
  if (name.size() > kMaxUserNameLength) {
    page.IncludeFile("nametoolong.html");
    return;
  }
  const SecurityData security = SecurityDataOf(form);
  if (password.empty() || !IsStorableSecurityData(security)) {
    page.IncludeFile("register.html");
    return;
  }
  if (!TakeRegistration(request, rate)) return;
  const RecordValues values = {{"UN", name},
                               {"PW", password},
                               {"EM", security.email},
                               {"BD", security.birthday},
                               {"HQ", security.question},
                               {"AN", security.answer}};
  AskNodeAndWait(core, request, RecordLayout::kRegister, values, kRegistrationResends,
                 AwaitedAnswer::kStatus, [](const NodeAnswer& answer, CPage& answerPage) {
                   if (answer.status == kNodeAnswerFailed) {
                     answerPage.IncludeFile("errorr.html");
                     return;
                   }
                   WriteRegistrationResultPage(answerPage,
                                               answer.status == 1 ? RegistrationOutcome::kCreated
                                                                  : RegistrationOutcome::kNameTaken,
                                               true);
                 });
}
