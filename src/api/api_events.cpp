#include "api/api_events.h"

#include "api/api_answer.h"
#include "api/api_input.h"
#include "chat/chat_core.h"
#include "http/request.h"

namespace {

// Never ends (the connection's close ends it); nothing on the way keeps
// or buffers it.
constexpr const char* kEventStreamHead =
    "HTTP/1.1 200 OK\r\n"
    "Content-Type: text/event-stream; charset=utf-8\r\n"
    "Cache-Control: no-cache\r\n"
    "X-Accel-Buffering: no\r\n"
    "Connection: close\r\n"
    "\r\n"
    "retry: 2000\n\n";

// A client that cannot send the header (a new EventSource is made by hand)
// may name its position in the query instead.
constexpr const char* kLastEventIdField = "lastEventId";

}  // namespace

void ApiEvents(CRequest& request, CApiInput& input, CChatCore& core, const RequestServices&) {
  CPage& page = request.Page();
  const std::string session = input.Text("session", CApiInput::Presence::kRequired);
  const std::string given = input.Text(kLastEventIdField, CApiInput::Presence::kOptional);
  if (input.Fault()) return AnswerError(page, *input.Fault());
  if (!core.FindSession(session, core.NodeId(), true)) return AnswerError(page, ApiError::kUnknownSession);
  page.Append(kEventStreamHead);
  request.BecomeStream(session, StreamFormat::kEvents, request.LastEventId().value_or(given));
}
