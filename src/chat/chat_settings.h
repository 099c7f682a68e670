// The settings the chat core works with, read once when it is made.
#pragma once

#include <string>

#include "chat/line_rate.h"

inline constexpr int kDefaultSessionTimeout = 600;  // seconds
inline constexpr int kDefaultMaxRooms = 1000;       // rooms users may create, all together
inline constexpr int kDefaultMaxRoomsPerAccount = 5;

struct CChatSettings {
  std::string nodeId;            // [general] nodeid
  bool nodeLinkOn = false;       // [general] ifconnect
  int sessionTimeout = kDefaultSessionTimeout;   // [network] session_timeout
  int maxRooms = kDefaultMaxRooms;               // [general] max_rooms
  int maxRoomsPerAccount = kDefaultMaxRoomsPerAccount;  // [general] max_rooms_per_user
  LineRate lineRate;                             // [general] line_burst, lines_per_minute; off when absent
};

// From the loaded settings, with the defaults for what is missing or 0.
CChatSettings ReadChatSettings();
