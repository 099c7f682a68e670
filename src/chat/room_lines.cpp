#include "chat/room_lines.h"

#include "chat/delivery.h"
#include "foundation/settings.h"
#include "platform/console.h"

std::atomic<CDelivery*> g_delivery{nullptr};

void AddMessageToRoom1(const std::string& addressee, int local, const std::string& room, const std::string& from,
                       const std::string& colour, const std::string& text, int kind) {
  try {
    if (text.empty() || from.empty()) return;
    if (CDelivery* delivery = g_delivery.load()) {
      delivery->PostRoomMessage(OwnNodeId(), addressee, local, room, kind, colour, from, text);
    }
  } catch (...) {
    platform::ConsoleWrite("catch in AddMessageToRoom1\n");
  }
}

void AddMessageBoxToRoom(int local, const std::string& room, const std::string& from, const std::string& colour,
                         const std::string& text, int kind, const std::string& session) {
  try {
    if (text.empty() || from.empty()) return;
    if (CDelivery* delivery = g_delivery.load()) delivery->PostRoomNotice(local, room, kind, colour, from, text, session);
  } catch (...) {
    platform::ConsoleWrite("catch in AddMessageBoxToRoom\n");
  }
}
