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
  int historyLines = 0;  // [general] history_lines: lines each room keeps (0: none)
  int frameHistory = 0;  // [general] frame_history: of those, what a message frame shows when it opens
};

// A room keeps at most this many lines, whatever the settings say.
inline constexpr int kMaxHistoryLines = 1000;

// From the loaded settings, with the defaults for what is missing or 0.
CChatSettings ReadChatSettings();
