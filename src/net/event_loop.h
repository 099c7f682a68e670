// CEventLoop: one thread's epoll loop. The loop owns its connections and
// listening sockets; other threads never touch them, they hand work to the
// loop instead (Post: a queue and an eventfd that wakes the loop).
//
// Threading: Post, Quit, InLoopThread and HasPostedTasks may be called from
// any thread; everything else only on the loop's own thread while it runs:
// each such method checks it (AssertInLoopThread), and a call from another
// thread ends the process with a console line instead of racing the loop.
// Before Run and after it, the loop belongs to the thread that holds it
// (it is built, filled and taken apart there).
//
// Each event, posted task, timer and deadline runs inside a last guard: what
// it throws is said on the console ("event loop 1: task failed: <cause>")
// and the loop goes on; a connection whose event or deadline failed is
// closed, so that its client is not left waiting.
#pragma once

#include <atomic>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <mutex>
#include <queue>
#include <set>
#include <utility>
#include <thread>
#include <unordered_map>
#include <vector>

#include "net/admission.h"
#include "net/pollable.h"
#include "net/send_batch.h"
#include "platform/unique_fd.h"

namespace net {

class CConnection;
class CConnectionHandler;
struct ConnectionSocket;

using Task = std::function<void()>;
using ConnectionId = std::uint64_t;  // the loop's index in the top 16 bits

inline int LoopIndexOf(ConnectionId id) { return static_cast<int>(id >> 48); }

class CEventLoop {
 public:
  explicit CEventLoop(int index);
  ~CEventLoop();
  CEventLoop(const CEventLoop&) = delete;
  CEventLoop& operator=(const CEventLoop&) = delete;

  int Index() const { return m_index; }

  // Runs on the calling thread until Quit (or until the descriptor given
  // here becomes readable: the stop event). Connections left are closed.
  void Run(int stopFd = -1);
  void Quit();

  // On the loop's own thread: whether it is running (else it is being
  // built or taken apart).
  bool Running() const {
    AssertInLoopThread();
    return InLoopThread();
  }
  // The running loop's own thread asks.
  bool InLoopThread() const { return m_thread.load(std::memory_order_acquire) == std::this_thread::get_id(); }
  // Aborts, saying so on the console, when another thread touches the
  // running loop's state.
  void AssertInLoopThread() const;

  // Runs the task on the loop's thread, after what was posted before it.
  void Post(Task task);
  // Whether posted tasks wait to run (on the loop's thread: they run before
  // the loop next waits for events).
  bool HasPostedTasks() const;
  // Runs the task after the given milliseconds, on the loop's thread.
  void RunAfter(int milliseconds, Task task);

  // Takes a descriptor into the loop as a connection with its protocol and
  // what it takes up of the server's limits. The handler starts first; then
  // the connection reads at once if data waits, else when it arrives.
  CConnection& Adopt(platform::CUniqueFd fd, std::string peerAddress, std::unique_ptr<CConnectionHandler> handler,
                     CAdmissionTicket ticket = {});
  // Takes in a socket another loop handed over (CConnection::HandOver): its
  // request came already, so it is not one of those shed first. The handler
  // starts, then what waits is read.
  CConnection& AdoptHandedOver(ConnectionSocket socket, std::unique_ptr<CConnectionHandler> handler);
  // The loop's connection of that id, or null once it is gone.
  CConnection* Find(ConnectionId id);
  size_t ConnectionCount() const {
    AssertInLoopThread();
    return m_connections.size();
  }
  // Every connection of the loop (the keep-alive round visits them all).
  template <class Visit>
  void ForEachConnection(Visit visit) {
    AssertInLoopThread();
    for (auto& [id, connection] : m_connections) visit(*connection);
  }

  // The epoll registration of a descriptor (connections and listeners).
  void Watch(int fd, std::uint32_t events, CPollable* target);
  void Rewatch(int fd, std::uint32_t events, CPollable* target);
  void Unwatch(int fd);

  // Closes the loop's oldest connection that has not yet sent a request
  // (connections are taken in as such, until their handler says a request
  // arrived); false when there is none.
  bool ShedOldestWithoutRequest();
  // The connection is shed no more: its request arrived, or it closes.
  void StopShedding(ConnectionId id) {
    AssertInLoopThread();
    m_withoutRequest.erase(id);
  }
  // The connection waits for a request again (kept between requests).
  void StartShedding(ConnectionId id) {
    AssertInLoopThread();
    m_withoutRequest.insert(id);
  }

