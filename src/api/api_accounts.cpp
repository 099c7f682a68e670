#include "api/api_accounts.h"

#include "accounts/logon.h"
#include "accounts/registration.h"
#include "api/api_answer.h"
#include "chat/chat_core.h"
#include "commands/process_request.h"
#include "http/request.h"

namespace {

using Presence = CApiInput::Presence;

ApiError ErrorOf(LogonOutcome outcome) {
  switch (outcome) {
    case LogonOutcome::kBadName: return ApiError::kBadName;
    case LogonOutcome::kBanned: return ApiError::kBanned;
    case LogonOutcome::kKicked: return ApiError::kKicked;
    case LogonOutcome::kRefused: return ApiError::kWrongPassword;
    case LogonOutcome::kNoAnswer: return ApiError::kLogonUnavailable;
    case LogonOutcome::kSessionLost: return ApiError::kLogonFailed;
    case LogonOutcome::kBusy: return ApiError::kBusy;
    case LogonOutcome::kLoggedOn: break;
  }
  return ApiError::kInternal;
}

ApiError ErrorOf(RegistrationResult result) {
  switch (result) {
    case RegistrationResult::kNameTaken: return ApiError::kNameTaken;
    case RegistrationResult::kIncomplete: return ApiError::kIncompleteRegistration;
    case RegistrationResult::kBadName: return ApiError::kBadName;
    case RegistrationResult::kNameTooLong: return ApiError::kNameTooLong;
    case RegistrationResult::kTooOften: return ApiError::kTooManyRegistrations;
    case RegistrationResult::kFailed: return ApiError::kRegistrationUnavailable;
    case RegistrationResult::kBusy: return ApiError::kBusy;
    case RegistrationResult::kCreated: break;
  }
  return ApiError::kInternal;
}

void AnswerLogon(LogonOutcome outcome, const SessionView& session, CPage& page) {
  if (outcome != LogonOutcome::kLoggedOn) return AnswerError(page, ErrorOf(outcome));
  CJsonWriter json;
  json.BeginObject().Key("session").String(session.id).Key("name").String(Utf8(session.name)).EndObject();
  AnswerJson(page, 200, json);
}

}  // namespace

void ApiLogon(CRequest& request, CApiInput& input, CChatCore& core, const RequestServices& services) {
  const std::string name = input.Name("name", Presence::kRequired, ApiError::kNameOutsideGbk);
  const std::string password = input.Text("password", Presence::kRequired);
  if (input.Fault()) return AnswerError(request.Page(), *input.Fault());
  LogOn(request, name, password, core, *services.accountWork, AnswerLogon);
}

void ApiRegister(CRequest& request, CApiInput& input, CChatCore& core, const RequestServices& services) {
  RegistrationRequest registration;
  registration.name = input.Name("name", Presence::kRequired, ApiError::kNameOutsideGbk);
  registration.password = input.Text("password", Presence::kRequired);
  registration.security.email = input.Text("email", Presence::kOptional);
  registration.security.birthday = input.Text("birthday", Presence::kOptional);
  registration.security.question = input.Text("question", Presence::kOptional);
  registration.security.answer = input.Text("answer", Presence::kOptional);
  if (input.Fault()) return AnswerError(request.Page(), *input.Fault());
  auto answer = [name = registration.name](RegistrationResult result, CPage& page) {
    if (result != RegistrationResult::kCreated) return AnswerError(page, ErrorOf(result));
    CJsonWriter json;
    json.BeginObject().Key("name").String(Utf8(name)).EndObject();
    AnswerJson(page, 201, json);
  };
  if (core.NodeLink().On()) {
    RegisterThroughNodes(request, registration, core, *services.registrations, answer);
  } else {
    RegisterLocally(request, registration, *services.accountWork, *services.registrations, answer);
  }
}
