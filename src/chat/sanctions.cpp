#include "chat/sanctions.h"

#include "chat/delivery.h"
#include "chat/manager_list.h"
#include "chat/room_lines.h"
#include "chat/room_list.h"
#include "chat/timed_name_list.h"
#include "foundation/settings.h"
#include "nodelink/message_list.h"
#include "platform/console.h"

namespace {


void SendToViewer(const std::string& sessionId, const std::string& colour, const std::string& from,
                  const std::string& text) {
  if (!g_roomList) return;
  SessionPtr viewer = g_roomList->CRoomSessionListFindUserSession(sessionId, OwnNodeId());
  CDelivery* delivery = g_delivery.load();
  if (!viewer || delivery == nullptr) return;
  delivery->PostUserMessage(viewer->NodeId(), sessionId, viewer->RoomName(), kSystemLine, colour, from, text, "",
                            kToSession);
}

// The user a manager means, in the manager's room.
struct Victim {
  RoomPtr room;
  SessionPtr session;
  std::string name;
};

Victim FindVictim(const std::string& manager, const std::string& target, const std::string& roomName) {
  Victim victim;
  if (!g_roomList || !g_managerList) return victim;
  victim.room = g_roomList->FindByName(roomName);
  const std::string copy = target.substr(0, kTargetCopyLimit);
  victim.name = copy.substr(0, copy.find(':')).substr(0, kTargetNameLimit);
  if (!victim.room || victim.name.empty() || !g_managerList->FindEntry(manager, roomName)) return Victim();
  victim.session = victim.room->Members().FindByNameLocked(victim.name);
  return victim;
}

void Announce(const std::string& manager, const std::string& roomName, const std::string& text) {
  AddMessageBoxToRoom(1, roomName, "管理员" + manager + ": (", "#FF0000", text, kChatLine, "");
}

void RemoveVictim(const Victim& victim) {
  victim.session->SetRemovalMode(kSilentRemoval);
  victim.room->Members().RemoveBySessionAndNode(victim.session->GetId(), victim.session->NodeId());
}

}  // namespace

void ShowRoom(const std::string& sessionId, const std::string& category) {
  try {
    if (sessionId.empty() || category.empty() || !g_roomList) return;
    CTextBuffer listing;
    if (category == "全部") {
      g_roomList->CRoomListToBuffer(listing, sessionId);
    } else {
      g_roomList->CRoomListToBuffer0(listing, sessionId, category);
    }
    SendToViewer(sessionId, "#ff0000", category + GetSetting("text", "MSG_ROOM_LIST"), listing.Str());
  } catch (...) {
    platform::ConsoleWrite("catch in ShowRoom\n");
  }
}

void ShowManager(const std::string& sessionId) {
  try {
    if (sessionId.empty() || !g_managerList) return;
    CTextBuffer listing;
    g_managerList->CManagerListToBuffer(listing);
    SendToViewer(sessionId, "#0000ff", "管理员列表:", listing.Str());
  } catch (...) {
    platform::ConsoleWrite("catch in ShowManager\n");
  }
}

int Kick(const std::string& manager, const std::string& target, const std::string& roomName, int) {
  try {
    const Victim victim = FindVictim(manager, target, roomName);
    if (!victim.session) return 0;
    if (NodeLinkOn()) {
      EmitNodeRecord(RecordLayout::kKick, {{"UN", manager},
                                           {"RM", roomName},
                                           {"PA", target},
                                           {"MN", std::to_string(victim.session->Level())}});
    }
    Announce(manager, roomName, victim.session->GetName() + ")因为言语不太文明被踢出,五分钟后可以再登录");
    RemoveVictim(victim);
    AddToKickList(victim.session->GetName());
    return 1;
  } catch (...) {
    platform::ConsoleWrite("catch in Kick\n");
    return 0;
  }
}

int Ban(const std::string& manager, const std::string& target, const std::string& roomName,
        const std::string& requesterAddress, int) {
  try {
    const Victim victim = FindVictim(manager, target, roomName);
    if (!victim.session) return 0;
    if (NodeLinkOn()) {
      EmitNodeRecord(RecordLayout::kBan, {{"UN", manager},
                                          {"RM", roomName},
                                          {"PA", target},
                                          {"IP", requesterAddress},
                                          {"MN", std::to_string(victim.session->Level())}});
      AddToKickList(victim.session->GetName());
    }
    Announce(manager, roomName,
             victim.session->GetName() + ")因为言语不太文明被踢出且IP被绊住,十分钟后可以再登录");
    RemoveVictim(victim);
    AddToBanList(victim.session->IpAddress());
    return 1;
  } catch (...) {
    platform::ConsoleWrite("catch in Ban\n");
    return 0;
  }
}
