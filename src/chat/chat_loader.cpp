#include "chat/chat_loader.h"

#include <cstring>

#include "chat/manager_list.h"
#include "chat/password_list.h"
#include "chat/room_list.h"
#include "chat/timed_name_list.h"
#include "foundation/file.h"
#include "foundation/settings.h"
#include "nodelink/message_list.h"

namespace {
constexpr size_t kManagerLineArea = 198;  // a manager line is read in pieces of 197 bytes
constexpr size_t kManagerNameLimit = 20;
constexpr size_t kManagerRoomLimit = 169;

// The words of a [rooms] value: the name and, optionally, the background.
std::vector<std::string> Words(const std::string& text) {
  std::vector<std::string> words;
  size_t start = 0;
  while ((start = text.find_first_not_of(" \t\r\n", start)) != std::string::npos) {
    const size_t end = text.find_first_of(" \t\r\n", start);
    words.push_back(text.substr(start, end - start));
    start = end;
  }
  return words;
}
}  // namespace

void LoadChatCore() {
  g_roomList = std::make_unique<CRoomList>();
  g_managerList = std::make_unique<CManagerList>();
  LoadRooms();
  g_messageList = std::make_unique<CMessageList>();
  g_kickList = std::make_unique<CTimedNameList>();
  g_banList = std::make_unique<CTimedNameList>();
  g_onlineList = std::make_unique<CPasswordList>();
  if (!NodeLinkOn()) LoadManagerFile();
}

void LoadRooms() {
  for (int n = 1;; ++n) {
    const std::vector<std::string> words = Words(GetSetting("rooms", std::to_string(n).c_str()));
    if (words.empty()) return;
    auto room = std::make_shared<CRoomSession>(words[0]);
    room->SetSystem(1);
    room->SetCategory("系统");
    if (words.size() > 1) room->SetBackground(words[1]);
    int existed = 0;
    const std::string id = g_roomList->CRoomListEnterRoom(room, existed);
    g_roomList->CRoomListLeaveRoom(id);
  }
}

void LoadManagerFile() {
  UniqueFile file = OpenFile(kManagerFile, "rb");
  if (!file) return;
  std::string line;
  while (ReadTextPiece(file.get(), line, kManagerLineArea)) {
    line = line.substr(0, line.find('\n'));
    if (line.size() < 3) continue;
    const size_t nameStart = line.find_first_not_of(':');
    if (nameStart == std::string::npos) continue;
    const std::string name = line.substr(nameStart, line.find(':', nameStart) - nameStart).substr(0, kManagerNameLimit);
    const size_t colon = line.find(':');
    const std::string room = colon == std::string::npos ? std::string() : line.substr(colon + 1, kManagerRoomLimit);
    if (!name.empty() && !room.empty() && g_roomList->FindByName(room)) g_managerList->AddEntry(name, room);
  }
}

void DestroyChatCore() {
  g_roomList.reset();
  g_onlineList.reset();
  g_messageList.reset();
  g_managerList.reset();
  g_kickList.reset();
  g_banList.reset();
}
