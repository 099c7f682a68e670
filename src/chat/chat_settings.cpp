#include "chat/chat_settings.h"

#include <algorithm>

#include "foundation/settings.h"

namespace {
int PositiveOr(int value, int fallback) { return value > 0 ? value : fallback; }
}  // namespace

CChatSettings ReadChatSettings() {
  CChatSettings settings;
  settings.nodeId = GetSetting("general", "nodeid");
  settings.nodeLinkOn = GetSettingInt("general", "ifconnect") != 0;
  settings.sessionTimeout = PositiveOr(GetSettingInt("network", "session_timeout"), kDefaultSessionTimeout);
  settings.maxRooms = PositiveOr(GetSettingInt("general", "max_rooms"), kDefaultMaxRooms);
  settings.maxRoomsPerAccount = PositiveOr(GetSettingInt("general", "max_rooms_per_user"), kDefaultMaxRoomsPerAccount);
  settings.lineRate.burst = std::max(0, GetSettingInt("general", "line_burst"));
  settings.lineRate.perMinute = std::max(0, GetSettingInt("general", "lines_per_minute"));
  settings.historyLines = std::clamp(GetSettingInt("general", "history_lines"), 0, kMaxHistoryLines);
  settings.frameHistory = std::clamp(GetSettingInt("general", "frame_history"), 0, settings.historyLines);
  return settings;
}
