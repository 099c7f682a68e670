#include "commands/evidence_command.h"

#include <cerrno>
#include <cstring>

#include "chat/chat_core.h"
#include "chat/delivery.h"
#include "chat/room_events.h"
#include "foundation/file_writer.h"
#include "foundation/settings.h"
#include "foundation/whole_file.h"
#include "platform/console.h"

namespace {
const std::string kStars(44, '*');
}  // namespace

std::string EvidenceRecord(const std::string& user, const std::string& room, const std::string& time) {
  return kStars + "\nUser: " + user + "\nRoom: " + room + "\nTime: " + time + "\n" + kStars + "\n";
}

void RecordEvidence(CChatCore& core, const SessionView* user) {
  const std::string path = GetSetting("log", "evidence");
  if (path.empty()) return;
  std::string room = "unknown room";
  if (user != nullptr) {
    if (const std::optional<RoomView> found = core.FindRoomById(user->roomId)) room = found->name;
  }
  CFileWriter::Instance().Submit(
      [path, record = EvidenceRecord(user != nullptr ? user->name : "unknown user", room, NoticeTimeStamp())] {
        if (!AppendToFile(path, record)) {
          platform::ConsolePrintf("cannot write the evidence log %s: %s\n", path.c_str(), std::strerror(errno));
        }
      });
}

void CommandEvidence(CommandContext& context) {
  const SessionView& speaker = context.Session();
  RecordEvidence(context.core, &speaker);
  CDelivery* delivery = context.core.Delivery();
  if (!context.speaker.room || delivery == nullptr) return;
  delivery->PostUserMessage(context.ownNode, speaker.id, context.speaker.room->name, kPrivateLine,
                            GetSetting("general", "fgcolor"), GetSetting("text", "MSG_SYSTEM"),
                            GetSetting("text", "MSG_EVIDENCE_RECORDED"), speaker.name, kToSession);
}
