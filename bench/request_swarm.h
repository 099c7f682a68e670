// A swarm of client connections driven by one thread, as an attacker's tool
// (or a crowd of users) makes them: many at once, from chosen source
// addresses, each connection doing one of three things:
//  - kAbandon: connect, send the request, close at once without reading;
//  - kAwaitAnswer: connect, send the request, read the answer to its end;
//  - kHoldIdle: connect and send nothing, holding the connection until the
//    server closes it.
// A connection's slot starts again when its connection ends (kAwaitAnswer,
// kHoldIdle), or new connections start at a fixed rate (perSecond), as many
// at once as there are slots. Every ended connection is sorted by the plan's
// classify into an outcome ("busy", "shed", ...) whose count and times
// (connect to end) are kept.
#pragma once

#include <sys/epoll.h>

#include <atomic>
#include <climits>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "bench_support.h"

namespace bench {

enum class SwarmMode { kAbandon, kAwaitAnswer, kHoldIdle };

struct SwarmPlan {
  int port = 0;
  SwarmMode mode = SwarmMode::kAwaitAnswer;
  std::vector<std::string> sources{"127.0.0.1"};  // slot i connects from sources[i % size]
  int slots = 1;                                  // connections under way at most
  double perSecond = 0;  // new connections a second; 0: a slot starts again when its connection ends
  long total = 0;        // connections to start in all; 0: until stopped
  int pauseMs = 0;       // a slot starts again this long after its connection ended
  int answerTimeoutMs = 30000;  // kAwaitAnswer: an answer not complete by then is "unanswered"
  // The request of the n-th connection (not used by kHoldIdle).
  std::function<std::string(long n)> request;
  // The outcome of a connection that ended: what it read, and the error
  // that ended it (0: the server closed it, or it was abandoned).
  std::function<std::string(const std::string& answer, int error)> classify;
};

// Outcomes of one swarm: how many connections ended each way, and how long
// each took from its connect to its end (ms).
struct SwarmFigures {
  long started = 0;
  long connected = 0;
  long openMost = 0;  // connections open at once, at most
  double seconds = 0;
  std::map<std::string, std::vector<double>> outcomes;

  long Count(const std::string& outcome) const {
    const auto found = outcomes.find(outcome);
    return found == outcomes.end() ? 0 : static_cast<long>(found->second.size());
  }
  long Ended() const {
    long ended = 0;
    for (const auto& [name, times] : outcomes) ended += static_cast<long>(times.size());
    return ended;
  }
  // Every outcome as "PREFIXNAME=COUNT" words; those named in always even when none ended so.
  std::string Describe(const std::string& prefix, const std::vector<std::string>& always = {}) const {
    std::string text = prefix + "started=" + std::to_string(started) + " " + prefix +
                       "connected=" + std::to_string(connected) + " " + prefix + "open_most=" + std::to_string(openMost);
    std::map<std::string, long> counts;
    for (const std::string& name : always) counts[name] = 0;
    for (const auto& [name, times] : outcomes) counts[name] = static_cast<long>(times.size());
    for (const auto& [name, count] : counts) text += " " + prefix + name + "=" + std::to_string(count);
    return text;
  }
};

class RequestSwarm {
 public:
  explicit RequestSwarm(SwarmPlan plan) : m_plan(std::move(plan)), m_slots(static_cast<size_t>(m_plan.slots)) {
    for (size_t i = 0; i < m_slots.size(); ++i) m_free.push_back(i);
  }
  ~RequestSwarm() { Stop(); }
  RequestSwarm(const RequestSwarm&) = delete;
  RequestSwarm& operator=(const RequestSwarm&) = delete;

  void Start() {
    m_thread = std::thread([this] { Run(); });
  }
  // No new connections from now on; those under way go on.
  void StopStarting() { m_starting = false; }
  // Waits up to the time for the swarm to have started all it will start
  // and for those connections to end; true when they have.
  bool WaitDone(int timeoutMs) {
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while ((m_starting || m_busy > 0) && Clock::now() < end) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return !m_starting && m_busy == 0;
  }
  // Ends the swarm: connections still under way end as "unfinished" (or
  // "held", for kHoldIdle). The figures are complete after it.
  void Stop() {
    m_running = false;
    if (m_thread.joinable()) m_thread.join();
  }
  // Every slot has had its connection open once (or its attempt failed).
  bool AllSlotsTried() const { return m_slotsTried >= m_plan.slots; }
  long OpenNow() const { return m_open; }
  const SwarmFigures& Figures() const { return m_figures; }

