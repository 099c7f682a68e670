#include "commands/join_command.h"

#include "chat/chat_core.h"
#include "chat/delivery.h"
#include "chat/room_admin.h"
#include "chat/room_events.h"
#include "chat/room_lines.h"
#include "chat/room_names.h"
#include "commands/speaker.h"
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

// A user waits at a locked room: the room hears it, and its managers who
// are present get the links that let him in or turn him away. The links
// carry the session of the room's first listed manager, who must be there.
void AskManagers(CChatCore& core, const SessionView& waiting, const RoomView& room, const std::string& ownNode,
                 const std::string& waitingText) {
  const std::optional<std::string> managerName = core.FindManagerOfRoom(room.name);
  if (!managerName) return;
  const std::string managerSession = core.FindIdByNameAndNode(room.name, *managerName, ownNode);
  if (managerSession.empty() || !core.FindMember(room.name, managerSession, ownNode, false)) return;
  AddMessageBoxToRoom(core, room.name, waiting.name + ":" + waiting.nodeId, "#ff0000", waitingText,
                      MessageKind::kNotice);
  const std::string session = EscapeUrlComponent(managerSession);
  const std::string who = EscapeUrlComponent(waiting.name) + ":" + EscapeUrlComponent(waiting.nodeId) + "%20" +
                          EscapeUrlComponent(room.name);
  const std::string links = "请求加入此聊天室,请[<A HREF=\"/Blank?session=" + session + "&message=/authorize%20" + who +
                            "\" TARGET=\"goto\" >" + "批准</A>]或[<A HREF=\"/Blank?session=" + session +
                            "&message=/refuse%20" + who + "\" TARGET=\"goto\" >" + "拒绝</A>]进入\r\n";
  ChatEvent ask;
  ask.room = room.name;
  ask.kind = MessageKind::kSystemLine;
  ask.audience = Audience::kManagers;
  ask.session = waiting.id;
  ask.senderNode = ownNode;
  ask.colour = "#FF0000";
  ask.sender = EscapeText(waiting.name);
  ask.addressee = waiting.name;
  ask.text = links;
  // What the links do, for clients that send commands instead of following links.
  const std::string command = " " + waiting.name + ":" + waiting.nodeId + " " + room.name;
  ask.actions = {{"批准", "/authorize" + command}, {"拒绝", "/refuse" + command}};
  Say(core, ask);
}

// The user has arrived: his marks in the new room; at a locked room he
// waits for its managers.
Entry Admit(CommandContext& context, const RoomView& room, const std::string& previousRoom,
            const std::string& waitingText) {
  CChatCore& core = context.core;
  std::optional<SessionView> arrived = core.FindMember(room.name, context.Session().id, context.ownNode, true);
  if (!arrived) return Entry::kNoSuchRoom;
  const ArrivalMarks marks = MarkArrival(core, *arrived, room, previousRoom);
  arrived->approved = marks.approved;
  arrived->manager = marks.manager;
  context.speaker.session = arrived;
  context.speaker.room = room;
  context.speaker.inNoRoom = false;
  if (marks.approved) return Entry::kEntered;
  AskManagers(core, *arrived, room, context.ownNode, waitingText);
  return Entry::kWaiting;
}

}  // namespace

Entry EnterRoom(CommandContext& context, const std::string& roomName) {
  CChatCore& core = context.core;
  const SessionView speaker = context.Session();
  if (roomName == speaker.roomName || roomName == speaker.roomId) return Entry::kAlreadyThere;
  const std::optional<RoomView> room = FindRoom(core, roomName);
  if (!room) return Entry::kNoSuchRoom;
  if (context.speaker.inNoRoom) {
    JoinRoomFromLogon(core, speaker, speaker.roomId, room->name, context.ownNode, true);
    return Admit(context, *room, speaker.roomName, "申请在本聊天室聊天,正在等待批准");
  }
  const int created = JoinRoom(core, speaker, speaker.roomId, room->name, "", context.ownNode, true, true);
  if (created != 0) {  // the room went meanwhile and was made again: nobody waits there
    context.speaker.session = core.FindSession(speaker.id, context.ownNode, false);
    context.speaker.room = core.FindRoom(room->name);
    return context.speaker.session ? Entry::kEntered : Entry::kNoSuchRoom;
  }
  return Admit(context, *room, speaker.roomName, "申请进入本聊天室,正在等待批准");
}

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
  const bool isGet = context.request.Method() == kGet;
  const bool entering = isGet || context.speaker.inNoRoom || roomName == speaker.roomName || roomName == speaker.roomId;
  if (!entering) {  // typed into the chat form: the room is made, and a link leads into it
    if (CreateRoom(core, speaker, roomName, category, context.ownNode, true)) {
      ReplyToSpeaker(context, "系统: 创建聊天室成功,请点[<A HREF=\"/Blank?session=" +
                                  EscapeUrlComponent(speaker.id.substr(0, kSessionIdCopyLimit)) + "&message=/join%20" +
                                  EscapeUrlComponent(roomName) + "\" TARGET=\"_top\">" + "这里</A>]进入\r\n");
    } else {
      ReplyToSpeaker(context, "系统: 聊天室已经存在。");
    }
    return;
  }
  const Entry entry = EnterRoom(context, roomName);
  if (entry == Entry::kNoSuchRoom) return;
  if (isGet || entry == Entry::kAlreadyThere) DoFrameSet(context.request.Page(), core, *context.speaker.session);
}
