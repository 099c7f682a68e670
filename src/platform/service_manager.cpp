#include "platform/service_manager.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <syslog.h>
#include <unistd.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>

namespace platform {

bool StartedByServiceManager() {
  return std::getenv("NOTIFY_SOCKET") != nullptr || std::getenv("INVOCATION_ID") != nullptr;
}

bool NotifyServiceManager(const std::string& message) {
  const char* path = std::getenv("NOTIFY_SOCKET");
  if (path == nullptr || path[0] == '\0') return true;
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const size_t length = std::strlen(path);
  if (length >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path, path, length);
  if (address.sun_path[0] == '@') address.sun_path[0] = '\0';  // abstract namespace
  const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const socklen_t size = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + length);
  const ssize_t sent = ::sendto(fd, message.data(), message.size(), MSG_NOSIGNAL,
                                reinterpret_cast<const sockaddr*>(&address), size);
  ::close(fd);
  return sent == static_cast<ssize_t>(message.size());
}

void WriteErrorEvent(const std::string& source, const std::string& formatted, const std::string& text) {
  openlog(source.c_str(), LOG_PID, LOG_DAEMON);
  syslog(LOG_ERR, "%s: %s", formatted.c_str(), text.c_str());
  closelog();
}

}  // namespace platform
