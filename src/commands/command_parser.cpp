#include "commands/command_parser.h"

#include <mutex>
#include <vector>

#include "foundation/settings.h"
#include "foundation/text.h"

namespace {

struct CommandEntry {
  std::string word;
  unsigned code;
  bool takesTarget;
};

std::string ConfiguredWord(const char* key) { return std::string(CutToCharacters(GetSetting("text", key), kCommandWordLimit)); }

const std::vector<CommandEntry>& CommandTable() {
  static std::once_flag filled;
  static std::vector<CommandEntry> table;
  std::call_once(filled, [] {
    table = {
        {ConfiguredWord("MSG_COMMAND_HELP"), kHelp, true},
        {"MLIST", kManagerList, false},
        {ConfiguredWord("MSG_COMMAND_IGNORE"), kIgnore, true},
        {ConfiguredWord("MSG_COMMAND_JOIN"), kJoin, true},
        {"CREATE", kJoin, true},
        {"RM", kRemoveRoom, true},
        {"MESSAGE", kMessage, true},
        {"SETMANAGER", kSetManager, true},
        {"REMOVEMANAGER", kRemoveManager, true},
        {"LOCKROOM", kLockRoom, true},
        {"FIND", kFind, true},
        {"UNLOCKROOM", kUnlockRoom, true},
        {"AUTHORIZE", kAuthorize, true},
        {"REFUSE", kRefuse, true},
        {ConfiguredWord("MSG_COMMAND_LIST"), kList, true},
        {ConfiguredWord("MSG_COMMAND_ME"), kMe, false},
        {ConfiguredWord("MSG_COMMAND_MSG"), kMsg, true},
        {ConfiguredWord("MSG_COMMAND_COLOR"), kColor, true},
        {ConfiguredWord("MSG_COMMAND_USERS"), kUsers, false},
        {ConfiguredWord("MSG_COMMAND_LOGON"), kLogon, true},
        {ConfiguredWord("MSG_COMMAND_LOGOFF"), kLogoff, false},
        {ConfiguredWord("MSG_COMMAND_EVIDENCE"), kEvidence, false},
        {"KICK", kKick, false},
        {"BAN", kBan, false},
        {"CHECKMONEY", kCheckMoney, true},
        {"STATS", kStats, false},
    };
  });
  return table;
}

// The next token after position (separators " \t\n\r"); advances position.
std::optional<std::string> NextToken(std::string_view line, size_t& position) {
  const size_t start = line.find_first_not_of(" \t\n\r", position);
  if (start == std::string_view::npos) {
    position = line.size();
    return std::nullopt;
  }
  const size_t end = line.find_first_of(" \t\n\r", start);
  position = end == std::string_view::npos ? line.size() : end;
  return std::string(line.substr(start, position - start));
}

// The rest of the line: its inner blanks kept, cut at CR or LF (strtok
// rules: leading CR and LF skipped).
std::optional<std::string> RestOf(std::string_view line, size_t position) {
  if (position < line.size()) ++position;  // the separator after the last token
  const size_t start = line.find_first_not_of("\n\r", position);
  if (start == std::string_view::npos) return std::nullopt;
  const size_t end = line.find_first_of("\n\r", start);
  return std::string(line.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
}

}  // namespace

ClassifiedInput ClassifyInput(std::string_view line) {
  const std::vector<CommandEntry>& table = CommandTable();
  ClassifiedInput result;
  if (line.empty()) return result;
  if (line[0] != '/') {
    result.code = kChatLineCode;
    result.rest = std::string(line);
    return result;
  }
  size_t position = 1;
  const std::optional<std::string> token = NextToken(line, position);
  if (!token) {
    result.code = kUnknownCommand;
    return result;
  }
  const std::string word = AsciiUpper(*token);
  const CommandEntry* chosen = nullptr;
  bool ambiguous = false;
  for (const CommandEntry& entry : table) {
    if (entry.word.compare(0, word.size(), word) != 0 || entry.word.size() < word.size()) continue;
    if (entry.word.size() == word.size()) {
      chosen = &entry;
      ambiguous = false;
      break;
    }
    if (chosen == nullptr) {
      chosen = &entry;
    } else {
      ambiguous = true;
    }
  }
  if (ambiguous) {
    result.code = kAmbiguousCommand;
    return result;
  }
  if (chosen == nullptr) {
    result.code = kUnknownCommand;
    return result;
  }
  result.code = chosen->code;
  if (chosen->takesTarget) result.target = NextToken(line, position);
  result.rest = RestOf(line, position);
  return result;
}
