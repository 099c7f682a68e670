// The pages around an account: the frameset after logging on, the answer to
// a registration, the notice for a request whose session is no longer valid,
// and the blank page of the form's "goto" frame.
#pragma once

#include <string>

#include "html/page.h"

void WritePostLogonFrameset(CPage& page, const std::string& sessionId);

enum class RegistrationOutcome { kCreated, kNameTaken };
// withBanner: the node-link registration's page, with its banner picture.
void WriteRegistrationResultPage(CPage& page, RegistrationOutcome outcome, bool withBanner);

// "/goto" and "/Blank" when the session names nobody.
void WriteInvalidSessionNotice(CPage& page);
// The blank page for the "goto" frame, written only into an empty answer.
void WriteBlankPage(CPage& page);
