// The connection's reading rules, driven through a socket pair.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "foundation/sockets.h"
#include "http/client_connection.h"
#include "support/http_client.h"

namespace {

class Reader : public ::testing::Test {
 protected:
  void SetUp() override {
    int fds[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, fds), 0);
    m_peer = fds[1];
    m_connection = std::make_unique<CClientConnection>(std::make_shared<platform::CSocketObject>(fds[0]));
  }
  void TearDown() override { ::close(m_peer); }

  // Sends the bytes and lets the connection read them once.
  int Feed(const std::string& bytes) {
    SendAll(m_peer, bytes);
    return m_connection->ReadHeaders();
  }

  int m_peer = -1;
  std::unique_ptr<CClientConnection> m_connection;
};

TEST_F(Reader, GetSplitsPathAndQuery) {
  EXPECT_EQ(Feed("GET /find?fun=a&rn=b HTTP/1.0\r\nHost: x\r\n\r\n"), kRequestComplete);
  EXPECT_EQ(*m_connection->RequestPath(), "/find");
  EXPECT_EQ(*m_connection->RequestQuery(), "fun=a&rn=b");
  EXPECT_EQ(m_connection->Method(), kGet);
}

TEST_F(Reader, GetWithoutHeaderLinesNeverCompletes) {
  EXPECT_EQ(Feed("GET / HTTP/1.0\r\n\r\n"), kReading);
  EXPECT_EQ(Feed(""), kFinished) << "nothing more arrives: the receive finds no data";
}

TEST_F(Reader, LineFeedOnlyGetCompletesWithAHeaderLine) {
  EXPECT_EQ(Feed("GET /a HTTP/1.0\nHost: x\n\n"), kRequestComplete);
}

TEST_F(Reader, GetArrivingInPieces) {
  EXPECT_EQ(Feed("GET /a?"), kReading);
  EXPECT_EQ(Feed("q=1 HTTP/1.0\r\nHost:"), kReading);
  EXPECT_EQ(Feed(" x\r\n\r\n"), kRequestComplete);
  EXPECT_EQ(*m_connection->RequestQuery(), "q=1");
}

TEST_F(Reader, GetPathTokenRules) {
  EXPECT_EQ(Feed("GET ?only HTTP/1.0\r\nH: x\r\n\r\n"), kRequestComplete);
  EXPECT_EQ(*m_connection->RequestPath(), "only");
  EXPECT_FALSE(m_connection->RequestQuery().has_value());
}

TEST_F(Reader, PathOfSeparatorsOnlyIsRefused) { EXPECT_EQ(Feed("GET ?? HTTP/1.0\r\n"), kFinished); }

TEST_F(Reader, OtherMethodsAreRefused) {
  EXPECT_EQ(Feed("HEAD / HTTP/1.0\r\n"), kFinished);
}

TEST_F(Reader, LowerCaseGetIsRefused) { EXPECT_EQ(Feed("get / HTTP/1.0\r\n"), kFinished); }

TEST_F(Reader, RequestLineWithoutPathIsRefused) { EXPECT_EQ(Feed("GET\r\n"), kFinished); }

TEST_F(Reader, PostBodyInPiecesBothHeaderSpellings) {
  EXPECT_EQ(Feed("POST /Blank?x=1 HTTP/1.0\r\nContent-length: 11\r\n\r\nhello"), kReading);
  EXPECT_EQ(Feed(" wor"), kReading);
  EXPECT_EQ(Feed("ld"), kRequestComplete);
  EXPECT_EQ(*m_connection->RequestPath(), "/Blank?x=1") << "a POST keeps its query in the path";
  EXPECT_EQ(*m_connection->RequestQuery(), "hello world");
}

TEST_F(Reader, PostContentLengthCapitalised) {
  EXPECT_EQ(Feed("POST /x HTTP/1.0\r\nHost: a\r\nContent-Length: 3\r\n\r\nabcEXTRA"), kRequestComplete);
  EXPECT_EQ(*m_connection->RequestQuery(), "abc");
}

TEST_F(Reader, PostWithoutUsableLengthNeverCompletes) {
  for (const char* header : {"content-length: 3", "Content-Length: 0", "Content-Length: -5", ""}) {
    SetUp();
    EXPECT_EQ(Feed(std::string("POST /x HTTP/1.0\r\n") + header + "\r\n\r\nabc"), kReading) << header;
  }
}

TEST_F(Reader, HugeContentLengthClosesTheConnection) {
  EXPECT_EQ(Feed("POST /x HTTP/1.0\r\nContent-Length: 999999999999\r\n\r\n"), kFinished);
}

TEST_F(Reader, MoreThanThePerRequestWindowCloses) {
  SendAll(m_peer, "GET /" + std::string(kReceiveWindow + 200, 'a'));
  int state = kReading;
  while (state == kReading) state = m_connection->ReadHeaders();
  EXPECT_EQ(state, kFinished);
}

TEST_F(Reader, BrowserSizedRequestFits) {
  // What a current browser sends with a chat line: about 1200 bytes at once.
  const std::string body = "session=abc&message=" + std::string(300, 'm');
  std::string request = "POST /mainform HTTP/1.1\r\nContent-Length: " + std::to_string(body.size()) + "\r\n";
  request += "User-Agent: " + std::string(700, 'u') + "\r\n\r\n" + body;
  EXPECT_EQ(Feed(request), kRequestComplete);
  EXPECT_EQ(*m_connection->RequestQuery(), body);
}

TEST_F(Reader, ClosedPeerFinishes) {
  ::shutdown(m_peer, SHUT_WR);
  EXPECT_EQ(m_connection->ReadHeaders(), kFinished);
}

TEST_F(Reader, ArbitraryBytesNeverCrash) {
  std::string junk;
  for (int i = 0; i < 256; ++i) junk += static_cast<char>(i);
  for (int round = 0; round < 4; ++round) {
    SetUp();
    const std::string request = round % 2 ? "POST " + junk.substr(round) + "\r\n" : junk.substr(round * 10) + "\n\n";
    const int state = Feed(request);
    EXPECT_TRUE(state == kReading || state == kFinished || state == kRequestComplete);
  }
}

}  // namespace
