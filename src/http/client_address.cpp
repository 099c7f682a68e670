#include "http/client_address.h"

#include <optional>

#include "foundation/text.h"

namespace {

// The last comma-separated hop, blanks around it dropped.
std::string_view LastHop(std::string_view forwardedFor) {
  const size_t comma = forwardedFor.rfind(',');
  return TrimBlanks(comma == std::string_view::npos ? forwardedFor : forwardedFor.substr(comma + 1));
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
