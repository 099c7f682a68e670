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

RegistrationRequest RegistrationOf(const CRequestForm& form) {
  return RegistrationRequest{
      form.FindField("username"), form.FindField("password"),
      SecurityData{form.FindField("email"), form.FindField("birthday"), form.FindField("question"),
                   form.FindField("answer")}};
}

// The registration pages' answers; withBanner: the node-link registration's.
void WriteRegistrationPage(RegistrationResult result, CPage& page, bool withBanner) {
  switch (result) {
    case RegistrationResult::kCreated:
      WriteRegistrationResultPage(page, RegistrationOutcome::kCreated, withBanner);
      break;
    case RegistrationResult::kNameTaken:
      WriteRegistrationResultPage(page, RegistrationOutcome::kNameTaken, withBanner);
      break;
    case RegistrationResult::kIncomplete: page.IncludeFile("register.html"); break;
    case RegistrationResult::kBadName: page.IncludeFile("include.html"); break;
    case RegistrationResult::kNameTooLong: page.IncludeFile("nametoolong.html"); break;
    case RegistrationResult::kTooOften: page.IncludeFile("toomanyreg.html"); break;
    case RegistrationResult::kFailed: page.IncludeFile("errorr.html"); break;
    case RegistrationResult::kBusy: page.IncludeFile("busy.html"); break;
  }
}

RegistrationResult ResultOfCreation(int created) {
  if (created == kAccountWriteFailed) return RegistrationResult::kFailed;
  return created == kAccountCreated ? RegistrationResult::kCreated : RegistrationResult::kNameTaken;
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

void RegisterLocally(CRequest& request, const RegistrationRequest& registration, CAccountWork& accountWork,
                     CRegistrationRate& rate, const RegistrationAnswer& answer) {
  CPage& page = request.Page();
  const std::string& name = registration.name;
  const std::string& password = registration.password;
  const SecurityData& security = registration.security;
  if (name.empty() || password.empty() || !IsStorablePassword(password) || !IsStorableSecurityData(security)) {
    return answer(RegistrationResult::kIncomplete, page);
  }
  if (BreaksNameRules(name, NameRules::kLocal)) return answer(RegistrationResult::kBadName, page);
  if (name.size() > kMaxUserNameLength) return answer(RegistrationResult::kNameTooLong, page);
  if (!rate.Take(request.ClientAddress())) return answer(RegistrationResult::kTooOften, page);
  const UserDatabase database = ConfiguredUserDatabase();
  const std::string& address = request.ClientAddress();
  auto create = [database, name, password, address, security] {
    return CreateAccount(database, name, password, address, security);
  };
  accountWork.Park(
      request, AnswerWhen::kOnDisk, create,
      [answer](int created, CPage& answerPage) { answer(ResultOfCreation(created), answerPage); },
      [answer](CPage& busyPage) { answer(RegistrationResult::kBusy, busyPage); });
}

void RegisterThroughNodes(CRequest& request, const RegistrationRequest& registration, CChatCore& core,
                          CRegistrationRate& rate, const RegistrationAnswer& answer) {
  CPage& page = request.Page();
  const std::string& name = registration.name;
  const SecurityData& security = registration.security;
  if (name.empty() || BreaksNameRules(name, NameRules::kNodeLink)) return answer(RegistrationResult::kBadName, page);
  if (name.size() > kMaxUserNameLength) return answer(RegistrationResult::kNameTooLong, page);
  if (registration.password.empty() || !IsStorableSecurityData(security)) {
    return answer(RegistrationResult::kIncomplete, page);
  }
  if (!rate.Take(request.ClientAddress())) return answer(RegistrationResult::kTooOften, page);
  const RecordValues values = {{"UN", name},
                               {"PW", registration.password},
                               {"EM", security.email},
                               {"BD", security.birthday},
                               {"HQ", security.question},
                               {"AN", security.answer}};
  AskNodeAndWait(core, request, RecordLayout::kRegister, values, kRegistrationResends, AwaitedAnswer::kStatus,
                 [answer](const NodeAnswer& reply, CPage& answerPage) {
                   if (reply.status == kNodeAnswerFailed) return answer(RegistrationResult::kFailed, answerPage);
                   answer(reply.status == 1 ? RegistrationResult::kCreated : RegistrationResult::kNameTaken,
                          answerPage);
                 });
}

void DoNewAccount(CRequest& request, const CRequestForm& form, CAccountWork& accountWork, CRegistrationRate& rate) {
  RegisterLocally(request, RegistrationOf(form), accountWork, rate,
                  [](RegistrationResult result, CPage& page) { WriteRegistrationPage(result, page, false); });
}

void DoRegister(CRequest& request, const CRequestForm& form, CChatCore& core, CRegistrationRate& rate) {
  RegisterThroughNodes(request, RegistrationOf(form), core, rate,
                       [](RegistrationResult result, CPage& page) { WriteRegistrationPage(result, page, true); });
}
