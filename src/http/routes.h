// The path table: the eighteen paths the server knows, by route code, and
// the JSON API below "/api/".
#pragma once

#include <optional>
#include <string>

enum RouteCode : int {
  kRouteLogon = 0,
  kRouteLogout = 1,
  kRouteMainForm = 2,
  kRouteNoFrames = 3,
  kRouteMessages = 4,
  kRouteFrameSet = 5,
  kRouteNewAccount = 6,
  kRouteChangePassword = 7,
  kRouteModifySecond = 8,
  kRouteChangePass2 = 9,
  kRouteOnline = 10,
  kRouteRegister = 11,
  kRouteRoomList = 12,
  kRouteSpace = 13,
  kRouteGoto = 14,
  kRouteBlank = 15,
  kRouteNewRoom = 16,
  kRouteFind = 17,
  kRouteStaticFile = 18,
  kRouteApi = 19,
};

inline constexpr const char* kApiPathPrefix = "/api/";
// The event stream, which the JSON API serves too.
inline constexpr const char* kEventsPath = "/events";

// Exact, case-sensitive comparison with the table; 19 for every path that
// starts with "/api/"; 18 for anything else.
int GetRouteCode(const std::optional<std::string>& path);
