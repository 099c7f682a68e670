// The API's logon and registration: the logon and registration of the
// pages (accounts/logon.h, accounts/registration.h), through the same
// account work or peer node, answered as JSON.
//   POST /api/logon     {"name", "password"}            -> 200 {"session", "name"}
//   POST /api/register  {"name", "password", "email"?, "birthday"?, "question"?, "answer"?}
//                                                       -> 201 {"name"}
// A name must be characters GBK holds: the classic pages could not show
// another.
#pragma once

#include "api/api_input.h"

class CChatCore;
class CRequest;
struct RequestServices;

void ApiLogon(CRequest& request, CApiInput& input, CChatCore& core, const RequestServices& services);
void ApiRegister(CRequest& request, CApiInput& input, CChatCore& core, const RequestServices& services);
