#include "chat/room_events.h"

#include <ctime>

#include "chat/chat_core.h"
#include "chat/delivery.h"
#include "chat/room_lines.h"
#include "chat/session_end.h"
#include "foundation/settings.h"
#include "platform/clock.h"

namespace {

void Notice(CChatCore& core, const SessionView& session, const std::string& text) {
  AddMessageBoxToRoom(core, session.roomName, session.name + ":" + session.nodeId, session.colour, text,
                      MessageKind::kNotice);
}

void EmitJump(CChatCore& core, const SessionView& session, const std::string& target, const std::string& nodeId) {
  core.NodeLink().Emit(RecordLayout::kJump, {{"NEW", target},
                                             {"ND", nodeId},
                                             {"UN", session.name},
                                             {"RM", session.roomName},
                                             {"SS", session.id},
                                             {"MN", std::to_string(session.level)},
                                             {"IP", session.ipAddress}});
}

// Moves the user; his streams that follow one room start over in the new one.
MoveResult MoveAndFollow(CChatCore& core, const std::string& id, const std::string& nodeId, const std::string& room) {
  MoveResult moved = core.MoveSession(id, nodeId, room);
  CDelivery* delivery = core.Delivery();
  if (moved.moved && nodeId == core.NodeId() && delivery != nullptr) delivery->SessionMoved(id);
  return moved;
}

}  // namespace

std::string ChineseClockTime(const std::tm& local) {
  constexpr size_t kClockLimit = 16;  // "hh:mm:ss" and its NUL, with room to spare
  char clock[kClockLimit] = {};
  std::strftime(clock, sizeof clock, "%I:%M:%S", &local);
  return std::string(local.tm_hour < 12 ? "上午" : "下午") + clock;
}

std::string NoticeTimeStamp() {
  const std::time_t now = platform::Now();
  std::tm local{};
  localtime_r(&now, &local);
  return ChineseClockTime(local);
}

int EnterRoomMessage(CChatCore& core, const SessionView& session) {
  Notice(core, session, std::string(GetSetting("text", "MSG_ENTERED_ROOM")) + " " + NoticeTimeStamp());
  return 0;
}

void LeaveRoomMessage(CChatCore& core, const SessionView& session) {
  Notice(core, session, std::string(GetSetting("text", "MSG_LEFT_THE_ROOM")) + NoticeTimeStamp());
}

void JumpRoomToOtherMessage(CChatCore& core, const SessionView& session, const std::string& target, int kind) {
  std::string text;
  if (kind == 0) {
    text = "创建聊天室(" + target + ")";
  } else if (kind == 5) {
    text = "跳转到聊天室(" + target + ")";
  } else {
    text = std::string(GetSetting("text", "MSG_JUMP_TO_OTHER_ROOM")) + "(" + target + ")";
  }
  Notice(core, session, text);
}

int JumpRoomMessage(CChatCore& core, const SessionView& session, const std::string& oldRoomName) {
  Notice(core, session, "从(" + oldRoomName + ")" + GetSetting("text", "MSG_JUMP_TO_THIS_ROOM"));
  return 0;
}

int CreateRoom(CChatCore& core, const SessionView& session, const std::string& roomName, const std::string& category,
               const std::string& nodeId, bool emit) {
  if (session.id.empty() || roomName.empty() || nodeId.empty() || roomName == kNoRoom) return 0;
  if (core.AddUserRoom(roomName, category, session.name) != RoomCreation::kCreated) return 0;
  JumpRoomToOtherMessage(core, session, roomName, 0);
  if (nodeId == core.NodeId() && core.NodeLink().On() && emit) {
    core.NodeLink().Emit(RecordLayout::kCreateRoom, {{"ND", nodeId},
                                                     {"SS", session.id},
                                                     {"RM", roomName},
                                                     {"TP", category},
                                                     {"OLD", session.roomName},
                                                     {"UN", session.name}});
  }
  return 1;
}

int JoinRoom(CChatCore& core, const SessionView& session, const std::string& currentRoomId, const std::string& target,
             const std::string& category, const std::string& nodeId, bool emit, bool announce) {
  if (session.id.empty() || currentRoomId.empty() || target.empty() || nodeId.empty()) return 0;
  bool created = false;
  const std::optional<RoomView> room = core.EnsureRoom(target, category, created);
  if (!room || room->id == currentRoomId) return 0;
  JumpRoomToOtherMessage(core, session, room->name, created ? 5 : 6);
  if (emit && core.NodeLink().On()) EmitJump(core, session, room->name, nodeId);
  const MoveResult moved = MoveAndFollow(core, session.id, nodeId, room->name);
  if (moved.moved && announce) JumpRoomMessage(core, moved.arrived, moved.oldRoomName);
  return created ? 1 : 0;
}

void JoinRoomFromLogon(CChatCore& core, const SessionView& session, const std::string& currentRoomId,
                       const std::string& target, const std::string& nodeId, bool listFlag) {
  if (session.id.empty() || target.empty() || nodeId.empty()) return;
  bool created = false;
  const std::optional<RoomView> room = core.EnsureRoom(target, "", created);
  if (!room || room->id == currentRoomId) return;
  if (listFlag && core.NodeLink().On()) EmitJump(core, session, room->name, nodeId);
  const MoveResult moved = MoveAndFollow(core, session.id, nodeId, room->name);
  if (moved.moved) EnterRoomMessage(core, moved.arrived);
}

void DoOut(CChatCore& core, const SessionView& session, const std::string& nodeId) {
  if (session.id.empty() || nodeId.empty()) return;
  // Logging out from the room list (in no room) ends the session too.
  RemoveAndEndSession(core, session.id, nodeId, true, kLoggedOutText);
}

void REmoveRoom(CChatCore& core, const std::string& roomName, const std::string& nodeId, bool deleteRoom) {
  if (roomName.empty()) return;
  if (nodeId == core.NodeId() && core.NodeLink().On()) {
    core.NodeLink().Emit(RecordLayout::kRemoveRoom, {{"ND", nodeId}, {"RM", roomName}});
  }
  // The room is gone before its members' sessions end: their leave
  // notices reach nobody.
  if (deleteRoom) EndSessions(core, core.RemoveRoom(roomName), kRoomRemovedText);
}
