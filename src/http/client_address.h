// The address of the user behind a request. A reverse proxy connects on
// its users' behalf and names each one in a header: from a peer in
// [network] trusted_proxies the client is the last hop of X-Forwarded-For
// (the address the proxy itself saw), or X-Real-IP when there is no
// X-Forwarded-For. From anyone else those headers are the client's own
// words and mean nothing. A value that is not an address falls back to the
// peer's address.
#pragma once

#include <string>

#include "foundation/ip_address.h"
#include "http/request_parser.h"

std::string ClientAddress(const std::string& peerAddress, const ParsedRequest& request,
                          const CAddressList& trustedProxies);
