#include "server/housekeeping.h"

#include "chat/room_list.h"
#include "nodelink/message_list.h"
#include "platform/process_mutexes.h"
#include "streams/stream_delivery.h"

void PrepareHousekeeping() {
  platform::CMutexGuard guard(platform::GetProcessMutex(platform::ProcessMutex::kExtOut));
  if (guard) g_extOutBuffer.SetGrowthStep(4096);
}

void RunHousekeeping() {
  if (g_roomList) g_roomList->CRoomSessionRemoveOldRooms();
  SendKeepAliveToAllStreams();
  EmptyNodeLinkBuffers();
}