 private:
  enum class State { kFree, kConnecting, kOpen };
  struct Slot {
    Descriptor fd;
    State state = State::kFree;
    Clock::time_point started;
    Clock::time_point startAgain;  // when free: not before this
    std::string read;
    bool tried = false;
  };

  // A connect that fails at once (no port, no descriptor) is tried again after this.
  static constexpr int kRetryPauseMs = 10;
  // Connects under way at once, at most: a burst larger than the server's
  // listen backlog would only wait for the kernel's SYN retries.
  static constexpr int kMostConnecting = 256;

  void Run() {
    m_epoll = Descriptor(::epoll_create1(EPOLL_CLOEXEC));
    const auto begin = Clock::now();
    auto lastExpiry = begin;
    std::vector<epoll_event> events(1024);
    // At a fixed rate, wake for each start that falls due (1 to 20 ms apart); otherwise for the retries.
    const int waitMs = m_plan.perSecond > 0 ? std::clamp(static_cast<int>(1000 / m_plan.perSecond), 1, 20) : kRetryPauseMs;
    while (m_running) {
      StartDue(begin);
      const int ready = ::epoll_wait(m_epoll.Get(), events.data(), static_cast<int>(events.size()), waitMs);
      for (int i = 0; i < ready; ++i) {
        const epoll_event& event = events[static_cast<size_t>(i)];
        OnEvents(static_cast<size_t>(event.data.u64), event.events);
      }
      if (MsSince(lastExpiry) >= 100) {
        ExpireAnswers();
        lastExpiry = Clock::now();
      }
    }
    for (size_t i = 0; i < m_slots.size(); ++i) {
      if (m_slots[i].state != State::kFree) End(i, m_plan.mode == SwarmMode::kHoldIdle ? "held" : "unfinished");
    }
    m_figures.seconds = MsSince(begin) / 1000;
  }

  void StartDue(Clock::time_point begin) {
    if (m_plan.total > 0 && m_figures.started >= m_plan.total) m_starting = false;
    if (!m_starting) return;
    long due = m_plan.total > 0 ? m_plan.total - m_figures.started : LONG_MAX;
    if (m_plan.perSecond > 0) {
      due = std::min(due, static_cast<long>(m_plan.perSecond * MsSince(begin) / 1000) - m_figures.started);
    }
    const auto now = Clock::now();
    // Free slots wait in the order they were freed.
    while (due > 0 && m_connecting < kMostConnecting && !m_free.empty() && m_slots[m_free.front()].startAgain <= now) {
      const size_t i = m_free.front();
      m_free.pop_front();
      StartSlot(i);
      --due;
    }
  }

