#include "server/housekeeping.h"

#include "chat/chat_core.h"
#include "chat/room_events.h"
#include "streams/stream_delivery.h"

void RunHousekeeping(CChatCore& core, CStreamDelivery& delivery) {
  for (const std::string& room : core.RemoveOldRooms()) REmoveRoom(core, room, core.NodeId(), false);
  delivery.SendKeepAliveToAllStreams();
  core.NodeLink().Empty();
}
