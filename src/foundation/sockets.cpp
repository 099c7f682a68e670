#include "foundation/sockets.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

bool MakeNonBlocking(int fd) {
  const int flags = ::fcntl(fd, F_GETFL, 0);
  return flags >= 0 && ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

bool PollNow(const sock_t& socket, short events) {
  if (!socket || !socket->IsOpen()) return false;
  pollfd entry{socket->Fd(), events, 0};
  return ::poll(&entry, 1, 0) == 1 && (entry.revents & (events | POLLERR | POLLHUP)) != 0;
}

int PortOf(const std::string& text) {
  if (const servent* service = ::getservbyname(text.c_str(), "tcp")) return ntohs(static_cast<uint16_t>(service->s_port));
  return std::atoi(text.c_str());
}

int SendRaw(const sock_t& socket, const char* bytes, size_t count) {
  if (!WritableNow(socket)) return 0;
  const ssize_t sent = ::send(socket->Fd(), bytes, count, MSG_NOSIGNAL);
  if (sent >= 0) return static_cast<int>(sent);
  return (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) ? 0 : -1;
}

}  // namespace

int StartSockets() { return 0; }
void StopSockets() {}

sock_t OpenListeningSocket(const std::string& port, int backlog) {
  const int number = PortOf(port);
  if (number <= 0 || number > 65535) return nullptr;
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
  if (fd < 0) return nullptr;
  auto socket = std::make_shared<platform::CSocketObject>(fd);
  // Lets a restarted server bind while old connections linger in TIME_WAIT;
  // two live listeners on one port are still refused on Linux.
  const int yes = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  address.sin_port = htons(static_cast<uint16_t>(number));
  if (!MakeNonBlocking(fd) || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(fd, backlog) != 0) {
    return nullptr;  // the object closes the descriptor
  }
  return socket;
}

sock_t AcceptConnection(const sock_t& listening) {
  if (!listening || !listening->IsOpen()) return nullptr;
  const int fd = ::accept4(listening->Fd(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
  if (fd < 0) return nullptr;
  return std::make_shared<platform::CSocketObject>(fd);
}

bool SocketIsAlive(const sock_t& socket) {
  if (!socket || !socket->IsOpen()) return false;
  int type = 0;
  socklen_t size = sizeof type;
  return ::getsockopt(socket->Fd(), SOL_SOCKET, SO_TYPE, &type, &size) == 0;
}

void CloseSocket(const sock_t& socket) {
  if (socket) socket->Close();
}

bool ReadableNow(const sock_t& socket) { return PollNow(socket, POLLIN); }
bool WritableNow(const sock_t& socket) { return PollNow(socket, POLLOUT); }

int ReceiveInto(CTextBuffer& buffer, const sock_t& socket) {
  if (!ReadableNow(socket)) return -1;
  char area[kReceiveChunk + 1] = {};
  const ssize_t received = ::recv(socket->Fd(), area, kReceiveChunk, 0);
  if (received < 0) return -1;
  buffer.AppendString(area);
  if (buffer.Length() > kReceiveWindow) return -1;
  return static_cast<int>(received);
}

int SendText(const char* text, const sock_t& socket) {
  if (text == nullptr) return 0;
  return SendRaw(socket, text, std::strlen(text));
}

int SendBytes(const char* bytes, const sock_t& socket, size_t count) {
  if (bytes == nullptr) return 0;
  return SendRaw(socket, bytes, count);
}

std::string GetPeerAddress(const sock_t& socket) {
  sockaddr_in address{};
  socklen_t size = sizeof address;
  if (!socket || !socket->IsOpen() ||
      ::getpeername(socket->Fd(), reinterpret_cast<sockaddr*>(&address), &size) != 0 || address.sin_family != AF_INET) {
    return "127.0.0.1";
  }
  char text[INET_ADDRSTRLEN] = {};
  return ::inet_ntop(AF_INET, &address.sin_addr, text, sizeof text) != nullptr ? text : "127.0.0.1";
}
