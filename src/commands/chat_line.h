// A plain chat line, public or private.
#pragma once

#include <string>

#include "commands/speaker.h"

inline constexpr size_t kAddresseeCopyLimit = 149;
inline constexpr size_t kAddresseeNameLimit = 20;
inline constexpr const char* kEverybody = "大家";

// The addressee of a line: "towho" split into name and node, "大家" when it
// names nobody usable.
struct Addressee {
  std::string towho;
  std::string name;
  std::string node;
};
Addressee ParseAddressee(const std::string& towho, const std::string& ownNode, bool nodeLink);

void SayChatLine(CommandContext& context, const std::string& text);
