#include "http/client_address.h"

#include <optional>

namespace {

// The last comma-separated hop, blanks around it dropped.
std::string_view LastHop(std::string_view forwardedFor) {
  const size_t comma = forwardedFor.rfind(',');
  std::string_view hop = comma == std::string_view::npos ? forwardedFor : forwardedFor.substr(comma + 1);
  const size_t start = hop.find_first_not_of(" \t");
  if (start == std::string_view::npos) return {};
  hop = hop.substr(start);
  return hop.substr(0, hop.find_last_not_of(" \t") + 1);
}

}  // namespace

std::string ClientAddress(const std::string& peerAddress, const ParsedRequest& request,
                          const CAddressList& trustedProxies) {
  if (!trustedProxies.Contains(peerAddress)) return peerAddress;
  std::optional<std::string> named;
  if (request.forwardedFor) {
    named = CanonicalIpAddress(LastHop(*request.forwardedFor));
  } else if (request.realIp) {
    named = CanonicalIpAddress(*request.realIp);
  }
  return named ? *named : peerAddress;
}
