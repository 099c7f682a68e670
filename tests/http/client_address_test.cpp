// Whose address a request carries: the peer's, or behind a trusted reverse
// proxy the client the proxy names. Raw requests go through the parser, as
// they arrive.
#include "http/client_address.h"

#include <gtest/gtest.h>

#include <string>

#include "http/request_parser.h"

namespace {

std::string AddressOf(const std::string& peer, const std::string& headers, const char* trusted = "127.0.0.1, 10.0.0.0/8") {
  CRequestParser parser;
  parser.Feed("GET /logon HTTP/1.0\r\nHost: chat\r\n" + headers + "\r\n");
  EXPECT_TRUE(parser.Complete()) << headers;
  return ClientAddress(peer, parser.Request(), *CAddressList::Parse(trusted));
}

TEST(ClientAddress, TheLastHopFromATrustedProxyOnly) {
  const struct {
    const char* peer;
    const char* headers;
    const char* client;
  } cases[] = {
      // From a trusted proxy: the hop it saw, which is the last one.
      {"127.0.0.1", "X-Forwarded-For: 203.0.113.7\r\n", "203.0.113.7"},
      {"127.0.0.1", "X-Forwarded-For: 1.1.1.1, 198.51.100.2\r\n", "198.51.100.2"},
      {"10.9.8.7", "X-Forwarded-For: 6.6.6.6 ,  2001:DB8::5 \r\n", "2001:db8::5"},
      {"127.0.0.1", "X-Real-IP: 203.0.113.9\r\n", "203.0.113.9"},
      {"127.0.0.1", "X-Real-IP: 203.0.113.9\r\nX-Forwarded-For: 198.51.100.2\r\n", "198.51.100.2"},
      {"127.0.0.1", "X-Forwarded-For: ::ffff:203.0.113.7\r\n", "203.0.113.7"},
      // What does not parse as an address leaves the peer's.
      {"127.0.0.1", "X-Forwarded-For: 203.0.113.7, unknown\r\n", "127.0.0.1"},
      {"127.0.0.1", "X-Forwarded-For: 203.0.113.7,\r\n", "127.0.0.1"},
      {"127.0.0.1", "X-Forwarded-For: \r\n", "127.0.0.1"},
      {"127.0.0.1", "X-Forwarded-For: 203.0.113.7:5555\r\n", "127.0.0.1"},
      {"127.0.0.1", "X-Forwarded-For: <b>1.2.3.4</b>\r\n", "127.0.0.1"},
      {"127.0.0.1", "X-Forwarded-For: junk\r\nX-Real-IP: 203.0.113.9\r\n", "127.0.0.1"},
      {"127.0.0.1", "", "127.0.0.1"},
      // From anyone else the headers are the client's own words.
      {"203.0.113.50", "X-Forwarded-For: 198.51.100.2\r\n", "203.0.113.50"},
      {"127.0.0.2", "X-Real-IP: 198.51.100.2\r\n", "127.0.0.2"},
  };
  for (const auto& c : cases) EXPECT_EQ(AddressOf(c.peer, c.headers), c.client) << c.peer << " " << c.headers;
  EXPECT_EQ(AddressOf("127.0.0.1", "X-Forwarded-For: 198.51.100.2\r\n", ""), "127.0.0.1")
      << "without trusted proxies nobody is believed";
}

}  // namespace
