#include "net/event_loop.h"

#include <sys/epoll.h>
#include <sys/eventfd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "net/connection.h"
#include "platform/clock.h"
#include "platform/console.h"

namespace net {

// The loop's eventfd: written by Post from other threads, drained here.
class CEventLoop::Waker final : public CPollable {
 public:
  Waker() : m_fd(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}
  int Fd() const { return m_fd.Get(); }
  void Wake() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = ::write(m_fd.Get(), &one, sizeof one);
  }
  void OnEvents(std::uint32_t) override {
    std::uint64_t count = 0;
    [[maybe_unused]] const ssize_t got = ::read(m_fd.Get(), &count, sizeof count);
  }

 private:
  platform::CUniqueFd m_fd;
};

namespace {
// The stop event's descriptor stays readable once set: it ends the loop.
class StopWatch final : public CPollable {
 public:
  explicit StopWatch(bool& quit) : m_quit(quit) {}
  void OnEvents(std::uint32_t) override { m_quit = true; }

 private:
  bool& m_quit;
};
constexpr int kEventsPerRound = 256;
// From this many connections in one flush, their writes go to the kernel in
// one submission; fewer are written one by one, as cheaply.
constexpr size_t kBatchedFlushMin = 8;
}  // namespace

template <class Work>
void CEventLoop::RunGuarded(const char* kind, CPollable* target, Work&& work) {
  try {
    work();
  } catch (...) {
    ReportFailure(kind, target);
  }
}

void CEventLoop::ReportFailure(const char* kind, CPollable* target) {
  const std::string operation = "event loop " + std::to_string(m_index) + ": " + kind + " failed";
  auto* connection = dynamic_cast<CConnection*>(target);
  if (connection == nullptr) {
    platform::LogException(operation);
    return;
  }
  platform::LogException(operation, "connection " + std::to_string(connection->Id()) + " from " +
                                        connection->PeerAddress() + ", closed");
  connection->Abort();
}

CEventLoop::CEventLoop(int index)
    : m_index(index), m_epoll(::epoll_create1(EPOLL_CLOEXEC)), m_waker(std::make_unique<Waker>()) {
  Watch(m_waker->Fd(), EPOLLIN, m_waker.get());
}

CEventLoop::~CEventLoop() { CloseAll(); }

void CEventLoop::AssertInLoopThread() const {
  const std::thread::id owner = m_thread.load(std::memory_order_acquire);
  if (owner != std::thread::id() && owner != std::this_thread::get_id()) {
    // Said on stderr, unbuffered, like a failed assert: the process ends next.
    const std::string said = "event loop " + std::to_string(m_index) + " used from a thread that does not own it\n";
    std::fputs(said.c_str(), stderr);
    std::abort();
  }
}

void CEventLoop::Run(int stopFd) {
  m_thread.store(std::this_thread::get_id(), std::memory_order_release);
  StopWatch stopWatch(m_quit);
  if (stopFd >= 0) Watch(stopFd, EPOLLIN, &stopWatch);
  epoll_event events[kEventsPerRound];
  while (!m_quit) {
    RunPostedTasks();
    if (m_quit) break;
    const int ready = ::epoll_wait(m_epoll.Get(), events, kEventsPerRound, WaitTimeoutMs());
    for (int i = 0; i < ready; ++i) {
      auto* target = static_cast<CPollable*>(events[i].data.ptr);
      m_eventsLeftInRound = ready - i - 1;
      RunGuarded("event", target, [&] { target->OnEvents(events[i].events); });
    }
    m_eventsLeftInRound = 0;
    RunDueTimers();
    CheckDeadlines();
    FlushCoalesced();
    m_retired.clear();
  }
  if (stopFd >= 0) Unwatch(stopFd);
  CloseAll();
  DropPostedTasks();
  m_thread.store(std::thread::id(), std::memory_order_release);
}

void CEventLoop::Quit() {
  Post([this] { m_quit = true; });
}

void CEventLoop::Post(Task task) {
  {
    std::lock_guard<std::mutex> guard(m_postLock);
    m_posted.push_back(std::move(task));
    ++m_waitingTasks;
  }
  m_waker->Wake();
}

bool CEventLoop::HasPostedTasks() const { return m_waitingTasks.load() > 0; }

void CEventLoop::DropPostedTasks() {
  std::vector<Task> tasks;
  {
    std::lock_guard<std::mutex> guard(m_postLock);
    tasks.swap(m_posted);
  }
  m_waitingTasks -= tasks.size();
}

void CEventLoop::RunPostedTasks() {
  std::vector<Task> tasks;
  {
    std::lock_guard<std::mutex> guard(m_postLock);
    tasks.swap(m_posted);
  }
  for (Task& task : tasks) {
    --m_waitingTasks;
    RunGuarded("task", nullptr, task);
  }
  FlushCoalesced();
  m_retired.clear();
}

void CEventLoop::FlushCoalesced() {
  // A flush may give output again (a handler told that its output drained
  // answers): that goes in the next pass, still before the loop waits.
  struct InFlush {
    bool& flag;
    explicit InFlush(bool& inFlush) : flag(inFlush) { flag = true; }
    ~InFlush() { flag = false; }
  } inFlush(m_inFlush);
  while (!m_toFlush.empty()) {
    m_flushing.swap(m_toFlush);
    if (m_flushing.size() >= kBatchedFlushMin && m_sendBatch.Available()) {
      FlushBatched();
    } else {
      for (CConnection* connection : m_flushing) {
        RunGuarded("flush", connection, [connection] { connection->FlushCoalesced(); });
      }
    }
    m_flushing.clear();
  }
}

