#include "foundation/sockets.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

ListeningSocket Failed(ListeningSocket result, int error) {
  result.error = error;
  result.failure = std::strerror(error);
  return result;
}

ListeningSocket Bind(const ListenAddress& where, int backlog, bool sharePort, bool listen) {
  ListeningSocket result;
  result.port = PortOf(where.port);
  if (result.port <= 0 || result.port > 65535) {
    result.failure = "not a port";
    return result;
  }
  in_addr local{htonl(INADDR_ANY)};
  if (!where.address.empty() && ::inet_pton(AF_INET, where.address.c_str(), &local) != 1) {
    result.failure = "\"" + where.address + "\" is not an IPv4 address";
    return result;
  }
  platform::CUniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP));
  if (!fd) return Failed(std::move(result), errno);
  // Lets a restarted server bind while old connections linger in TIME_WAIT;
  // two live listeners on one port are still refused.
  const int yes = 1;
  ::setsockopt(fd.Get(), SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  if (sharePort) ::setsockopt(fd.Get(), SOL_SOCKET, SO_REUSEPORT, &yes, sizeof yes);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr = local;
  address.sin_port = htons(static_cast<uint16_t>(result.port));
  if (::bind(fd.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      (listen && ::listen(fd.Get(), backlog) != 0)) {
    return Failed(std::move(result), errno);
  }
  result.fd = std::move(fd);
  return result;
}

}  // namespace

int PortOf(const std::string& text) {
  if (const servent* service = ::getservbyname(text.c_str(), "tcp")) return ntohs(static_cast<uint16_t>(service->s_port));
  return std::atoi(text.c_str());
}

std::string ListenAddress::Describe() const { return (address.empty() ? "" : address + " ") + "port " + port; }

ListeningSocket OpenListeningSocket(const ListenAddress& where, int backlog, bool sharePort) {
  return Bind(where, backlog, sharePort, true);
}

ListeningSocket ProbePortIsFree(const ListenAddress& where) { return Bind(where, 0, false, false); }

std::string DottedAddress(const sockaddr_in& address) {
  if (address.sin_family != AF_INET) return "127.0.0.1";
  // Written by hand: every connection needs it, and inet_ntop goes through sprintf.
  const std::uint32_t ip = ntohl(address.sin_addr.s_addr);
  std::string text;
  text.reserve(15);
  for (int shift = 24; shift >= 0; shift -= 8) {
    const unsigned byte = (ip >> shift) & 0xFF;
    if (byte >= 100) text += static_cast<char>('0' + byte / 100);
    if (byte >= 10) text += static_cast<char>('0' + byte / 10 % 10);
    text += static_cast<char>('0' + byte % 10);
    if (shift != 0) text += '.';
  }
  return text;
}
