// The names users may give rooms.
#pragma once

#include <algorithm>
#include <string>

inline constexpr size_t kRoomNameLimit = 30;  // bytes

// Not empty and none of the bytes that break the room list's links or the
// node records: blank, ':', '<', '>', ';', '#', '%', '&', quotes, backslash,
// and no control byte (below 0x20, or DEL): a line end in a name splits
// the lines it is written into.
inline bool IsValidRoomName(const std::string& name) {
  const auto control = [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == '\x7F'; };
  return !name.empty() && name.find_first_of(" :<>;#%&'\"\\") == std::string::npos &&
         std::none_of(name.begin(), name.end(), control);
}
