#include "net/connection.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/socket.h>

#include <cerrno>
#include <stdexcept>

#include "platform/clock.h"

namespace net {
namespace {
constexpr size_t kReadChunk = 64 * 1024;
constexpr size_t kCompactAfter = 64 * 1024;  // sent bytes kept before the buffer is compacted
// An output buffer emptied by the socket keeps its room up to this size (a
// stream's next line or two need no allocation); a larger one, left by a
// burst, is given back: ten thousand streams must not each keep their
// largest burst.
constexpr size_t kKeptOutputCapacity = 1024;

// An error that only says "not now": the socket has nothing to read, or no
// room to write, or a signal came first.
bool TryAgainLater(int error) { return error == EAGAIN || error == EWOULDBLOCK || error == EINTR; }
}  // namespace

void CConnectionHandler::OnPeerClosed(CConnection& connection) { connection.Close(); }
void CConnectionHandler::OnDeadline(CConnection& connection) { connection.Close(); }

CConnection::CConnection(CEventLoop& loop, ConnectionId id, ConnectionSocket socket,
                         std::unique_ptr<CConnectionHandler> handler)
    : m_loop(loop),
      m_id(id),
      m_openedAtMs(socket.openedAtMs),
      m_fd(std::move(socket.fd)),
      m_peerAddress(std::move(socket.peerAddress)),
      m_handler(std::move(handler)),
      m_admission(std::move(socket.ticket)),
      m_input(std::move(socket.input)) {}

CConnection::~CConnection() = default;

void CConnection::Start() {
  m_loop.AssertInLoopThread();
  m_handler->OnStart(*this);
  if (m_closed) return;
  if (!m_input.empty()) m_handler->OnInput(*this);  // brought along by a hand-over
  if (m_closed) return;
  ReadInput();
  if (!m_closed) UpdateInterest();
}

void CConnection::OnEvents(std::uint32_t events) {
  m_spentHandlers.clear();
  if (m_closed) return;
  if (m_reading && (events & (EPOLLIN | EPOLLHUP | EPOLLERR | EPOLLRDHUP))) ReadInput();
  if (!m_closed && (events & (EPOLLOUT | EPOLLERR))) Flush();
  if (!m_closed && (events & (EPOLLHUP | EPOLLERR)) && !m_reading && PendingOutput() == 0) Close();
  if (!m_closed) UpdateInterest();
}

void CConnection::ReadInput() {
  char chunk[kReadChunk];
  const ssize_t got = ::recv(m_fd.Get(), chunk, sizeof chunk, MSG_DONTWAIT);
  if (got > 0) {
    m_input.append(chunk, static_cast<size_t>(got));
    m_handler->OnInput(*this);
  } else if (got == 0) {
    m_handler->OnPeerClosed(*this);
  } else if (!TryAgainLater(errno)) {
    Close();
  }
}

bool CConnection::PeerGone() const {
  if (m_closed) return true;
  char byte;
  const ssize_t got = ::recv(m_fd.Get(), &byte, 1, MSG_PEEK | MSG_DONTWAIT);
  return got == 0 || (got < 0 && !TryAgainLater(errno));
}

void CConnection::Send(std::string_view bytes) {
  m_loop.AssertInLoopThread();
  if (m_closed || bytes.empty()) return;
  if (PendingOutput() == 0) {
    m_output.clear();
    m_sent = 0;
    const ssize_t sent = ::send(m_fd.Get(), bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent < 0 && !TryAgainLater(errno)) {
      Close();
      return;
    }
    const size_t taken = sent > 0 ? static_cast<size_t>(sent) : 0;
    if (taken == bytes.size()) {
      m_handler->OnDrained(*this);
      return;
    }
    bytes.remove_prefix(taken);
  }
  m_output.append(bytes);
  UpdateInterest();
}

void CConnection::SendCoalesced(std::string_view bytes) {
  m_loop.AssertInLoopThread();
  if (m_closed || bytes.empty()) return;
  if (!m_loop.Running()) {
    Send(bytes);
    return;
  }
  // Output waits already: its flush is queued, or the socket was full and
  // the loop writes the rest when it becomes writable.
  const bool waiting = PendingOutput() > 0;
  if (!waiting) {
    m_output.clear();
    m_sent = 0;
  }
  m_output.append(bytes);
  if (waiting) return;
  m_flushQueued = true;
  m_loop.FlushAtPhaseEnd(*this);
}

void CConnection::FlushCoalesced() {
  if (!m_flushQueued) return;
  m_flushQueued = false;
  if (m_closed || PendingOutput() == 0) return;  // written meanwhile, when the socket became writable
  Flush();
  if (!m_closed) UpdateInterest();
}

bool CConnection::StartBatchedFlush(CSendBatch::Write& write) {
  if (!m_flushQueued) return false;
  m_flushQueued = false;
  if (m_closed || PendingOutput() == 0) return false;
  write.fd = m_fd.Get();
  write.data = m_output.data() + m_sent;
  write.size = PendingOutput();
  return true;
}

void CConnection::FinishBatchedFlush(const CSendBatch::Write& write) {
  if (m_closed) return;
  if (write.result < 0 && !TryAgainLater(static_cast<int>(-write.result))) {
    Close();
    return;
  }
  if (write.result > 0) m_sent += static_cast<size_t>(write.result);
  // What the socket did not take waits for it to become writable.
  if (PendingOutput() == 0) Flush();
  if (!m_closed) UpdateInterest();
}

bool CConnection::WriteQueued() {
  while (PendingOutput() > 0) {
    const ssize_t sent = ::send(m_fd.Get(), m_output.data() + m_sent, PendingOutput(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent < 0) return TryAgainLater(errno);
    m_sent += static_cast<size_t>(sent);
  }
  return true;
}

void CConnection::Flush() {
  if (!WriteQueued()) {
    Close();
    return;
  }
  if (PendingOutput() == 0) {
    m_output.clear();
    if (m_output.capacity() > kKeptOutputCapacity) std::string().swap(m_output);
    m_sent = 0;
    m_handler->OnDrained(*this);
  } else if (m_sent > kCompactAfter) {
    m_output.erase(0, m_sent);
    m_sent = 0;
  }
}

void CConnection::SendWithoutDelay() {
  m_loop.AssertInLoopThread();
  const int yes = 1;
  ::setsockopt(m_fd.Get(), IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
}

void CConnection::SetReading(bool reading) {
  m_loop.AssertInLoopThread();
  m_reading = reading;
  if (!m_closed) UpdateInterest();
}

void CConnection::SetHandler(std::unique_ptr<CConnectionHandler> handler) {
  m_loop.AssertInLoopThread();
  m_spentHandlers.push_back(std::move(m_handler));
  m_handler = std::move(handler);
}

void CConnection::SetDeadline(std::time_t deadline) {
  m_loop.AssertInLoopThread();
  if (m_closed) return;
  if (m_deadline != 0) m_loop.UnwatchDeadline(m_id, m_deadline);
  m_deadline = deadline;
  if (deadline != 0) m_loop.WatchDeadline(m_id, deadline);
}

void CConnection::OnDeadlinePassed() {
  m_deadline = 0;  // the loop has let go of it
  if (!m_closed) m_handler->OnDeadline(*this);
}

void CConnection::UpdateInterest() {
  const std::uint32_t wanted = (m_reading ? (EPOLLIN | EPOLLRDHUP) : 0u) | (PendingOutput() > 0 ? EPOLLOUT : 0u);
  // A request read and answered at its first turn never waits for the
  // socket: it need not be registered at all.
  if (!m_watched && wanted == 0) return;
  if (m_watched && wanted == m_events) return;
  if (!m_watched) {
    m_loop.Watch(m_fd.Get(), wanted, this);
    m_watched = true;
  } else {
    m_loop.Rewatch(m_fd.Get(), wanted, this);
  }
  m_events = wanted;
}

void CConnection::Abort() {
  if (m_closed) return;
  m_flushQueued = false;  // a reset drops what the kernel holds; what waits here goes with it
  const linger reset{1, 0};
  ::setsockopt(m_fd.Get(), SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
  Close();
}

ConnectionSocket CConnection::HandOver() {
  m_loop.AssertInLoopThread();
  if (m_closed || PendingOutput() != 0) throw std::logic_error("a connection is handed over only open and with nothing to send");
  m_closed = true;
  // Out of this loop's epoll set before another loop may watch it.
  if (m_watched) m_loop.Unwatch(m_fd.Get());
  m_watched = false;
  LeaveLoop();
  return ConnectionSocket{std::move(m_fd), m_peerAddress, std::move(m_admission), m_openedAtMs, std::move(m_input)};
}

void CConnection::Close() {
  m_loop.AssertInLoopThread();
  if (m_closed) return;
  // Coalesced bytes go out as far as the socket takes them, as they would
  // have gone at once with Send.
  if (m_flushQueued) WriteQueued();
  m_flushQueued = false;
  m_closed = true;
  m_handler->OnClose(*this);
  // Its place goes back before the close reaches the client: a client that
  // sees the end and connects again at once must not find it still counted.
  m_admission.Release();
  m_fd.Reset();  // leaves the epoll set with it
  LeaveLoop();
}

void CConnection::LeaveLoop() {
  if (m_deadline != 0) m_loop.UnwatchDeadline(m_id, m_deadline);
  m_loop.StopShedding(m_id);
  m_loop.Retire(m_id);
}

}  // namespace net
