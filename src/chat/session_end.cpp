#include "chat/session_end.h"

#include "chat/chat_core.h"
#include "chat/room_events.h"
#include "platform/console.h"

void EndSession(CChatCore& core, const EndedSession& ended) {
  if (!ended.announce) return;
  try {
    const SessionView& session = ended.session;
    if (!session.InNoRoom()) LeaveRoomMessage(core, session);
    // Only the node that owns a session speaks for it: the end of another
    // node's user here (his room removed, his node gone) is not reported.
    if (session.nodeId != core.NodeId()) return;
    core.NodeLink().Emit(RecordLayout::kLeave, {{"ND", session.nodeId},
                                                {"UN", session.name},
                                                {"RM", session.roomName},
                                                {"SS", session.id},
                                                {"MN", std::to_string(session.level)}});
  } catch (...) {
    platform::ConsoleWrite("catch in ~CUserSession\n");
  }
}

void EndSessions(CChatCore& core, const std::vector<EndedSession>& ended) {
  for (const EndedSession& one : ended) EndSession(core, one);
}
