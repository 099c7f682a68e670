#include "chat/session_end.h"

#include "chat/chat_core.h"
#include "chat/room_events.h"
#include "platform/console.h"

void EndSession(CChatCore& core, const EndedSession& ended) {
  if (!ended.announce) return;
  try {
    const SessionView& session = ended.session;
    if (!session.InNoRoom()) LeaveRoomMessage(core, session);
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
