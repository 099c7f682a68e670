#include "support/http_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <random>

namespace {
using Clock = std::chrono::steady_clock;

sockaddr_in Loopback(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

}  // namespace

bool ReadSome(int fd, std::string& into, Clock::time_point end) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
  if (left <= 0) return false;
  pollfd entry{fd, POLLIN, 0};
  if (::poll(&entry, 1, static_cast<int>(left)) <= 0) return false;
  char chunk[65536];
  const ssize_t got = ::recv(fd, chunk, sizeof chunk, 0);
  if (got <= 0) return false;
  into.append(chunk, static_cast<size_t>(got));
  return true;
}

int ConnectLoopback(int port) { return ConnectTo("127.0.0.1", port); }

int ConnectTo(const std::string& to, int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in address = Loopback(port);
  ::inet_pton(AF_INET, to.c_str(), &address.sin_addr);
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

int ConnectFrom(const std::string& source, int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in local{};
  local.sin_family = AF_INET;
  ::inet_pton(AF_INET, source.c_str(), &local.sin_addr);
  const sockaddr_in address = Loopback(port);
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0 ||
      ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

bool SendAll(int fd, const std::string& bytes) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return false;
    sent += static_cast<size_t>(n);
  }
  return true;
}

std::string ReadUntilClose(int fd, std::chrono::milliseconds timeout) {
  std::string all;
  const auto end = Clock::now() + timeout;
  while (ReadSome(fd, all, end)) {
  }
  return all;
}

std::string ReadUntilContains(int fd, const std::string& text, std::chrono::milliseconds timeout) {
  std::string all;
  const auto end = Clock::now() + timeout;
  while (all.find(text) == std::string::npos && ReadSome(fd, all, end)) {
  }
  return all;
}

bool WaitForClose(int fd, std::chrono::milliseconds timeout) {
  const auto end = Clock::now() + timeout;
  while (true) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
    if (left <= 0) return false;
    pollfd entry{fd, POLLIN, 0};
    if (::poll(&entry, 1, static_cast<int>(left)) <= 0) return false;
    char chunk[4096];
    const ssize_t got = ::recv(fd, chunk, sizeof chunk, 0);
    if (got <= 0) return true;
  }
}

std::string Exchange(int port, const std::string& request, std::chrono::milliseconds timeout) {
  const int fd = ConnectLoopback(port);
  if (fd < 0) return "<connect failed>";
  SendAll(fd, request);
  std::string answer = ReadUntilClose(fd, timeout);
  ::close(fd);
  return answer;
}

std::string HttpGet(int port, const std::string& target, const std::string& headers) {
  return Exchange(port, "GET " + target + " HTTP/1.0\r\nHost: test\r\n" + headers + "\r\n");
}

std::string HttpPost(int port, const std::string& target, const std::string& body, const std::string& headers) {
  return Exchange(port, "POST " + target + " HTTP/1.0\r\nHost: test\r\n" + headers + "Content-Length: " +
                            std::to_string(body.size()) + "\r\n\r\n" + body);
}

// Ports are drawn below the kernel's ephemeral range, so that the outgoing
// connections of tests running beside this one cannot take a port between
// its choice and the server's bind.
int FreePort() {
  static std::mt19937 draw(std::random_device{}() ^ static_cast<unsigned>(::getpid()));
  std::uniform_int_distribution<int> below_ephemeral(20000, 32000);
  for (int attempt = 0; attempt < 100; ++attempt) {
    const int port = below_ephemeral(draw);
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int yes = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address = Loopback(port);
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    const bool free = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    if (free) return port;
  }
  return 0;
}
