// The pages around an account: the frameset after logging on, the answers to
// a registration and to a password change, the form of a password
// recovery's second step, the notice for a request whose session is no
// longer valid, and the blank page of the form's "goto" frame.
#pragma once

#include <string>

#include "html/page.h"

void WritePostLogonFrameset(CPage& page, const std::string& sessionId);

// What the registration's answer and the notice of an invalid session say
// (the JSON API says the same).
inline constexpr const char* kNameTakenText = "对不起，名字已经被用";
inline constexpr const char* kInvalidSessionText = "对不起，您的登录已经信息无效";

enum class RegistrationOutcome { kCreated, kNameTaken };
// withBanner: the node-link registration's page, with its banner picture.
void WriteRegistrationResultPage(CPage& page, RegistrationOutcome outcome, bool withBanner);

// A password changed with the old password: back to the logon page.
void WritePasswordChangedPage(CPage& page);
// Recovery, second step: the user's hint question (shown as given) and the
// fields for the security data and the new password, sent to "/changepass2".
void WriteRecoveryForm(CPage& page, const std::string& name, const std::string& question);
// A password recovered with the security data: back to the logon page.
void WritePasswordRecoveredPage(CPage& page);

// "/goto" and "/Blank" when the session names nobody.
void WriteInvalidSessionNotice(CPage& page);
// The blank page for the "goto" frame, written only into an empty answer.
void WriteBlankPage(CPage& page);
