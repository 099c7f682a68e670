// The command parser: a line that begins with "/" is a command whose word
// (upper-cased, abbreviations allowed when they are unique) is looked up in
// the command table; any other line is a chat line.
#pragma once

#include <optional>
#include <string>
#include <string_view>

enum CommandCode : unsigned {
  kEmptyInput = 0,
  kUnknownCommand = 1,
  kAmbiguousCommand = 2,
  kChatLineCode = 3,
  kMe = 4,
  kIgnore = 7,
  kMsg = 8,
  kHelp = 9,
  kManagerList = 10,
  kList = 11,
  kJoin = 12,
  kRemoveRoom = 13,
  kMessage = 14,
  kSetManager = 15,
  kRemoveManager = 16,
  kLockRoom = 17,
  kFind = 18,
  kUnlockRoom = 19,
  kAuthorize = 20,
  kRefuse = 21,
  kColor = 22,
  kUsers = 23,
  kLogon = 24,
  kLogoff = 25,
  kEvidence = 26,
  kKick = 27,
  kBan = 28,
  kCheckMoney = 29,
  kStats = 30,
};

inline constexpr size_t kCommandWordLimit = 19;

struct ClassifiedInput {
  unsigned code = kEmptyInput;
  std::optional<std::string> target;  // the first argument, for commands that take one
  std::optional<std::string> rest;    // the remaining text (the whole line for a chat line)
};

// The table is filled by the first call, from the settings of that moment.
ClassifiedInput ClassifyInput(std::string_view line);
