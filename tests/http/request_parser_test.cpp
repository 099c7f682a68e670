// The request reader's rules, fed bytes directly (and split at every byte,
// which must change nothing).
#include "http/request_parser.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using State = CRequestParser::State;

// The parser after the bytes arrived in one piece; the same bytes arriving
// one at a time must end in the same state and request.
CRequestParser Parse(const std::string& bytes) {
  CRequestParser whole;
  whole.Feed(bytes);
  CRequestParser pieces;
  for (char byte : bytes) pieces.Feed(std::string_view(&byte, 1));
  EXPECT_EQ(whole.GetState(), pieces.GetState()) << bytes.substr(0, 40);
  EXPECT_EQ(whole.Request().path, pieces.Request().path);
  EXPECT_EQ(whole.Request().queryOrBody, pieces.Request().queryOrBody);
  EXPECT_EQ(whole.Request().forwardedFor, pieces.Request().forwardedFor);
  EXPECT_EQ(whole.Request().realIp, pieces.Request().realIp);
  EXPECT_EQ(whole.Request().WantsKeepAlive(), pieces.Request().WantsKeepAlive());
  return whole;
}

TEST(RequestParser, GetSplitsPathAndQuery) {
  const CRequestParser parser = Parse("GET /find?fun=a&rn=b HTTP/1.0\r\nHost: x\r\n\r\n");
  ASSERT_TRUE(parser.Complete());
  EXPECT_EQ(*parser.Request().path, "/find");
  EXPECT_EQ(*parser.Request().queryOrBody, "fun=a&rn=b");
  EXPECT_EQ(parser.Request().method, kGet);
}

TEST(RequestParser, GetCompletesAtTheBlankLineWithOrWithoutHeaders) {
  for (const char* request : {"GET / HTTP/1.0\r\n\r\n", "GET /a HTTP/1.0\nHost: x\n\n", "GET /a\n\n"}) {
    EXPECT_TRUE(Parse(request).Complete()) << request;
  }
  EXPECT_EQ(Parse("GET /a HTTP/1.0\r\nHost: x\r\n").GetState(), State::kHeaders);
}

// A reverse proxy names its client in these headers; whether they are
// believed is decided later (they are kept from every peer).
TEST(RequestParser, KeepsTheHeadersThatNameTheClient) {
  const CRequestParser get = Parse(
      "GET /logon HTTP/1.0\r\nx-forwarded-for:  203.0.113.7 \r\nHost: x\r\nX-REAL-IP:\t198.51.100.2\r\n\r\n");
  ASSERT_TRUE(get.Complete());
  EXPECT_EQ(get.Request().forwardedFor, "203.0.113.7");
  EXPECT_EQ(get.Request().realIp, "198.51.100.2");
  const CRequestParser post = Parse(
      "POST /logon HTTP/1.0\r\nX-Forwarded-For: 10.0.0.1\r\nContent-Length: 3\r\n"
      "X-Forwarded-For: 10.0.0.2, 10.0.0.3\r\n\r\na=b");
  ASSERT_TRUE(post.Complete());
  EXPECT_EQ(post.Request().forwardedFor, "10.0.0.2, 10.0.0.3") << "the last line holds the nearest hop";
  EXPECT_EQ(post.Request().realIp, std::nullopt);
  EXPECT_EQ(*post.Request().queryOrBody, "a=b");
  const CRequestParser none = Parse("GET / HTTP/1.0\r\nX-Forwarded-Fo: 1.2.3.4\r\nX-Real-IP-X: 1.2.3.4\r\n\r\n");
  EXPECT_EQ(none.Request().forwardedFor, std::nullopt);
  EXPECT_EQ(none.Request().realIp, std::nullopt);
}

TEST(RequestParser, GetPathTokenRules) {
  const CRequestParser parser = Parse("GET ?only HTTP/1.0\r\nH: x\r\n\r\n");
  EXPECT_EQ(*parser.Request().path, "only");
  EXPECT_FALSE(parser.Request().queryOrBody.has_value());
}

TEST(RequestParser, MalformedRequestsAreRefused) {
  const std::string cases[] = {
      "GET ?? HTTP/1.0\r\n",            // a path of separators only
      "HEAD / HTTP/1.0\r\n",            // another method
      "get / HTTP/1.0\r\n",             // methods are case-sensitive
      "GET\r\n",                        // no path
      std::string("GET /a\0b HTTP/1.0\r\n", 19),
      "GET /" + std::string(3000, 'a') + " HTTP/1.0\r\n",
      "GET / HTTP/1.0\r\n" + std::string(20, 'h' ) + ": " + std::string(2100, 'v') + "\r\n",
      "GET / HTTP/1.0\r\n" + [] {
        std::string headers;
        for (int i = 0; i < 10; ++i) headers += "X-Big: " + std::string(1000, 'v') + "\r\n";
        return headers;
      }(),
      "POST /x HTTP/1.0\r\nContent-Length: 999999999999\r\n\r\n",
      "POST /x HTTP/1.0\r\nContent-Length: -5\r\n\r\n",
      "POST /x HTTP/1.0\r\nContent-Length: abc\r\n\r\n",
      "POST /x HTTP/1.0\r\nHost: x\r\n\r\n",  // a POST must say how long its body is
      // Content-Length is digits alone, one value however often it is said.
      "POST /x HTTP/1.0\r\nContent-Length: 12abc\r\n\r\n",
      "POST /x HTTP/1.0\r\nContent-Length: +5\r\n\r\n",
      "POST /x HTTP/1.0\r\nContent-Length: 5 5\r\n\r\n",
      "POST /x HTTP/1.0\r\nContent-Length:\r\n\r\n",
      "POST /x HTTP/1.0\r\nContent-Length: 0x5\r\n\r\n",
      "POST /x HTTP/1.0\r\nContent-Length: 5\r\nContent-Length: 6\r\n\r\n",
      "GET /x HTTP/1.0\r\nContent-Length: 1z\r\n\r\n",
  };
  for (const std::string& request : cases) EXPECT_TRUE(Parse(request).Refused()) << request.substr(0, 40);
}

