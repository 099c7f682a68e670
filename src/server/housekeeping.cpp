#include "server/housekeeping.h"

#include "chat/chat_core.h"
#include "chat/delivery.h"
#include "chat/room_events.h"
#include "chat/session_end.h"

namespace {
// How long a line of this node may wait for its place in the rooms' order.
constexpr int kLongestWaitForPlaceMs = 2000;
}  // namespace

void SweepIdleSessions(CChatCore& core) {
  EndSessions(core, core.SweepIdleSessions(), kIdleEndedText);
  // A line that never came back from the node link (read past while the
  // link started over) is not held back for ever.
  if (CDelivery* delivery = core.Delivery()) delivery->ReleaseWaitingLines(kLongestWaitForPlaceMs);
}

void RunHousekeeping(CChatCore& core) {
  for (const std::string& room : core.RemoveOldRooms()) REmoveRoom(core, room, core.NodeId(), false);
  // A transport drains the buffer itself; without one nothing reads it.
  if (!core.NodeLink().Carried()) core.NodeLink().Empty();
}
