#include "chat/room_lines.h"

#include "chat/chat_core.h"
#include "chat/delivery.h"

void AddMessageToRoom1(CChatCore& core, const std::string& addressee, int local, const std::string& room,
                       const std::string& from, const std::string& colour, const std::string& text, int kind) {
  if (text.empty() || from.empty()) return;
  if (CDelivery* delivery = core.Delivery()) {
    delivery->PostRoomMessage(core.NodeId(), addressee, local, room, kind, colour, from, text);
  }
}

void AddMessageBoxToRoom(CChatCore& core, int local, const std::string& room, const std::string& from,
                         const std::string& colour, const std::string& text, int kind, const std::string& session) {
  if (text.empty() || from.empty()) return;
  if (CDelivery* delivery = core.Delivery()) delivery->PostRoomNotice(local, room, kind, colour, from, text, session);
}

void AnnounceAdmission(CChatCore& core, const std::string& room, const std::string& manager,
                       const std::string& userName, bool approved) {
  AddMessageToRoom1(core, "大家", 1, room, manager, "#ff0000",
                    std::string(approved ? "说:允许(" : "说:拒绝(") + userName + ")进入本聊天室",
                    approved ? kChatLine : kRefusal);
}
