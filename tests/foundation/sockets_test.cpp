#include "foundation/sockets.h"

#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

#include "support/http_client.h"

namespace {

int BoundPort(int fd) {
  sockaddr_in address{};
  socklen_t size = sizeof address;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
  return ntohs(address.sin_port);
}

TEST(Sockets, OpenListeningSocketByNumberOrServiceName) {
  const int port = FreePort();
  ListeningSocket socket = OpenListeningSocket(std::to_string(port), 1024);
  ASSERT_TRUE(socket.fd);
  EXPECT_EQ(BoundPort(socket.fd.Get()), port);
  ListeningSocket again = OpenListeningSocket(std::to_string(port), 1024);
  EXPECT_FALSE(again.fd) << "the port is taken";
  EXPECT_EQ(again.error, EADDRINUSE);
  for (const char* text : {"", "abc", "-5", "70000"}) EXPECT_FALSE(OpenListeningSocket(text, 16).fd) << text;
  EXPECT_EQ(PortOf("http"), 80) << "service names come from the services database";
  EXPECT_EQ(PortOf("8080"), 8080);
}

TEST(Sockets, TheProbeSeesAGroupOfSharedSockets) {
  const std::string port = std::to_string(FreePort());
  ASSERT_TRUE(ProbePortIsFree(port).fd) << "nobody listens yet";
  ListeningSocket first = OpenListeningSocket(port, 16, true);
  ListeningSocket second = OpenListeningSocket(port, 16, true);
  ASSERT_TRUE(first.fd);
  ASSERT_TRUE(second.fd) << "shared sockets join one port";
  const ListeningSocket probe = ProbePortIsFree(port);
  EXPECT_FALSE(probe.fd) << "another server must not join the group unseen";
  EXPECT_EQ(probe.error, EADDRINUSE);
}

TEST(Sockets, DottedAddress) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(0x0A000102);
  EXPECT_EQ(DottedAddress(address), "10.0.1.2");
  address.sin_family = AF_UNIX;
  EXPECT_EQ(DottedAddress(address), "127.0.0.1");
}

}  // namespace
