#include "net/listener.h"

#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/socket.h>

#include <cerrno>

#include "foundation/sockets.h"

namespace net {
namespace {
constexpr int kAcceptBatch = 64;
constexpr int kPauseWhenOutOfDescriptorsMs = 100;
}  // namespace

CListener::CListener(CEventLoop& loop, platform::CUniqueFd socket, AcceptHandler onAccept, RoomMaker makeRoom)
    : m_loop(loop), m_socket(std::move(socket)), m_onAccept(std::move(onAccept)), m_makeRoom(std::move(makeRoom)) {}

CListener::~CListener() {
  if (m_watching) m_loop.Unwatch(m_socket.Get());
}

void CListener::Start() {
  m_loop.Watch(m_socket.Get(), EPOLLIN, this);
  m_watching = true;
}

void CListener::OnEvents(std::uint32_t) {
  for (int i = 0; i < kAcceptBatch; ++i) {
    sockaddr_in address{};
    socklen_t size = sizeof address;
    const int fd = ::accept4(m_socket.Get(), reinterpret_cast<sockaddr*>(&address), &size, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
      const int error = errno;
      const bool outOfDescriptors = error == EMFILE || error == ENFILE;
      if (outOfDescriptors && m_makeRoom && m_makeRoom()) continue;
      if (outOfDescriptors || error == ENOBUFS || error == ENOMEM) Pause();
      return;  // EAGAIN: nothing more waits; other errors concern that one client
    }
    m_onAccept(platform::CUniqueFd(fd), DottedAddress(address));
  }
}

void CListener::Pause() {
  m_loop.Unwatch(m_socket.Get());
  m_watching = false;
  m_loop.RunAfter(kPauseWhenOutOfDescriptorsMs, [this] {
    if (!m_watching) Start();
  });
}

}  // namespace net
