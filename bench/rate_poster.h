// Lines posted through the chat form at a fixed rate, open loop: line k
// leaves when it is due, on a connection of its own, whether or not the
// server has answered the ones before; a second thread reads the answers
// and closes their connections.
#pragma once

#include <fcntl.h>
#include <sys/epoll.h>

#include <atomic>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "bench_support.h"
#include "chat_members.h"
#include "line_arrivals.h"
#include "open_loop.h"

namespace bench {

class AnswerReaper {
 public:
  AnswerReaper() : m_epoll(::epoll_create1(EPOLL_CLOEXEC)), m_thread([this] { Run(); }) {}
  ~AnswerReaper() {
    m_stop = true;
    m_thread.join();
    const std::lock_guard<std::mutex> guard(m_lock);
    for (int fd : m_open) ::close(fd);
  }
  AnswerReaper(const AnswerReaper&) = delete;
  AnswerReaper& operator=(const AnswerReaper&) = delete;

  // Takes the connection whose request has gone; it is read to its end and closed.
  void Take(Descriptor connection) {
    const int fd = connection.Get();
    ::fcntl(fd, F_SETFL, O_NONBLOCK);
    {
      const std::lock_guard<std::mutex> guard(m_lock);
      m_open.insert(fd);
    }
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.fd = fd;
    ::epoll_ctl(m_epoll.Get(), EPOLL_CTL_ADD, fd, &event);
    static_cast<void>(connection.Release());
  }

  // Waits until every answer has come, for at most timeoutMs; the number
  // still unanswered.
  int WaitAnswered(int timeoutMs) {
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
      {
        const std::lock_guard<std::mutex> guard(m_lock);
        if (m_open.empty() || Clock::now() >= end) return static_cast<int>(m_open.size());
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }

 private:
  void Run() {
    epoll_event events[256];
    char buffer[16384];
    while (!m_stop) {
      const int ready = ::epoll_wait(m_epoll.Get(), events, 256, 50);
      for (int i = 0; i < ready; ++i) {
        const int fd = events[i].data.fd;
        ssize_t got;
        while ((got = ::recv(fd, buffer, sizeof buffer, 0)) > 0) {
        }
        if (got == 0 || (errno != EAGAIN && errno != EINTR)) {
          ::epoll_ctl(m_epoll.Get(), EPOLL_CTL_DEL, fd, nullptr);
          const std::lock_guard<std::mutex> guard(m_lock);
          m_open.erase(fd);
          ::close(fd);
        }
      }
    }
  }

  Descriptor m_epoll;
  std::mutex m_lock;
  std::set<int> m_open;  // guarded by m_lock
  std::atomic<bool> m_stop{false};
  std::thread m_thread;
};

struct RatePosting {
  int failed = 0;      // connections refused, or requests not sent
  int unanswered = 0;  // posts the server had not answered 10 s after the last
};

// The poster says pacer.Lines() lines, line k due at startNs + k / rate
// (its send time, for the arrivals, is when it was due).
inline RatePosting PostAtRate(int port, const Member& poster, LinePacer& pacer, double linesPerSecond,
                              int64_t startNs) {
  RatePosting result;
  AnswerReaper reaper;
  for (int line = 0; line < pacer.Lines(); ++line) {
    const int64_t due = DueNs(startNs, line, linesPerSecond);
    SleepUntilNs(due);
    pacer.MarkSentAt(line, due);
    Descriptor connection = ConnectLoopback(port);
    if (!connection.Valid() || !SendAll(connection.Get(), PostRequest("/Blank", ChatFormBody(poster, LineMarker(line))))) {
      ++result.failed;
      continue;
    }
    reaper.Take(std::move(connection));
  }
  result.unanswered = reaper.WaitAnswered(10000);
  return result;
}

}  // namespace bench
