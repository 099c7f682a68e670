// Connections that hold the server without using it: a client that never
// sends its request, one address holding connections by the hundred, and
// enough idle sockets to reach the process's descriptor limit. The real
// binary, over real sockets; the limits are shortened in each test's ini.
#include <gtest/gtest.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "http/turned_away.h"
#include "support/api_client.h"
#include "support/chat_client.h"
#include "support/http_client.h"
#include "support/server_process.h"
#include "support/site_files.h"

namespace {
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

const std::string kLobby = "大厅";
const std::string kGetRoot = "GET / HTTP/1.0\r\nHost: t\r\n\r\n";
const std::string kServed = "HTTP/1.0 200 OK";
const std::string kTurnedAway = "HTTP/1.0 503 ";

// Sockets a test holds open; closed when it ends.
class HeldSockets {
 public:
  ~HeldSockets() {
    for (int fd : m_fds) ::close(fd);
  }
  // A new connection from the source address that has sent the bytes; -1
  // when it could not connect.
  int Open(int port, const std::string& sent = "", const std::string& source = "127.0.0.1") {
    const int fd = ConnectFrom(source, port);
    if (fd < 0) return -1;
    if (!sent.empty()) SendAll(fd, sent);
    m_fds.push_back(fd);
    return fd;
  }
  void Close(int fd) {
    std::erase(m_fds, fd);
    ::close(fd);
  }

