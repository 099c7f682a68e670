// The names users may give rooms.
#pragma once

#include <string>

inline constexpr size_t kRoomNameLimit = 30;  // bytes

// Not empty and none of the bytes that break the room list's links or the
// node records: blank, tab, ':', '<', '>', ';', '#', '%', '&', quotes,
// backslash, 0x05, 0x06.
inline bool IsValidRoomName(const std::string& name) {
  return !name.empty() && name.find_first_of(" \t:<>;#%&'\"\\\x05\x06") == std::string::npos;
}