void CEventLoop::FlushBatched() {
  m_writes.clear();
  m_writers.clear();
  for (CConnection* connection : m_flushing) {
    CSendBatch::Write write;
    if (connection->StartBatchedFlush(write)) {
      m_writes.push_back(write);
      m_writers.push_back(connection);
    }
  }
  m_sendBatch.SendAll(m_writes);
  // Only now may a handler run: nothing it does can touch a buffer in flight.
  for (size_t i = 0; i < m_writers.size(); ++i) {
    CConnection* connection = m_writers[i];
    RunGuarded("flush", connection, [&] { connection->FinishBatchedFlush(m_writes[i]); });
  }
}

void CEventLoop::RunAfter(int milliseconds, Task task) {
  AssertInLoopThread();
  m_timers.push(Timer{platform::MonotonicMs() + milliseconds, m_timerOrder++, std::move(task)});
}

void CEventLoop::RunDueTimers() {
  const std::int64_t now = platform::MonotonicMs();
  while (!m_timers.empty() && m_timers.top().dueMs <= now) {
    Task task = m_timers.top().task;
    m_timers.pop();
    RunGuarded("timer", nullptr, task);
  }
}

void CEventLoop::WatchDeadline(ConnectionId id, std::time_t deadline) {
  AssertInLoopThread();
  m_deadlines.emplace(deadline, id);
}

void CEventLoop::UnwatchDeadline(ConnectionId id, std::time_t deadline) {
  AssertInLoopThread();
  m_deadlines.erase({deadline, id});
}

void CEventLoop::CheckDeadlines() {
  const std::time_t now = platform::Now();
  while (!m_deadlines.empty() && m_deadlines.begin()->first <= now) {
    const ConnectionId id = m_deadlines.begin()->second;
    m_deadlines.erase(m_deadlines.begin());
    if (CConnection* connection = Find(id)) {
      RunGuarded("deadline", connection, [connection] { connection->OnDeadlinePassed(); });
    }
  }
}

int CEventLoop::WaitTimeoutMs() const {
  std::int64_t wait = -1;
  if (!m_timers.empty()) wait = std::max<std::int64_t>(0, m_timers.top().dueMs - platform::MonotonicMs());
  if (!m_deadlines.empty()) {
    const std::int64_t untilDeadline = std::max<std::int64_t>(0, (m_deadlines.begin()->first - platform::Now()) * 1000);
    wait = wait < 0 ? untilDeadline : std::min(wait, untilDeadline);
  }
  return wait > 60000 ? 60000 : static_cast<int>(wait);
}

CConnection& CEventLoop::Adopt(platform::CUniqueFd fd, std::string peerAddress,
                               std::unique_ptr<CConnectionHandler> handler, CAdmissionTicket ticket) {
  return TakeIn(ConnectionSocket{std::move(fd), std::move(peerAddress), std::move(ticket), platform::MonotonicMs(), {}},
                std::move(handler), true);
}

CConnection& CEventLoop::AdoptHandedOver(ConnectionSocket socket, std::unique_ptr<CConnectionHandler> handler) {
  return TakeIn(std::move(socket), std::move(handler), false);
}

CConnection& CEventLoop::TakeIn(ConnectionSocket socket, std::unique_ptr<CConnectionHandler> handler,
                                bool awaitingRequest) {
  AssertInLoopThread();
  const ConnectionId id = (static_cast<ConnectionId>(m_index) << 48) | m_nextConnection++;
  auto connection = std::make_unique<CConnection>(*this, id, std::move(socket), std::move(handler));
  CConnection& adopted = *connection;
  m_connections.emplace(id, std::move(connection));
  if (awaitingRequest) m_withoutRequest.insert(id);
  adopted.Start();
  return adopted;
}

bool CEventLoop::ShedOldestWithoutRequest() {
  AssertInLoopThread();
  while (!m_withoutRequest.empty()) {
    const ConnectionId oldest = *m_withoutRequest.begin();
    m_withoutRequest.erase(m_withoutRequest.begin());
    if (CConnection* connection = Find(oldest)) {
      connection->Abort();  // its descriptor is free at once
      return true;
    }
  }
  return false;
}

CConnection* CEventLoop::Find(ConnectionId id) {
  AssertInLoopThread();
  const auto found = m_connections.find(id);
  return found != m_connections.end() ? found->second.get() : nullptr;
}

void CEventLoop::Retire(ConnectionId id) {
  AssertInLoopThread();
  const auto found = m_connections.find(id);
  if (found == m_connections.end()) return;
  m_retired.push_back(std::move(found->second));
  m_connections.erase(found);
}

void CEventLoop::Watch(int fd, std::uint32_t events, CPollable* target) {
  AssertInLoopThread();
  epoll_event event{};
  event.events = events;
  event.data.ptr = target;
  ::epoll_ctl(m_epoll.Get(), EPOLL_CTL_ADD, fd, &event);
}

void CEventLoop::Rewatch(int fd, std::uint32_t events, CPollable* target) {
  AssertInLoopThread();
  epoll_event event{};
  event.events = events;
  event.data.ptr = target;
  ::epoll_ctl(m_epoll.Get(), EPOLL_CTL_MOD, fd, &event);
}

void CEventLoop::Unwatch(int fd) {
  AssertInLoopThread();
  ::epoll_ctl(m_epoll.Get(), EPOLL_CTL_DEL, fd, nullptr);
}

void CEventLoop::CloseAll() {
  std::vector<ConnectionId> ids;
  ids.reserve(m_connections.size());
  for (const auto& [id, connection] : m_connections) ids.push_back(id);
  for (ConnectionId id : ids) {
    if (CConnection* connection = Find(id)) connection->Close();
  }
  m_toFlush.clear();
  m_retired.clear();
  m_timers = {};
}

}  // namespace net
