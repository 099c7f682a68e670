#include "platform/socket_object.h"

#include <sys/socket.h>
#include <unistd.h>

namespace platform {

void CSocketObject::Close() {
  if (m_fd < 0) return;
  const int fd = m_fd;
  m_fd = -1;
  ::shutdown(fd, SHUT_RDWR);
  ::close(fd);
}

}  // namespace platform
