#include "chat/session_end.h"

#include <new>

#include "chat/chat_core.h"
#include "chat/delivery.h"
#include "chat/room_events.h"
#include "platform/console.h"

namespace {

void AnnounceLeave(CChatCore& core, const SessionView& session) {
  if (!session.InNoRoom()) LeaveRoomMessage(core, session);
  // Only the node that owns a session speaks for it: the end of another
  // node's user here (his room removed, his node gone) is not reported.
  if (session.nodeId != core.NodeId()) return;
  core.NodeLink().Emit(RecordLayout::kLeave, {{"ND", session.nodeId},
                                              {"UN", session.name},
                                              {"RM", session.roomName},
                                              {"SS", session.id},
                                              {"MN", std::to_string(session.level)}});
}

}  // namespace

void EndSession(CChatCore& core, const EndedSession& ended, const std::string& lastLine) {
  // The session is out of the core already: its stream ends even when its
  // leave cannot be told, or the frame would stay open with no session.
  try {
    if (ended.announce) AnnounceLeave(core, ended.session);
  } catch (const std::bad_alloc&) {
    const SessionView& session = ended.session;
    platform::LogException("announcing a leave",
                           "session " + session.id + ", user " + session.name + ", room " + session.roomName);
  }
  // After the leave: whatever was said to the user before goes out first.
  CDelivery* delivery = core.Delivery();
  if (delivery == nullptr) return;
  for (const std::uint64_t stream : ended.streams) {
    if (stream != 0) delivery->EndStream(stream, lastLine);
  }
}

bool RemoveAndEndSession(CChatCore& core, const std::string& id, const std::string& node, bool announce,
                         const std::string& lastLine) {
  const std::optional<EndedSession> ended = core.RemoveSession(id, node, announce);
  if (ended) EndSession(core, *ended, lastLine);
  return ended.has_value();
}

void EndSessions(CChatCore& core, const std::vector<EndedSession>& ended, const std::string& lastLine) {
  for (const EndedSession& one : ended) EndSession(core, one, lastLine);
}
