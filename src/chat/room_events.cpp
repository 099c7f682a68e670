#include "chat/room_events.h"

#include <ctime>

#include "chat/delivery.h"
#include "chat/manager_list.h"
#include "chat/room_lines.h"
#include "chat/room_list.h"
#include "foundation/settings.h"
#include "nodelink/message_list.h"
#include "platform/clock.h"
#include "platform/console.h"

namespace {


void Notice(const CUserSession& session, const std::string& text) {
  AddMessageBoxToRoom(1, session.RoomName(), session.GetName() + ":" + session.NodeId(), session.Colour(), text,
                      kNotice, session.GetId());
}

void EmitJump(const CUserSession& session, const std::string& target, const std::string& nodeId) {
  EmitNodeRecord(RecordLayout::kJump, {{"NEW", target},
                                       {"ND", nodeId},
                                       {"UN", session.GetName()},
                                       {"RM", session.RoomName()},
                                       {"SS", session.GetId()},
                                       {"MN", std::to_string(session.Level())},
                                       {"IP", session.IpAddress()}});
}

// The record of the same user in another room.
SessionPtr MovedSession(const CUserSession& from, const RoomPtr& room, const std::string& nodeId) {
  return std::make_shared<CUserSession>(from.GetName(), from.GetKey(), room->GetId(), from.Colour(), room->GetName(),
                                        nodeId, from.GetId(), from.Level(), from.IpAddress());
}

}  // namespace

std::string NoticeTimeStamp() {
  const std::time_t now = platform::Now();
  std::tm local{};
  localtime_r(&now, &local);
  char text[36] = {};
  std::strftime(text, sizeof text, "%I:%M:%S %p", &local);
  return text;
}

int EnterRoomMessage(const CUserSession& session) {
  try {
    Notice(session, std::string(GetSetting("text", "MSG_ENTERED_ROOM")) + " " + NoticeTimeStamp());
  } catch (...) {
    platform::ConsoleWrite("catch in EnterRoomMessage\n");
  }
  return 0;
}

void LeaveRoomMessage(const CUserSession& session) {
  try {
    Notice(session, std::string(GetSetting("text", "MSG_LEFT_THE_ROOM")) + NoticeTimeStamp());
  } catch (...) {
    platform::ConsoleWrite("catch in LeaveRoomMessage\n");
  }
}

void JumpRoomToOtherMessage(const CUserSession& session, const std::string& target, int kind) {
  try {
    std::string text;
    if (kind == 0) {
      text = "创建聊天室(" + target + ")";
    } else if (kind == 5) {
      text = "跳转到聊天室(" + target + ")";
    } else {
      text = std::string(GetSetting("text", "MSG_JUMP_TO_OTHER_ROOM")) + "(" + target + ")";
    }
    Notice(session, text);
  } catch (...) {
    platform::ConsoleWrite("catch in JumpRoom}ToOtherMessage\n");
  }
}

int JumpRoomMessage(const CUserSession& session, const std::string& oldRoomName) {
  try {
    Notice(session, "从(" + oldRoomName + ")" + GetSetting("text", "MSG_JUMP_TO_THIS_ROOM"));
  } catch (...) {
    platform::ConsoleWrite("catch in JumpRoomMessage\n");
  }
  return 0;
}

int CreateRoom(const SessionPtr& session, const std::string& roomName, const std::string& category,
               const std::string& nodeId, bool emit) {
  try {
    if (!session || roomName.empty() || nodeId.empty() || roomName == kNoRoom || !g_roomList) return 0;
    int existed = 0;
    if (g_roomList->CRoomListAddRoom(std::make_shared<CRoomSession>(roomName), existed).empty() || existed) return 0;
    if (g_managerList && !g_managerList->FindByRoom(roomName)) g_managerList->AddEntry(session->GetName(), roomName);
    if (!category.empty()) {
      if (RoomPtr room = g_roomList->FindByName(roomName)) room->SetCategory(category);
    }
    JumpRoomToOtherMessage(*session, roomName, 0);
    if (nodeId == OwnNodeId() && NodeLinkOn() && emit) {
      EmitNodeRecord(RecordLayout::kCreateRoom, {{"ND", nodeId},
                                                 {"SS", session->GetId()},
                                                 {"RM", roomName},
                                                 {"TP", category},
                                                 {"OLD", session->RoomName()},
                                                 {"UN", session->GetName()}});
    }
    return 1;
  } catch (...) {
    platform::ConsoleWrite("catch in CreateRoom\n");
    return 0;
  }
}

