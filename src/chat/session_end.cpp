#include "chat/session_end.h"

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
  try {
    if (ended.announce) AnnounceLeave(core, ended.session);
    // After the leave: whatever was said to the user before goes out first.
    CDelivery* delivery = core.Delivery();
    if (ended.stream != 0 && delivery != nullptr) delivery->EndStream(ended.stream, lastLine);
  } catch (...) {
    platform::ConsoleWrite("catch in ~CUserSession\n");
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