  void StartSlot(size_t i) {
    Slot& slot = m_slots[i];
    slot.read.clear();
    slot.started = Clock::now();
    ++m_figures.started;
    slot.fd = Descriptor(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    const sockaddr_in address = LoopbackAddress(m_plan.port);
    if (!slot.fd.Valid() || !BindSource(slot.fd.Get(), m_plan.sources[i % m_plan.sources.size()]) ||
        (::connect(slot.fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 &&
         errno != EINPROGRESS)) {
      FailAtOnce(i, errno);
      return;
    }
    slot.state = State::kConnecting;
    ++m_connecting;
    ++m_busy;
    Watch(i, EPOLLOUT, EPOLL_CTL_ADD);
  }

  void FailAtOnce(size_t i, int error) {
    m_slots[i].fd.Reset();
    MarkTried(i);
    Note(i, std::string("connect_failed_") +
                (error == EADDRNOTAVAIL ? "no_port" : error == EMFILE ? "no_descriptor" : "other"));
    Free(i, std::chrono::milliseconds(std::max(kRetryPauseMs, m_plan.pauseMs)));
  }

  void Free(size_t i, std::chrono::milliseconds pause) {
    m_slots[i].startAgain = Clock::now() + pause;
    m_free.push_back(i);
  }

  void Watch(size_t i, std::uint32_t events, int operation) {
    epoll_event event{};
    event.events = events;
    event.data.u64 = i;
    ::epoll_ctl(m_epoll.Get(), operation, m_slots[i].fd.Get(), &event);
  }

  void OnEvents(size_t i, std::uint32_t events) {
    Slot& slot = m_slots[i];
    if (slot.state == State::kConnecting) {
      int error = 0;
      socklen_t size = sizeof error;
      ::getsockopt(slot.fd.Get(), SOL_SOCKET, SO_ERROR, &error, &size);
      if (error != 0 || (events & (EPOLLERR | EPOLLHUP))) {
        End(i, "connect_failed_" + std::string(error == ECONNREFUSED ? "refused" : "other"));
        return;
      }
      Opened(i);
      return;
    }
    if (slot.state == State::kOpen) ReadAnswer(i);
  }

  void Opened(size_t i) {
    Slot& slot = m_slots[i];
    slot.state = State::kOpen;
    --m_connecting;
    ++m_figures.connected;
    m_figures.openMost = std::max(m_figures.openMost, ++m_open);
    MarkTried(i);
    if (m_plan.mode != SwarmMode::kHoldIdle) {
      const std::string request = m_plan.request(m_requests++);
      if (::send(slot.fd.Get(), request.data(), request.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(request.size())) {
        End(i, "send_failed");
        return;
      }
    }
    if (m_plan.mode == SwarmMode::kAbandon) {
      End(i, "abandoned");
      return;
    }
    Watch(i, EPOLLIN | EPOLLRDHUP, EPOLL_CTL_MOD);
  }

  void ReadAnswer(size_t i) {
    Slot& slot = m_slots[i];
    char buffer[16384];
    for (;;) {
      const ssize_t got = ::recv(slot.fd.Get(), buffer, sizeof buffer, MSG_DONTWAIT);
      if (got > 0) {
        if (slot.read.size() < 65536) slot.read.append(buffer, static_cast<size_t>(got));
        continue;
      }
      if (got == 0) {
        End(i, m_plan.classify(slot.read, 0));
      } else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
        End(i, m_plan.classify(slot.read, errno));
      }
      return;
    }
  }

  void ExpireAnswers() {
    if (m_plan.mode != SwarmMode::kAwaitAnswer) return;
    for (size_t i = 0; i < m_slots.size(); ++i) {
      if (m_slots[i].state != State::kFree && MsSince(m_slots[i].started) > m_plan.answerTimeoutMs) End(i, "unanswered");
    }
  }

  void End(size_t i, const std::string& outcome) {
    Slot& slot = m_slots[i];
    if (slot.state == State::kConnecting) --m_connecting;
    if (slot.state == State::kOpen) --m_open;
    if (slot.state != State::kFree) --m_busy;
    slot.state = State::kFree;
    slot.fd.Reset();
    MarkTried(i);
    Note(i, outcome);
    Free(i, std::chrono::milliseconds(m_plan.pauseMs));
  }

  void Note(size_t i, const std::string& outcome) {
    m_figures.outcomes[outcome].push_back(MsSince(m_slots[i].started));
  }

  void MarkTried(size_t i) {
    if (!m_slots[i].tried) {
      m_slots[i].tried = true;
      ++m_slotsTried;
    }
  }

  const SwarmPlan m_plan;
  std::vector<Slot> m_slots;
  std::deque<size_t> m_free;
  Descriptor m_epoll;
  std::thread m_thread;
  std::atomic<bool> m_running{true};
  std::atomic<bool> m_starting{true};
  std::atomic<int> m_busy{0};
  std::atomic<long> m_open{0};
  std::atomic<int> m_slotsTried{0};
  int m_connecting = 0;
  long m_requests = 0;
  SwarmFigures m_figures;
};

}  // namespace bench