 private:
  std::vector<int> m_fds;
};

// One request on a fresh connection from the source address; the whole answer.
std::string ExchangeFrom(const std::string& source, int port, const std::string& request,
                         std::chrono::milliseconds timeout = 5s) {
  const int fd = ConnectFrom(source, port);
  if (fd < 0) return "<connect failed>";
  SendAll(fd, request);
  std::string answer = ReadUntilClose(fd, timeout);
  ::close(fd);
  return answer;
}

// Asks again until the answer starts with the text (the server learns of a
// closed connection a moment after the client closes it).
bool AnsweredSoon(int port, const std::string& request, const std::string& start) {
  const auto end = Clock::now() + 5s;
  while (Clock::now() < end) {
    if (Exchange(port, request, 5s).starts_with(start)) return true;
    std::this_thread::sleep_for(50ms);
  }
  return false;
}

size_t Occurrences(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

std::string PostHead(int contentLength, const std::string& headers = "") {
  return "POST /logon HTTP/1.0\r\nHost: t\r\n" + headers + "Content-Length: " + std::to_string(contentLength) +
         "\r\n\r\n";
}

// A connection that has not sent its whole request head (line and headers)
// within [network] request_timeout is closed; one whose body is still on
// its way is past its head and keeps the longer connection_timeout.
TEST(RequestTimeout, OnlyAWholeRequestHeadKeepsAConnectionOpen) {
  ServerProcess server("[network]\nrequest_timeout = 2\n");
  ASSERT_TRUE(server.Start());
  const auto opened = Clock::now();
  HeldSockets held;
  const struct {
    std::string sent;
    bool closed;
  } cases[] = {
      {"", true},
      {"GET / HTTP/1.0\r\n", true},
      {"GET / HTTP/1.0\r\nHost: t\r\nUser-Agent: slo", true},
      {PostHead(40) + "username=nobody", false},
  };
  std::vector<int> fds;
  for (const auto& each : cases) fds.push_back(held.Open(server.HttpPort(), each.sent));
  for (size_t i = 0; i < std::size(cases); ++i) {
    if (cases[i].closed) {
      EXPECT_TRUE(WaitForClose(fds[i], 6s)) << "sent: " << cases[i].sent;
    }
  }
  std::this_thread::sleep_until(opened + 4s);
  const int post = fds.back();
  EXPECT_FALSE(WaitForClose(post, 100ms)) << "a body on its way";
  SendAll(post, std::string(40 - 15, 'x'));
  EXPECT_TRUE(ReadUntilClose(post, 5s).starts_with(kServed)) << "the request is answered";
}

// A chat user whose message stream is open: a connection the server keeps,
// and a test can see it has (its head has come).
std::unique_ptr<ChatUser> Streaming(ServerProcess& server, const std::string& name, const std::string& headers = "") {
  // A connection the client closed (a stream opened again after a slow
  // answer) counts until the server has seen it close, which on a busy
  // machine may come a moment later: each step is tried again while the
  // address is turned away.
  const auto end = Clock::now() + 3s;
  auto user = std::make_unique<ChatUser>(server, name, headers);
  while (!user->LoggedOn() && Clock::now() < end) {
    std::this_thread::sleep_for(50ms);
    user = std::make_unique<ChatUser>(server, name, headers);
  }
  EXPECT_TRUE(user->LoggedOn()) << name;
  while (user->Join(kLobby).starts_with(kTurnedAway) && Clock::now() < end) std::this_thread::sleep_for(50ms);
  std::string head = user->OpenStream(kLobby);
  // (A connection turned away at accept may also lose its answer to a reset:
  // the request it sent was never read.)
  for (const auto end = Clock::now() + 3s; !head.starts_with(kStreamHead) && Clock::now() < end;) {
    std::this_thread::sleep_for(50ms);
    head = user->OpenStream(kLobby);
  }
  EXPECT_TRUE(head.starts_with(kStreamHead)) << name << ": " << head.substr(0, 200);
  return user;
}

// With [network] max_connections_per_address, connections past the cap
// from one address are answered "too many" at accept; message streams count
// while they are open, and other addresses are served.
TEST(ConnectionsPerAddress, PastTheCapAnAddressIsTurnedAwayAtOnce) {
  ServerProcess server("[network]\nmax_connections_per_address = 3\n");
  ASSERT_TRUE(server.Start());
  std::unique_ptr<ChatUser> first = Streaming(server, "first");
  std::unique_ptr<ChatUser> second = Streaming(server, "second");
  std::unique_ptr<ChatUser> third = Streaming(server, "third");

  for (int refused = 0; refused < 3; ++refused) {
    const auto started = Clock::now();
    const std::string answer = Exchange(server.HttpPort(), kGetRoot, 5s);
    EXPECT_TRUE(answer.starts_with(kTurnedAway)) << answer.substr(0, 200);
    EXPECT_NE(answer.find(kTooManyFromAddressText), std::string::npos);
    EXPECT_LT(Clock::now() - started, 1s);
  }
  EXPECT_TRUE(ExchangeFrom("127.0.0.2", server.HttpPort(), kGetRoot).starts_with(kServed)) << "another address";
  EXPECT_EQ(Occurrences(server.Console(), "max_connections_per_address = 3"), 1u) << "said once a burst";

  third.reset();
  EXPECT_TRUE(AnsweredSoon(server.HttpPort(), kGetRoot, kServed)) << "a closed connection gives its place back";
  // The page just fetched may still count for a moment (see Streaming).
  for (const auto end = Clock::now() + 3s; first->Say("still here").starts_with(kTurnedAway) && Clock::now() < end;) {
    std::this_thread::sleep_for(50ms);
  }
  EXPECT_NE(second->WaitFor("still here").find("still here"), std::string::npos) << "the streams stayed open";
}

// Behind a trusted proxy the cap counts the client the proxy names, once
// the request head names it: the proxy's own connections count for nobody
// before that.
TEST(ConnectionsPerAddress, BehindATrustedProxyTheNamedClientCounts) {
  ServerProcess server("[network]\ntrusted_proxies = 127.0.0.1\nmax_connections_per_address = 2\n");
  ASSERT_TRUE(server.Start());
  const std::string client = "X-Forwarded-For: 203.0.113.7\r\n";
  HeldSockets held;
  for (int i = 0; i < 5; ++i) ASSERT_GE(held.Open(server.HttpPort()), 0);
  std::unique_ptr<ChatUser> first = Streaming(server, "first", client);
  std::unique_ptr<ChatUser> second = Streaming(server, "second", client);

  const std::string third = Exchange(server.HttpPort(), "GET / HTTP/1.0\r\n" + client + "\r\n");
  EXPECT_TRUE(third.starts_with(kTurnedAway)) << third.substr(0, 200);
  EXPECT_NE(third.find(kTooManyFromAddressText), std::string::npos);
  EXPECT_TRUE(Exchange(server.HttpPort(), "GET / HTTP/1.0\r\nX-Forwarded-For: 203.0.113.8\r\n\r\n").starts_with(kServed))
      << "another client of the proxy";

  second.reset();
  EXPECT_TRUE(AnsweredSoon(server.HttpPort(), "GET / HTTP/1.0\r\n" + client + "\r\n", kServed));
}

// A server whose descriptor limit is small, and request_timeout long
// enough that idle connections stay for the whole test.
constexpr int kDescriptorLimit = 256;
const std::string kLongRequestTimeout = "[network]\nrequest_timeout = 60\n";
const std::string kCeilingSaid = "At the ceiling of ";

// Idle connections up to the descriptor limit: the oldest of them make room
// for newcomers, so a page and a logon are still answered, and the console
// says so once.
TEST(DescriptorCeiling, IdleConnectionsMakeRoomForRealUsers) {
  ServerProcess server(kLongRequestTimeout);
  server.LimitDescriptors(kDescriptorLimit);
  ASSERT_TRUE(server.Start());
  HeldSockets held;
  const int oldest = held.Open(server.HttpPort());
  for (int i = 0; i < 2 * kDescriptorLimit; ++i) ASSERT_GE(held.Open(server.HttpPort()), 0);

  const std::string page = Exchange(server.HttpPort(), kGetRoot, 5s);
  EXPECT_TRUE(page.starts_with(kServed)) << "[" << page.substr(0, 200) << "]";
  ChatUser user(server, "arriving");
  EXPECT_TRUE(user.LoggedOn());
  EXPECT_TRUE(WaitForClose(oldest, 2s)) << "the oldest idle connection made room";
  EXPECT_EQ(Occurrences(server.Console(), kCeilingSaid), 1u) << "said once a burst";
}

// When every connection has sent its request there is nobody to shed: a
// newcomer is answered at once that the server is full, and served again
// once connections close.
TEST(DescriptorCeiling, WithNobodyToShedNewcomersAreTurnedAwayAtOnce) {
  ServerProcess server(kLongRequestTimeout);
  server.LimitDescriptors(kDescriptorLimit);
  ASSERT_TRUE(server.Start());
  {
    HeldSockets held;
    for (int i = 0; i < kDescriptorLimit; ++i) ASSERT_GE(held.Open(server.HttpPort(), PostHead(40)), 0);
    // A connection accepted before its head came may still be shed by the
    // first newcomers; once every head is read, they are turned away.
    std::string answer;
    auto asked = Clock::now();
    for (const auto end = asked + 5s; Clock::now() < end && !answer.starts_with(kTurnedAway);) {
      asked = Clock::now();
      answer = Exchange(server.HttpPort(), kGetRoot, 2s);
    }
    EXPECT_TRUE(answer.starts_with(kTurnedAway)) << answer.substr(0, 200);
    EXPECT_NE(answer.find(kServerFullText), std::string::npos);
    EXPECT_LT(Clock::now() - asked, 1s) << "at once";
  }
  EXPECT_TRUE(AnsweredSoon(server.HttpPort(), kGetRoot, kServed));
  EXPECT_EQ(Occurrences(server.Console(), kCeilingSaid), 1u);
}

// A kept connection waiting for its next request is as idle as one that has
// sent nothing yet: at the ceiling it makes room for a newcomer.
TEST(DescriptorCeiling, KeptConnectionsBetweenRequestsMakeRoomToo) {
  ServerProcess server(kLongRequestTimeout);
  server.LimitDescriptors(kDescriptorLimit);
  ASSERT_TRUE(server.Start());
  std::vector<std::unique_ptr<ApiConnection>> kept;
  for (int i = 0; i < kDescriptorLimit; ++i) {
    auto connection = std::make_unique<ApiConnection>(server.HttpPort());
    const ApiAnswer answer = connection->Call("GET", "/api/rooms");
    if (answer.status == 0) break;  // the ceiling: turned away or closed
    ASSERT_TRUE(answer.KeptAlive()) << answer.status;
    kept.push_back(std::move(connection));
  }
  ASSERT_GT(kept.size(), 100u);
  EXPECT_TRUE(Exchange(server.HttpPort(), kGetRoot, 5s).starts_with(kServed));
  EXPECT_TRUE(kept.front()->ClosedWithin(2s)) << "the oldest kept connection made room";
}

}  // namespace