TEST(RequestParser, PostBodyOfContentLengthBytes) {
  const CRequestParser parser = Parse("POST /Blank?x=1 HTTP/1.0\r\ncontent-LENGTH: 11\r\n\r\nhello worldEXTRA");
  ASSERT_TRUE(parser.Complete());
  EXPECT_EQ(*parser.Request().path, "/Blank?x=1") << "a POST keeps its query in the path";
  EXPECT_EQ(*parser.Request().queryOrBody, "hello world");
  const CRequestParser empty = Parse("POST /x HTTP/1.0\r\nContent-Length: 0\r\n\r\n");
  ASSERT_TRUE(empty.Complete());
  EXPECT_EQ(*empty.Request().queryOrBody, "");
  EXPECT_EQ(Parse("POST /x HTTP/1.0\r\nContent-Length: 5\r\n\r\nabc").GetState(), State::kBody);
}

TEST(RequestParser, ContentLengthSaidTwiceWithOneValueIsRead) {
  for (const char* request : {"POST /x HTTP/1.0\r\nContent-Length: 3\r\ncontent-length:3\r\n\r\nabc",
                              "POST /x HTTP/1.0\r\nContent-Length:\t003 \r\n\r\nabc"}) {
    const CRequestParser parser = Parse(request);
    ASSERT_TRUE(parser.Complete()) << request;
    EXPECT_EQ(*parser.Request().queryOrBody, "abc");
  }
}

TEST(RequestParser, BrowserSizedRequestFits) {
  // What a current browser sends with a chat line: about 1200 bytes at once.
  const std::string body = "session=abc&message=" + std::string(300, 'm');
  std::string request = "POST /mainform HTTP/1.1\r\nContent-Length: " + std::to_string(body.size()) + "\r\n";
  request += "User-Agent: " + std::string(700, 'u') + "\r\n\r\n" + body;
  const CRequestParser parser = Parse(request);
  ASSERT_TRUE(parser.Complete());
  EXPECT_EQ(*parser.Request().queryOrBody, body);
}

TEST(RequestParser, ArbitraryBytesNeverCrash) {
  std::string junk;
  for (int i = 0; i < 256; ++i) junk += static_cast<char>(i);
  for (int round = 0; round < 8; ++round) {
    const std::string request = round % 2 ? "POST " + junk.substr(round) + "\r\n" : junk.substr(round * 10) + "\n\n";
    Parse(request);
  }
}

// Whether the client keeps the connection for another request: HTTP/1.1
// unless it says close, HTTP/1.0 only when it says keep-alive; the tokens
// in any letter case, among others, over several header lines.
TEST(RequestParser, KeepAliveFollowsTheVersionAndTheConnectionHeader) {
  struct Case {
    const char* request;
    bool keepAlive;
  };
  const Case cases[] = {
      {"GET /api/rooms HTTP/1.1\r\n\r\n", true},
      {"GET /api/rooms HTTP/1.1\r\nConnection: close\r\n\r\n", false},
      {"GET /api/rooms HTTP/1.1\r\nconnection:Upgrade, CLOSE\r\n\r\n", false},
      {"GET /api/rooms HTTP/1.1\r\nConnection: keep-alive\r\nConnection: close\r\n\r\n", false},
      {"GET /api/rooms HTTP/1.1\r\nConnection: closed\r\n\r\n", true},
      {"GET /api/rooms HTTP/1.0\r\n\r\n", false},
      {"GET /api/rooms HTTP/1.0\r\nConnection: Keep-Alive\r\n\r\n", true},
      {"GET /api/rooms\r\nConnection: keep-alive\r\n\r\n", true},
      {"GET /api/rooms HTTP/1.2\r\n\r\n", false},
      {"POST /api/say HTTP/1.1\r\nContent-Length: 2\r\n\r\n{}", true},
  };
  for (const Case& c : cases) {
    const CRequestParser parser = Parse(c.request);
    ASSERT_TRUE(parser.Complete()) << c.request;
    EXPECT_EQ(parser.Request().WantsKeepAlive(), c.keepAlive) << c.request;
  }
}

// A body in chunks is refused, with or without Content-Length beside it:
// read by its length, its chunks could hold a request for a kept connection.
TEST(RequestParser, TransferEncodingIsRefused) {
  for (const char* request : {"POST /api/say HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n2\r\n{}\r\n0\r\n\r\n",
                              "POST /api/say HTTP/1.1\r\nContent-Length: 5\r\ntransfer-encoding: chunked\r\n\r\n0\r\n\r\n",
                              "GET /api/rooms HTTP/1.1\r\nTransfer-Encoding: identity\r\n\r\n"}) {
    EXPECT_TRUE(Parse(request).Refused()) << request;
  }
}

// A request leaves the bytes after it alone: the next one, sent with it,
// is read by the next parser.
TEST(RequestParser, BytesAfterARequestAreLeftForTheNext) {
  const std::string first = "POST /api/say HTTP/1.1\r\nContent-Length: 2\r\n\r\n{}";
  const std::string second = "GET /api/rooms HTTP/1.1\r\n\r\n";
  CRequestParser parser;
  EXPECT_EQ(parser.Feed(first + second), first.size());
  EXPECT_EQ(*parser.Request().queryOrBody, "{}");
  CRequestParser next;
  EXPECT_EQ(next.Feed(second), second.size());
  EXPECT_EQ(*next.Request().path, "/api/rooms");
}

}  // namespace
