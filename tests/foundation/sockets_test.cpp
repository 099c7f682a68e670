#include "foundation/sockets.h"

#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <thread>

#include "support/http_client.h"

namespace {

// A listening socket on a free port with one connected client and the
// server-side socket accepted from it.
struct ConnectedPair {
  ConnectedPair() {
    port = FreePort();
    listening = OpenListeningSocket(std::to_string(port), 16);
    client = ConnectLoopback(port);
    for (int i = 0; i < 100 && !server; ++i) {
      server = AcceptConnection(listening);
      if (!server) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }
  ~ConnectedPair() {
    if (client >= 0) ::close(client);
  }
  int port;
  sock_t listening;
  sock_t server;
  int client;
};

TEST(Sockets, OpenListeningSocketByNumberOrServiceName) {
  const int port = FreePort();
  sock_t socket = OpenListeningSocket(std::to_string(port), 1024);
  ASSERT_TRUE(socket);
  EXPECT_TRUE(SocketIsAlive(socket));
  EXPECT_FALSE(OpenListeningSocket(std::to_string(port), 1024)) << "the port is taken";
  EXPECT_FALSE(OpenListeningSocket("", 1024));
  EXPECT_FALSE(OpenListeningSocket("abc", 1024));
  EXPECT_FALSE(OpenListeningSocket("-5", 1024));
  // "http" resolves through the services database to port 80; binding it
  // needs privileges this test may not have, so only the lookup is checked
  // when the bind is refused.
  if (geteuid() == 0) {
    sock_t http = OpenListeningSocket("http", 16);
    if (http) {
      sockaddr_in address{};
      socklen_t size = sizeof address;
      ::getsockname(http->Fd(), reinterpret_cast<sockaddr*>(&address), &size);
      EXPECT_EQ(ntohs(address.sin_port), 80);
    }
  }
}

TEST(Sockets, AcceptWithNothingPendingFails) {
  sock_t listening = OpenListeningSocket(std::to_string(FreePort()), 16);
  ASSERT_TRUE(listening);
  EXPECT_FALSE(AcceptConnection(listening));
  EXPECT_FALSE(AcceptConnection(nullptr));
}

TEST(Sockets, ReceiveIntoReportsNothingWaitingClosedPeerAndTheWindow) {
  ConnectedPair pair;
  ASSERT_TRUE(pair.server);
  CTextBuffer buffer;
  EXPECT_EQ(ReceiveInto(buffer, pair.server), -1) << "nothing waiting";

  SendAll(pair.client, std::string("ab\0cd", 5));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(ReceiveInto(buffer, pair.server), 5);
  EXPECT_EQ(buffer.Str(), "ab") << "bytes after a NUL are dropped";

  SendAll(pair.client, std::string(kReceiveWindow + 1, 'x'));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  int result = 0;
  while (buffer.Length() <= kReceiveWindow && result >= 0) result = ReceiveInto(buffer, pair.server);
  EXPECT_EQ(result, -1) << "more than the window held";
  EXPECT_GT(buffer.Length(), kReceiveWindow) << "the bytes stay in the buffer";

  ::close(pair.client);
  pair.client = -1;
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  CTextBuffer after;
  EXPECT_EQ(ReceiveInto(after, pair.server), 0) << "peer closed";
}

TEST(Sockets, SendTextStopsWhenTheSendBufferIsFull) {
  ConnectedPair pair;
  ASSERT_TRUE(pair.server);
  EXPECT_EQ(SendText(nullptr, pair.server), 0);
  EXPECT_EQ(SendText("hi", pair.server), 2);
  const std::string block(65536, 'y');
  int sent = 1;
  for (int i = 0; i < 10000 && sent > 0; ++i) sent = SendText(block.c_str(), pair.server);
  EXPECT_EQ(sent, 0) << "a full send buffer takes nothing";
  EXPECT_EQ(SendBytes("abc", pair.server, 3), 0);
}

TEST(Sockets, ClosedSocketIsNeverUsedAgain) {
  ConnectedPair pair;
  ASSERT_TRUE(pair.server);
  EXPECT_EQ(GetPeerAddress(pair.server), "127.0.0.1");
  sock_t copy = pair.server;
  CloseSocket(pair.server);
  EXPECT_FALSE(SocketIsAlive(copy)) << "every holder sees the close";
  EXPECT_EQ(copy->Fd(), -1);
  // Another socket may now get the old number; closing or testing the old
  // handle must not touch it.
  sock_t other = OpenListeningSocket(std::to_string(FreePort()), 4);
  CloseSocket(copy);
  CloseSocket(nullptr);
  EXPECT_TRUE(SocketIsAlive(other));
  EXPECT_EQ(SendText("x", copy), 0);
  CTextBuffer buffer;
  EXPECT_EQ(ReceiveInto(buffer, copy), -1);
  EXPECT_EQ(GetPeerAddress(copy), "127.0.0.1");
}

}  // namespace
