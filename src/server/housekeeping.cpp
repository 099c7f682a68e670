#include "server/housekeeping.h"

#include "chat/chat_core.h"
#include "chat/room_events.h"
#include "chat/session_end.h"

void SweepIdleSessions(CChatCore& core) { EndSessions(core, core.SweepIdleSessions(), kIdleEndedText); }

void RunHousekeeping(CChatCore& core) {
  for (const std::string& room : core.RemoveOldRooms()) REmoveRoom(core, room, core.NodeId(), false);
  // A transport drains the buffer itself; without one nothing reads it.
  if (!core.NodeLink().Carried()) core.NodeLink().Empty();
}
