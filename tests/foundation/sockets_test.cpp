#include "foundation/sockets.h"

#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

#include "support/http_client.h"

namespace {

sockaddr_in BoundAddress(int fd) {
  sockaddr_in address{};
  socklen_t size = sizeof address;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
  return address;
}

int BoundPort(int fd) { return ntohs(BoundAddress(fd).sin_port); }

ListenAddress EveryAddress(const std::string& port) { return ListenAddress{"", port}; }

TEST(Sockets, OpenListeningSocketByNumberOrServiceName) {
  const int port = FreePort();
  ListeningSocket socket = OpenListeningSocket(EveryAddress(std::to_string(port)), 1024);
  ASSERT_TRUE(socket.fd);
  EXPECT_EQ(BoundPort(socket.fd.Get()), port);
  EXPECT_EQ(BoundAddress(socket.fd.Get()).sin_addr.s_addr, htonl(INADDR_ANY));
  ListeningSocket again = OpenListeningSocket(EveryAddress(std::to_string(port)), 1024);
  EXPECT_FALSE(again.fd) << "the port is taken";
  EXPECT_EQ(again.error, EADDRINUSE);
  EXPECT_EQ(again.failure, "Address already in use");
  for (const char* text : {"", "abc", "-5", "70000"}) {
    const ListeningSocket refused = OpenListeningSocket(EveryAddress(text), 16);
    EXPECT_FALSE(refused.fd) << text;
    EXPECT_EQ(refused.failure, "not a port") << text;
  }
  EXPECT_EQ(PortOf("http"), 80) << "service names come from the services database";
  EXPECT_EQ(PortOf("8080"), 8080);
}

TEST(Sockets, ListensOnTheGivenAddressOnly) {
  const std::string port = std::to_string(FreePort());
  ListeningSocket socket = OpenListeningSocket(ListenAddress{"127.0.0.1", port}, 16);
  ASSERT_TRUE(socket.fd);
  EXPECT_EQ(BoundAddress(socket.fd.Get()).sin_addr.s_addr, htonl(INADDR_LOOPBACK));
  EXPECT_EQ(ListenAddress({"127.0.0.1", port}).Describe(), "127.0.0.1 port " + port);
  EXPECT_EQ(EveryAddress(port).Describe(), "port " + port);
  for (const char* address : {"localhost", "127.0.0.256", "::1", "127.0.0.1:80", "127.0.0.1 "}) {
    const ListeningSocket refused = OpenListeningSocket(ListenAddress{address, port}, 16);
    EXPECT_FALSE(refused.fd) << address;
    EXPECT_EQ(refused.failure, "\"" + std::string(address) + "\" is not an IPv4 address");
  }
  const ListeningSocket foreign = OpenListeningSocket(ListenAddress{"192.0.2.1", port}, 16);
  EXPECT_FALSE(foreign.fd) << "an address of another machine";
  EXPECT_EQ(foreign.error, EADDRNOTAVAIL);
}

TEST(Sockets, TheProbeSeesAGroupOfSharedSockets) {
  const ListenAddress port = EveryAddress(std::to_string(FreePort()));
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
