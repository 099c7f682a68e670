#include "chat/chat_loader.h"

#include <vector>

#include <cerrno>
#include <cstring>
#include <mutex>

#include "foundation/file.h"
#include "foundation/file_writer.h"
#include "foundation/settings.h"
#include "foundation/text.h"
#include "foundation/whole_file.h"
#include "platform/console.h"

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

std::unique_ptr<CChatCore> LoadChatCore(CNodeOutbox& outbox) {
  auto core = std::make_unique<CChatCore>(ReadChatSettings(), outbox);
  LoadRooms(*core);
  if (!core->NodeLink().On()) LoadManagerFile(*core);
  return core;
}

void LoadRooms(CChatCore& core) {
  for (int n = 1;; ++n) {
    const std::vector<std::string> words = Words(GetSetting("rooms", std::to_string(n).c_str()));
    if (words.empty()) return;
    core.AddSystemRoom(words[0], words.size() > 1 ? words[1] : std::string());
  }
}

void LoadManagerFile(CChatCore& core) {
  UniqueFile file = OpenFile(kManagerFile, "rb");
  if (!file) return;
  std::string line;
  while (ReadTextPiece(file.get(), line, kManagerLineArea)) {
    line = line.substr(0, line.find('\n'));
    if (line.size() < 3) continue;
    const size_t nameStart = line.find_first_not_of(':');
    if (nameStart == std::string::npos) continue;
    const std::string name(
        CutToCharacters(std::string_view(line).substr(nameStart, line.find(':', nameStart) - nameStart), kManagerNameLimit));
    const size_t colon = line.find(':');
    const std::string room =
        colon == std::string::npos ? std::string() : std::string(CutToCharacters(line.substr(colon + 1), kManagerRoomLimit));
    if (!name.empty() && !room.empty() && core.FindRoom(room)) core.AddManager(name, room);
  }
}

void SaveManagerFile(const CChatCore& core) {
  // Taken and queued as one step: a later list is never queued before an earlier one.
  static std::mutex order;
  std::lock_guard<std::mutex> guard(order);
  CFileWriter::Instance().Submit([text = ManagerFileText(core.Managers())] {
    if (!WriteWholeFile(kManagerFile, text, 0644, Durability::kDurable)) {
      platform::ConsolePrintf("cannot write %s: %s\n", kManagerFile, std::strerror(errno));
    }
  });
}
