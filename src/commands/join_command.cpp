#include "commands/join_command.h"

#include "chat/chat_core.h"
#include "chat/room_events.h"
#include "chat/room_names.h"
#include "commands/message_step.h"
#include "html/frame_pages.h"
#include "html/escape.h"
#include "http/request.h"

namespace {

constexpr size_t kSessionIdCopyLimit = 39;

void SystemReply(const CommandContext& context, const std::string& text) {
  SystemLineToSpeaker(context, "#ff0000", "系统:", text);
}

// A room by name, else by id.
std::optional<RoomView> FindRoom(CChatCore& core, const std::string& nameOrId) {
  std::optional<RoomView> room = core.FindRoom(nameOrId);
  return room ? room : core.FindRoomById(nameOrId);
}

// The user has arrived: his marks in the new room, then his chat window.
void Admit(CommandContext& context, const RoomView& room, const std::string& previousRoom, bool sendFrameset) {
  CChatCore& core = context.core;
  std::optional<SessionView> arrived = core.FindMember(room.name, context.Session().id, context.ownNode, true);
  if (!arrived) return;
  const bool manager = core.IsManager(arrived->name, room.name);
  const bool approved = !(room.locked && !manager && room.name != previousRoom);
  core.SetAdmission(arrived->id, arrived->nodeId, approved, manager);
  arrived->approved = approved;
  arrived->manager = manager;
  context.speaker.session = arrived;
  context.speaker.room = room;
  context.speaker.inNoRoom = false;
  if (sendFrameset) DoFrameSet(context.request.Page(), core, *arrived);
}

}  // namespace

void CommandJoin(CommandContext& context, const std::string& roomName, const std::string& rest) {
  CChatCore& core = context.core;
  const std::string category = rest.empty() || rest == kSystemCategory ? kOtherCategory : rest;
  if (!IsValidRoomName(roomName)) {
    SystemReply(context, "聊天室名字不能包含特殊字符，请换一个名字");
    return;
  }
  if (roomName.size() > kRoomNameLimit) {
    SystemReply(context, "聊天室名字太长(>30)，请换一个名字");
    return;
  }
  const SessionView speaker = context.Session();
  if (roomName == speaker.roomName || roomName == speaker.roomId) {
    DoFrameSet(context.request.Page(), core, speaker);
    return;
  }
  const bool isGet = context.request.Method() == kGet;
  if (context.speaker.inNoRoom) {
    const std::optional<RoomView> room = FindRoom(core, roomName);
    if (!room) return;
    JoinRoomFromLogon(core, speaker, speaker.roomId, room->name, context.ownNode, true);
    Admit(context, *room, speaker.roomName, isGet);
    return;
  }
  if (!isGet) {
    if (CreateRoom(core, speaker, roomName, category, context.ownNode, true)) {
      ReplyToSpeaker(context, "系统: 创建聊天室成功,请点[<A HREF=\"/Blank?session=" +
                                  EscapeUrlComponent(speaker.id.substr(0, kSessionIdCopyLimit)) + "&message=/join%20" +
                                  EscapeUrlComponent(roomName) + "\" TARGET=\"_top\">" + "这里</A>]进入\r\n");
    } else {
      ReplyToSpeaker(context, "系统: 聊天室已经存在。");
    }
    return;
  }
  const std::optional<RoomView> room = FindRoom(core, roomName);
  if (!room) return;
  const int created = JoinRoom(core, speaker, speaker.roomId, room->name, "", context.ownNode, true, true);
  if (created != 0) {
    if (const std::optional<SessionView> moved = core.FindSession(speaker.id, context.ownNode, false)) {
      DoFrameSet(context.request.Page(), core, *moved);
    }
    return;
  }
  Admit(context, *room, speaker.roomName, true);
}
