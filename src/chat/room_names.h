// The names users may give rooms.
#pragma once

#include <algorithm>
#include <string>

#include "foundation/text.h"

inline constexpr size_t kRoomNameLimit = 30;  // bytes

// Not empty, whole GBK characters, and none of the single-byte characters
// that break the room list's links or the node records: blank, ':', '<',
// '>', ';', '#', '%', '&', quotes, backslash (a trail byte of the same value
// is part of a Chinese character and harmless), and no control byte (below
// 0x20, or DEL; never a trail byte): a line end in a name splits the lines
// it is written into.
inline bool IsValidRoomName(const std::string& name) {
  const auto control = [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == '\x7F'; };
  return !name.empty() && HasOnlyWholeCharacters(name) && !HasSingleByteOf(name, " :<>;#%&'\"\\") &&
         std::none_of(name.begin(), name.end(), control);
}