  // The connection was given output to coalesce (CConnection::SendCoalesced):
  // the loop writes it when the current phase ends, before it waits again.
  // Kept by address: a connection closed meanwhile is retired, and freed
  // only after the flush (it then has nothing queued).
  void FlushAtPhaseEnd(CConnection& connection) {
    AssertInLoopThread();
    m_toFlush.push_back(&connection);
  }

  // Whether more work waits in this phase: posted tasks not yet started, or
  // events of the current round not yet handled. A line written now might
  // yet be joined by another for the same connections.
  bool OtherWorkWaits() const {
    AssertInLoopThread();
    return HasPostedTasks() || m_eventsLeftInRound > 0;
  }
  // Writes the coalesced output given so far, before the phase ends (not
  // while a flush is under way: a handler it calls may give output too).
  void WriteCoalescedNow() {
    AssertInLoopThread();
    if (!m_inFlush) FlushCoalesced();
  }

  // A connection that must go: removed now, freed after the current round
  // of events (handlers further down the round may still hold it).
  void Retire(ConnectionId id);
  // Asks for OnDeadline of that connection at the given time (seconds), and
  // takes the request back (a connection closes or moves its deadline).
  void WatchDeadline(ConnectionId id, std::time_t deadline);
  void UnwatchDeadline(ConnectionId id, std::time_t deadline);

 private:
  class Waker;
  struct Timer {
    std::int64_t dueMs;
    std::uint64_t order;
    Task task;
    bool operator>(const Timer& other) const {
      return dueMs != other.dueMs ? dueMs > other.dueMs : order > other.order;
    }
  };

  // The last guard of one piece of work; target: the descriptor's owner
  // whose event (or deadline) it is, if any.
  template <class Work>
  void RunGuarded(const char* kind, CPollable* target, Work&& work);
  // In the guard's handler: the console line, and the close of a connection.
  void ReportFailure(const char* kind, CPollable* target);
  // A socket taken in under a new id of this loop; one awaiting its request
  // is shed first when descriptors run short. Its handler starts.
  CConnection& TakeIn(ConnectionSocket socket, std::unique_ptr<CConnectionHandler> handler, bool awaitingRequest);
  void RunPostedTasks();
  // Work posted too late to run is let go when the loop ends, while what
  // it holds can still be given back (a socket on its way to this loop).
  void DropPostedTasks();
  // The end of a phase: every connection given coalesced output writes it.
  void FlushCoalesced();
  // Writes the connections being flushed with one submission to the kernel.
  void FlushBatched();
  void RunDueTimers();
  void CheckDeadlines();
  int WaitTimeoutMs() const;
  void CloseAll();

  const int m_index;
  platform::CUniqueFd m_epoll;
  std::unique_ptr<Waker> m_waker;
  // The thread that runs the loop; none before Run and after it. Atomic:
  // any thread may ask whether it is the loop's.
  std::atomic<std::thread::id> m_thread{};
  bool m_quit = false;

  std::mutex m_postLock;
  std::vector<Task> m_posted;  // guarded by m_postLock
  // Posted tasks not yet started, those taken out of m_posted for running
  // included: a task that runs sees the ones after it as waiting.
  std::atomic<std::size_t> m_waitingTasks{0};

  std::priority_queue<Timer, std::vector<Timer>, std::greater<Timer>> m_timers;
  std::uint64_t m_timerOrder = 0;
  // The deadlines of open connections only, soonest first.
  std::set<std::pair<std::time_t, ConnectionId>> m_deadlines;

  std::uint64_t m_nextConnection = 1;
  std::unordered_map<ConnectionId, std::unique_ptr<CConnection>> m_connections;
  // Open connections that have not sent a request, oldest (lowest id) first.
  std::set<ConnectionId> m_withoutRequest;
  std::vector<std::unique_ptr<CConnection>> m_retired;
  // Connections with coalesced output to write at the end of the phase; the
  // second list is the one being written.
  std::vector<CConnection*> m_toFlush;
  std::vector<CConnection*> m_flushing;
  bool m_inFlush = false;
  // Events of the current epoll round still to be handled.
  int m_eventsLeftInRound = 0;
  // Many connections' writes in one system call, and the writes of one flush.
  CSendBatch m_sendBatch;
  std::vector<CSendBatch::Write> m_writes;
  std::vector<CConnection*> m_writers;
};

}  // namespace net
