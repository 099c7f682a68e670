#include "commands/join_command.h"

#include "chat/manager_list.h"
#include "chat/room_events.h"
#include "chat/room_list.h"
#include "commands/message_step.h"
#include "http/client_connection.h"
#include "http/frame_pages.h"
#include "http/room_list_page.h"

namespace {

void SystemReply(const CommandContext& context, const std::string& text) {
  SystemLineToSpeaker(context, "#ff0000", "系统:", text);
}

// A room by name, else by id.
RoomPtr FindRoom(const std::string& nameOrId) {
  if (!g_roomList) return nullptr;
  RoomPtr room = g_roomList->FindByName(nameOrId);
  return room ? room : g_roomList->FindById(nameOrId);
}

// The user has arrived: his flags in the new room, then his chat window.
void Admit(CommandContext& context, const RoomPtr& room, const std::string& previousRoom, bool sendFrameset) {
  SessionPtr arrived = room->Members().FindBySessionAndNode(context.speaker.session->GetId(), context.ownNode);
  if (!arrived) return;
  const bool manager = g_managerList && g_managerList->FindEntry(arrived->GetName(), room->GetName()).has_value();
  if (room->IsLocked() && !manager && room->GetName() != previousRoom) arrived->SetApproved(false);
  if (manager) arrived->SetManager(true);
  context.speaker.session = arrived;
  context.speaker.room = room;
  context.speaker.inNoRoom = false;
  if (sendFrameset) DoFrameSet(context.connection, *arrived);
}

}  // namespace

void CommandJoin(CommandContext& context, const std::string& roomName, const std::string& rest) {
  const std::string category = rest.empty() || rest == kSystemCategory ? kOtherCategory : rest;
  if (!IsValidRoomName(roomName)) {
    SystemReply(context, "聊天室名字不能包含特殊字符，请换一个名字");
    return;
  }
  if (roomName.size() > kRoomNameLimit) {
    SystemReply(context, "聊天室名字太长(>30)，请换一个名字");
    return;
  }
  const SessionPtr speaker = context.speaker.session;
  if (roomName == speaker->RoomName() || roomName == speaker->RoomId()) {
    DoFrameSet(context.connection, *speaker);
    return;
  }
  const bool isGet = context.connection.Method() == kGet;
  if (context.speaker.inNoRoom) {
    RoomPtr room = FindRoom(roomName);
    if (!room) return;
    JoinRoomFromLogon(speaker, speaker->RoomId(), room->GetName(), context.ownNode, true);
    Admit(context, room, speaker->RoomName(), isGet);
    return;
  }
  if (!isGet) {
    if (CreateRoom(speaker, roomName, category, context.ownNode, true)) {
      ReplyToSpeaker(context, "系统: 创建聊天室成功,请点[<A HREF=\"/Blank?session=" +
                                  speaker->GetId().substr(0, kSessionIdCopyLimit) + "&message=/join%20" + roomName +
                                  "\" TARGET=\"_top\">" + "这里</A>]进入\r\n");
    } else {
      ReplyToSpeaker(context, "系统: 聊天室已经存在。");
    }
    return;
  }
  RoomPtr room = FindRoom(roomName);
  if (!room) return;
  const int created = JoinRoom(speaker, speaker->RoomId(), room->GetName(), "", context.ownNode, true, true);
  if (created != 0) {
    DoFrameSet(context.connection, *speaker);
    return;
  }
  Admit(context, room, speaker->RoomName(), true);
}
