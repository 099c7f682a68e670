// A plain chat line, public or private.
#pragma once

#include <string>

#include "commands/speaker.h"

inline constexpr size_t kAddresseeCopyLimit = 149;
inline constexpr size_t kAddresseeNameLimit = 20;
// The action ("UserAction", typed into a field of 40 characters) and the
// verb ("addsays", chosen from a list) of a line: 40 characters of two bytes.
inline constexpr size_t kPhraseLimit = 80;
inline constexpr const char* kEverybody = "大家";

// The addressee of a line: "towho" split into name and node, "大家" when it
// names nobody usable; towho is kept as far as it is read (kAddresseeCopyLimit).
struct Addressee {
  std::string towho;
  std::string name;
  std::string node;
};
Addressee ParseAddressee(const std::string& towho, const std::string& ownNode, bool nodeLink);

void SayChatLine(CommandContext& context, const std::string& text);
