// The names users may give rooms.
#pragma once

#include <string>

#include "foundation/text.h"

inline constexpr size_t kRoomNameLimit = 30;  // bytes

// Not empty, whole GBK characters, and none of the single-byte characters
// that break the room list's links or the node records: blank, tab, ':',
// '<', '>', ';', '#', '%', '&', quotes, backslash, 0x05, 0x06 (a trail byte
// of the same value is part of a Chinese character and harmless).
inline bool IsValidRoomName(const std::string& name) {
  return !name.empty() && HasOnlyWholeCharacters(name) && !HasSingleByteOf(name, " \t:<>;#%&'\"\\\x05\x06");
}
