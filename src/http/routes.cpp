#include "http/routes.h"

#include <array>
#include <string_view>

namespace {
constexpr std::array<std::string_view, kRouteStaticFile> kRoutePaths = {
    "/logon",  "/logout",         "/mainform",       "/noframes",    "/messages", "/frameset",
    "/hyutyuy", "/changepassword", "/Modify_Second", "/changepass2", "/online",   "/register",
    "/roomlist", "/space",         "/goto",          "/Blank",       "/newroom",  "/find",
};
}  // namespace

int GetRouteCode(const std::optional<std::string>& path) {
  if (!path || path->empty()) return kRouteStaticFile;
  if (path->starts_with(kApiPathPrefix) || *path == kEventsPath) return kRouteApi;
  for (size_t code = 0; code < kRoutePaths.size(); ++code) {
    if (kRoutePaths[code] == *path) return static_cast<int>(code);
  }
  return kRouteStaticFile;
}