int JoinRoom(const SessionPtr& session, const std::string& currentRoomId, const std::string& target,
             const std::string& category, const std::string& nodeId, bool emit, bool announce) {
  try {
    if (!session || currentRoomId.empty() || target.empty() || nodeId.empty() || !g_roomList) return 0;
    int existed = 0;
    const std::string targetId = g_roomList->CRoomListEnterRoom(std::make_shared<CRoomSession>(target), existed);
    if (targetId.empty()) return 0;
    const bool created = !existed;
    RoomPtr newRoom = g_roomList->FindById(targetId);
    if (targetId == currentRoomId) {
      // Already there: the entry just counted must not count twice.
      if (newRoom) newRoom->DecMemberCount();
      return 0;
    }
    if (!newRoom) return 0;
    RoomPtr oldRoom = g_roomList->FindById(currentRoomId);
    if (created && !category.empty()) newRoom->SetCategory(category);
    JumpRoomToOtherMessage(*session, newRoom->GetName(), created ? 5 : 6);
    if (emit && NodeLinkOn()) EmitJump(*session, newRoom->GetName(), nodeId);
    newRoom->Members().Append(MovedSession(*session, newRoom, nodeId));
    const std::string oldRoomName = session->RoomName();
    if (oldRoom) {
      session->SetRemovalMode(kSilentRemoval);
      oldRoom->Members().RemoveBySessionAndNode(session->GetId(), nodeId);
    }
    SessionPtr arrived = newRoom->Members().FindBySessionAndNode(session->GetId(), nodeId);
    if (arrived && announce) JumpRoomMessage(*arrived, oldRoomName);
    return created ? 1 : 0;
  } catch (...) {
    platform::ConsoleWrite("catch in JoinRoom\n");
    return 0;
  }
}

void JoinRoomFromLogon(const SessionPtr& session, const std::string& currentRoomId, const std::string& target,
                       const std::string& nodeId, bool listFlag) {
  try {
    if (!session || target.empty() || nodeId.empty() || !g_roomList) return;
    int existed = 0;
    const std::string roomId = g_roomList->CRoomListEnterRoom(std::make_shared<CRoomSession>(target), existed);
    if (roomId.empty() || roomId == currentRoomId) return;
    RoomPtr room = g_roomList->FindById(roomId);
    if (listFlag && NodeLinkOn()) EmitJump(*session, room ? room->GetName() : target, nodeId);
    if (room) room->Members().Append(MovedSession(*session, room, nodeId));
    session->SetRemovalMode(kSilentRemoval);
    if (listFlag && g_onlineList) {
      g_onlineList->RemoveBySessionAndNode(session->GetId(), nodeId);
    } else {
      EndSession(session);
    }
    if (!room) return;
    if (SessionPtr arrived = room->Members().FindBySessionAndNode(session->GetId(), nodeId)) EnterRoomMessage(*arrived);
  } catch (...) {
    platform::ConsoleWrite("catch in JoinRoomFromLogon\n");
  }
}

void DoOut(const SessionPtr& session, const std::string& nodeId) {
  try {
    if (!session || nodeId.empty()) return;
    if (session->InNoRoom()) {
      // Logging out from the room list ends the session too.
      if (g_onlineList) g_onlineList->RemoveBySessionAndNode(session->GetId(), nodeId);
      return;
    }
    if (!g_roomList) return;
    if (RoomPtr room = g_roomList->FindByName(session->RoomName())) {
      room->Members().RemoveBySessionAndNode(session->GetId(), nodeId);
    }
  } catch (...) {
    platform::ConsoleWrite("Catch in DoOut\n");
  }
}

void REmoveRoom(const std::string& roomName, const std::string& nodeId, bool deleteRoom) {
  try {
    if (roomName.empty()) return;
    if (nodeId == OwnNodeId() && NodeLinkOn()) {
      EmitNodeRecord(RecordLayout::kRemoveRoom, {{"ND", nodeId}, {"RM", roomName}});
    }
    if (deleteRoom && g_roomList) g_roomList->CRoomListRemoveRoom(roomName);
  } catch (...) {
    platform::ConsoleWrite("Catch in REmoveRoom\n");
  }
}
