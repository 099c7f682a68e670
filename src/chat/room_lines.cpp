#include "chat/room_lines.h"

#include "chat/chat_core.h"
#include "chat/delivery.h"

void Say(CChatCore& core, const ChatEvent& event) {
  if (CDelivery* delivery = core.Delivery()) delivery->Deliver(event);
}

void AddMessageBoxToRoom(CChatCore& core, const std::string& room, const std::string& from,
                         const std::string& colour, const std::string& text, MessageKind kind) {
  ChatEvent notice;
  notice.room = room;
  notice.kind = kind;
  notice.sender = from;
  notice.colour = colour;
  notice.text = text;
  Say(core, notice);
}

void AnnounceAdmission(CChatCore& core, const std::string& room, const std::string& manager,
                       const std::string& userName, bool approved) {
  ChatEvent line;
  line.room = room;
  line.kind = approved ? MessageKind::kChatLine : MessageKind::kRefusal;
  line.addressed = true;
  line.sender = manager;
  line.senderNode = core.NodeId();
  line.addressee = "大家";
  line.colour = "#ff0000";
  line.text = std::string(approved ? "说:允许(" : "说:拒绝(") + userName + ")进入本聊天室";
  Say(core, line);
}
