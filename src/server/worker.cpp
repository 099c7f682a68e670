#include "server/worker.h"

#include <cerrno>

#include "foundation/sockets.h"
#include "platform/clock.h"
#include "platform/console.h"
#include "platform/stop_event.h"
#include "platform/thread.h"
#include "server/server.h"

namespace {
// The poll set: the listening socket, the stop event, then one entry per
// connection in m_polled's order.
constexpr size_t kListenEntry = 0;
constexpr size_t kFirstConnectionEntry = 2;
}  // namespace

void CWorker::FromClientThread() {
  while (SocketIsAlive(g_httpSocket) && !StopRequested()) {
    try {
      Turn();
    } catch (...) {
      platform::ConsoleWrite("catch in FromClientThread\n");
      platform::SleepMs(50);
    }
  }
  m_connections.clear();
}

void CWorker::Turn() {
  const std::time_t now = platform::Now();
  m_pollSet.clear();
  m_polled.clear();
  m_pollSet.push_back({g_httpSocket->Fd(), POLLIN, 0});
  m_pollSet.push_back({g_stopEvent->PollFd(), POLLIN, 0});
  m_nearestDeadline = 0;
  for (auto it = m_connections.begin(); it != m_connections.end();) {
    it = PrepareConnection(**it, now) ? m_connections.erase(it) : std::next(it);
  }

  if (::poll(m_pollSet.data(), m_pollSet.size(), PollTimeoutMs(now)) < 0) return;

  if (m_pollSet[kListenEntry].revents & POLLIN) AcceptOne();
  for (size_t i = 0; i < m_polled.size(); ++i) {
    if (m_pollSet[kFirstConnectionEntry + i].revents != 0) ServeConnection(*m_polled[i]);
  }
}

bool CWorker::PrepareConnection(CClientConnection& connection, std::time_t now) {
  if (!connection.GetSocket() || !connection.GetSocket()->IsOpen()) connection.Finish();
  // The deadline holds for silent clients too: a connection that never
  // sends (or never reads) is closed when its time is up.
  if (connection.GetState() != kFinished && now >= connection.Deadline()) connection.Finish();
  short events = 0;
  switch (connection.GetState()) {
    case kReading:
      events = POLLIN;
      break;
    case kRequestComplete:
      try {
        connection.Step();
      } catch (...) {
        platform::ConsoleWrite("catch..2.\n");
        connection.Finish();
        return true;
      }
      events = POLLOUT;
      break;
    case kWriting:
      events = POLLOUT;
      break;
    default:
      return true;
  }
  if (connection.GetState() == kFinished) return true;
  m_pollSet.push_back({connection.GetSocket()->Fd(), events, 0});
  m_polled.push_back(&connection);
  if (m_nearestDeadline == 0 || connection.Deadline() < m_nearestDeadline) m_nearestDeadline = connection.Deadline();
  return false;
}

void CWorker::ServeConnection(CClientConnection& connection) {
  try {
    connection.Step();
    // A request read in full is answered at once, without waiting a turn.
    if (connection.GetState() == kRequestComplete) connection.Step();
    if (connection.GetState() == kWriting) connection.Step();
  } catch (...) {
    platform::ConsoleWrite("catch..1.\n");
    connection.Finish();
  }
}

int CWorker::PollTimeoutMs(std::time_t now) const {
  if (m_nearestDeadline == 0) return kWorkerPollTimeoutMs;
  const std::time_t wait = m_nearestDeadline - now;
  if (wait <= 0) return 0;
  return wait * 1000 < kWorkerPollTimeoutMs ? static_cast<int>(wait * 1000) : kWorkerPollTimeoutMs;
}

void CWorker::AcceptOne() {
  sock_t socket = AcceptConnection(g_httpSocket);
  if (!socket) {
    // Another worker took it (the usual case), or accept failed for real:
    // only then pause, so a persistent error cannot spin the thread.
    if (errno != EAGAIN && errno != EWOULDBLOCK) platform::SleepMs(10);
    return;
  }
  try {
    m_connections.push_front(std::make_unique<CClientConnection>(std::move(socket)));
  } catch (...) {
    platform::ConsoleWrite("Can't new CClientConnection object\n");
  }
}
