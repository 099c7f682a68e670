// ProcessApiRequest: every request below "/api/" passes through here once
// (the server routes them here instead of to ProcessRequest). It finds the
// call by path and method, reads the JSON body of a POST or the query of a
// GET, and has the call answer; every answer is JSON or 204 (api_answer.h),
// and the connection may be kept for the next request.
#pragma once

class CChatCore;
class CRequest;
struct RequestServices;

void ProcessApiRequest(CRequest& request, CChatCore& core, const RequestServices& services);
