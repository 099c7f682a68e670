#include "commands/room_admin_commands.h"

#include "chat/chat_core.h"
#include "chat/delivery.h"
#include "chat/room_admin.h"
#include "chat/room_events.h"
#include "chat/room_lines.h"
#include "chat/sanctions.h"
#include "commands/command_parser.h"
#include "commands/speaker.h"
#include "foundation/settings.h"
#include "html/escape.h"

namespace {

// Who may change rooms and managers for the whole server: with the node
// link off the chief named by [general] ManagerName (the argument checked
// is offArgument); with it on a manager of "pRoomName" (onArgument, which
// must not be "pRoomName" itself).
bool MayAdministerRooms(const CommandContext& context, const std::string& offArgument,
                        const std::string& onArgument) {
  const std::string& speaker = context.Session().name;
  if (!context.core.NodeLink().On()) {
    const std::string chief = GetSetting("general", "ManagerName");
    return !chief.empty() && !offArgument.empty() && speaker == chief;
  }
  return !onArgument.empty() && onArgument != kNoRoom && context.core.IsManager(speaker, kNoRoom);
}

}  // namespace

void CommandRemoveRoom(CommandContext& context, const std::string& room) {
  if (!MayAdministerRooms(context, room, room)) return;
  REmoveRoom(context.core, room, context.ownNode, true);
  ReplyToSpeaker(context, "删除聊天室成功");
}

void CommandChangeManager(CommandContext& context, unsigned code, const std::string& name, const std::string& room) {
  if (!MayAdministerRooms(context, name, room)) return;
  const bool appoint = code == kSetManager;
  ChangeManager(context.core, name, room, appoint);
  ReplyToSpeaker(context, appoint ? "设置管理员成功" : "取消管理员成功");
}

void CommandLockRoom(CommandContext& context, unsigned code, const std::string& room) {
  if (room.empty()) return;
  const bool lock = code == kLockRoom;
  const std::string shown = EscapeText(room);
  if (!context.core.IsManager(context.Session().name, room)) {
    ReplyToSpeaker(context, "系统: 对不起,你不是(" + shown + (lock ? ")的管理员,锁定失败。" : ")的管理员,解锁失败。"));
    return;
  }
  if (LockRoom(context.core, room, lock)) {
    ReplyToSpeaker(context, (lock ? "锁定聊天室(" : "解锁聊天室(") + shown + ")成功");
  } else if (lock) {
    // The manager list names the room, but it is gone.
    ReplyToSpeaker(context, "聊天室(" + shown + ")已经被锁定");
  }
}

void CommandAdmission(CommandContext& context, unsigned code, const std::string& target) {
  const SessionView& manager = context.Session();
  const std::optional<RoomView> room = context.core.FindRoom(manager.roomName);
  if (target.empty() || !room || !room->locked || !context.core.IsManager(manager.name, manager.roomName)) return;
  const bool authorize = code == kAuthorize;
  DecideAdmission(context.core, manager.name, room->name, target, authorize);
  // Said to the room even when nobody of that name is there; a refusal
  // also reaches the users who wait.
  AnnounceAdmission(context.core, room->name, manager.name, EscapeText(TargetName(target)), authorize);
}
