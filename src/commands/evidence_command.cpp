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

std::string EvidenceLogPath() { return GetSetting("log", "evidence"); }

std::string EvidenceRecord(const std::string& user, const std::string& room, const std::string& time) {
  return kStars + "\nUser: " + user + "\nRoom: " + room + "\nTime: " + time + "\n" + kStars + "\n";
}

void RecordEvidence(const std::string& user, const std::string& room) {
  const std::string path = EvidenceLogPath();
  if (path.empty()) return;
  CFileWriter::Instance().Submit(
      [path, record = EvidenceRecord(user, room, NoticeTimeStamp())] {
        if (!AppendToFile(path, record)) {
          platform::ConsolePrintf("cannot write the evidence log %s: %s\n", path.c_str(), std::strerror(errno));
        }
      });
}

void CommandEvidence(CommandContext& context) {
  const std::optional<RoomView>& room = context.speaker.room;
  RecordEvidence(context.Session().name, room ? room->name : "unknown room");
  if (!room) return;
  SystemLineToSpeaker(context, GetSetting("general", "fgcolor"), GetSetting("text", "MSG_SYSTEM"),
                      GetSetting("text", "MSG_EVIDENCE_RECORDED"), MessageKind::kPrivateLine);
}
