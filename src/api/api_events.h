// GET /events?session=S: the session's event stream (docs/api.md). The
// answer's head goes out, then the connection stays open as the stream.
#pragma once

class CApiInput;
class CChatCore;
class CRequest;
struct RequestServices;

void ApiEvents(CRequest& request, CApiInput& input, CChatCore& core, const RequestServices& services);
