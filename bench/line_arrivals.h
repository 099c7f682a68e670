// Numbered lines fanned out to many receivers, seen the same way by every
// fan-out benchmark (the bare kernel, the IRC server, the chat server): the
// sender marks when line k leaves, the reader watches every receiver for the
// line's marker and notes the first and the last arrival. Sender and reader
// may be threads or processes: the send times live in a shared mapping and
// the reader's "line k reached everybody" notices go through a pipe.
#pragma once

#include <fcntl.h>
#include <sys/epoll.h>
#include <sys/mman.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <new>
#include <string>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "bench_support.h"

namespace bench {

// Every delivered line is about this long: a chat line as the chat server
// renders it; the other benchmarks pad theirs to match.
inline constexpr size_t kLineBytes = 340;

// What identifies line k inside whatever wraps it: "Zq", k, "x".
inline constexpr std::string_view kMarkerStart = "Zq";
inline constexpr char kMarkerEnd = 'x';
inline std::string LineMarker(int line) { return std::string(kMarkerStart) + std::to_string(line) + kMarkerEnd; }

// Each whole marker in what a receiver read: carry holds the start of a
// marker that the previous read cut; every line number found goes to
// arrived, and carry keeps what may begin the next marker.
template <class Arrived>
inline void ScanMarkers(std::string& carry, std::string_view data, Arrived arrived) {
  carry.append(data);
  size_t done = carry.size() - 1;  // a lone last byte may begin a marker
  for (size_t at = 0;;) {
    const size_t start = carry.find(kMarkerStart, at);
    if (start == std::string::npos) break;
    size_t end = start + kMarkerStart.size();
    while (end < carry.size() && carry[end] >= '0' && carry[end] <= '9') ++end;
    if (end == carry.size()) {  // cut by the read: kept for the next
      done = start;
      break;
    }
    if (carry[end] == kMarkerEnd && end > start + kMarkerStart.size()) {
      arrived(std::strtol(carry.c_str() + start + kMarkerStart.size(), nullptr, 10));
    }
    at = end;
  }
  carry.erase(0, done);
}

inline int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

class LinePacer {
 public:
  // Room for `capacity` lines; the first run has them all (Restart: fewer).
  explicit LinePacer(int capacity)
      : m_capacity(capacity), m_lines(capacity), m_bytes(sizeof(Slot) * (static_cast<size_t>(capacity) + 1)) {
    void* area = ::mmap(nullptr, m_bytes, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (area == MAP_FAILED) throw std::bad_alloc();
    m_slots = static_cast<Slot*>(area);
    for (int i = 0; i <= capacity; ++i) new (&m_slots[i]) Slot(0);
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) throw std::bad_alloc();
    m_noticesIn = Descriptor(ends[0]);
    m_noticesOut = Descriptor(ends[1]);
    // A sender that does not wait for the notices must never block the reader.
    ::fcntl(m_noticesOut.Get(), F_SETFL, O_NONBLOCK);
  }
  ~LinePacer() { ::munmap(m_slots, m_bytes); }
  LinePacer(const LinePacer&) = delete;
  LinePacer& operator=(const LinePacer&) = delete;

  int Lines() const { return m_lines; }
  // A new run of that many lines (at most the capacity) in this process's
  // view; a sender process forked before is told the count on its own.
  void Restart(int lines) {
    m_lines = std::min(lines, m_capacity);
    for (int i = 0; i < m_capacity; ++i) m_slots[i].store(0);
  }
  void MarkSent(int line) { m_slots[line].store(NowNs()); }
  // Lines posted at a fixed rate count from when they were due.
  void MarkSentAt(int line, int64_t ns) { m_slots[line].store(ns); }
  int64_t SentNs(int line) const { return m_slots[line].load(); }

  // Reader: the line has reached every receiver.
  void NoteComplete(int line) { [[maybe_unused]] ssize_t n = ::write(m_noticesOut.Get(), &line, sizeof line); }

  // Sender: waits for the notice of the line; false when it did not come in time.
  bool WaitComplete(int line, int timeoutMs) {
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
      pollfd wait{m_noticesIn.Get(), POLLIN, 0};
      const int left = static_cast<int>(MsBetween(Clock::now(), end));
      if (left <= 0 || ::poll(&wait, 1, left) <= 0) return false;
      int done = -1;
      if (::read(m_noticesIn.Get(), &done, sizeof done) != sizeof done) return false;
      if (done >= line) return true;
    }
  }

  // A figure a sender process hands back to the reader: its CPU seconds.
  void SetSenderCpu(double seconds) { m_slots[m_capacity].store(static_cast<int64_t>(seconds * 1e9)); }
  double SenderCpu() const { return static_cast<double>(m_slots[m_capacity].load()) / 1e9; }

 private:
  using Slot = std::atomic<int64_t>;
  int m_capacity;
  int m_lines;
  size_t m_bytes;
  Slot* m_slots = nullptr;
  Descriptor m_noticesIn;
  Descriptor m_noticesOut;
};

struct LineFigures {
  int lines = 0;
  int complete = 0;
  double linesPerSecond = 0;
  double firstP50 = 0, firstP99 = 0, lastP50 = 0, lastP99 = 0;  // ms after the line left
  double bytesPerDelivery = 0;
  int receiversClosed = 0;
};

// The figures as "key=value" words, the same keys in every benchmark.
inline std::string Describe(const LineFigures& f) {
  char text[400];
  std::snprintf(text, sizeof text,
                "lines=%d complete=%d lines_per_s=%.1f first_p50_ms=%.3f first_p99_ms=%.3f last_p50_ms=%.3f "
                "last_p99_ms=%.3f bytes_per_delivery=%.0f receivers_closed=%d",
                f.lines, f.complete, f.linesPerSecond, f.firstP50, f.firstP99, f.lastP50, f.lastP99,
                f.bytesPerDelivery, f.receiversClosed);
  return text;
}

class LineArrivals {
 public:
  LineArrivals(const std::vector<int>& receivers, LinePacer& pacer)
      : m_epoll(::epoll_create1(EPOLL_CLOEXEC)),
        m_pacer(pacer),
        m_arrivals(static_cast<size_t>(pacer.Lines()), 0),
        m_first(static_cast<size_t>(pacer.Lines()), 0),
        m_last(static_cast<size_t>(pacer.Lines()), 0),
        m_noticed(static_cast<size_t>(pacer.Lines()), false),
        m_open(static_cast<int>(receivers.size())) {
    for (int fd : receivers) {
      epoll_event event{};
      event.events = EPOLLIN;
      event.data.u64 = m_receivers.size();
      ::epoll_ctl(m_epoll.Get(), EPOLL_CTL_ADD, fd, &event);
      m_receivers.emplace_back(fd);
    }
  }

  // Throws away whatever arrives until nothing has come for quietMs.
  void Drain(int quietMs) {
    while (ReadOnce(quietMs, false) > 0) {
    }
  }

  // Reads until every line has reached every open receiver; false when no
  // line reached anyone for stallMs before that (other bytes, such as a
  // flooder's lines or keep-alives, are no progress).
  bool Run(int stallMs) {
    double idleMs = 0;
    while (m_complete < m_pacer.Lines()) {
      const auto start = Clock::now();
      const long before = m_markersSeen;
      ReadOnce(100, true);
      if (m_markersSeen != before) {
        idleMs = 0;
      } else if ((idleMs += MsSince(start)) >= stallMs) {
        return false;
      }
    }
    return true;
  }

  LineFigures Figures() const {
    LineFigures figures;
    figures.lines = m_pacer.Lines();
    figures.complete = m_complete;
    std::vector<double> firsts, lasts;
    for (size_t line = 0; line < m_arrivals.size(); ++line) {
      if (m_arrivals[line] == 0) continue;
      firsts.push_back(m_first[line]);
      lasts.push_back(m_last[line]);
    }
    figures.firstP50 = Percentile(firsts, 0.5);
    figures.firstP99 = Percentile(firsts, 0.99);
    figures.lastP50 = Percentile(lasts, 0.5);
    figures.lastP99 = Percentile(lasts, 0.99);
    const double seconds = static_cast<double>(m_lastCompleteNs - m_pacer.SentNs(0)) / 1e9;
    if (m_complete > 0 && seconds > 0) figures.linesPerSecond = m_complete / seconds;
    const double deliveries = static_cast<double>(m_complete) * m_open;
    if (deliveries > 0) figures.bytesPerDelivery = static_cast<double>(m_bytes) / deliveries;
    figures.receiversClosed = static_cast<int>(m_receivers.size()) - m_open;
    return figures;
  }

  // Per line: how many receivers have it, and when the first and the last
  // got it (ms after it left); the receivers still open; the bytes read.
  int Reached(int line) const { return m_arrivals[static_cast<size_t>(line)]; }
  double FirstMs(int line) const { return m_first[static_cast<size_t>(line)]; }
  double LastMs(int line) const { return m_last[static_cast<size_t>(line)]; }
  int Open() const { return m_open; }
  size_t Bytes() const { return m_bytes; }

 private:
  struct Receiver {
    explicit Receiver(int socket) : fd(socket) {}
    int fd;
    std::string carry;  // the start of a marker cut between two reads
    bool open = true;
  };

  // One wait and the reads it allows; the number of receivers that had data.
  int ReadOnce(int timeoutMs, bool watch) {
    epoll_event events[512];
    const int ready = ::epoll_wait(m_epoll.Get(), events, 512, timeoutMs);
    static thread_local char buffer[65536];
    int active = 0;
    for (int i = 0; i < ready; ++i) {
      Receiver& receiver = m_receivers[events[i].data.u64];
      const ssize_t n = ::recv(receiver.fd, buffer, sizeof buffer, MSG_DONTWAIT);
      if (n > 0) {
        ++active;
        if (watch) Take(receiver, buffer, static_cast<size_t>(n));
      } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
        Close(receiver);
      }
    }
    return active;
  }

  // Every whole marker read counts, in whatever order lines come (lines
  // posted on connections of their own may be said in another order).
  void Take(Receiver& receiver, const char* data, size_t size) {
    m_bytes += size;
    ScanMarkers(receiver.carry, std::string_view(data, size), [this](long line) {
      if (line >= 0 && line < m_pacer.Lines()) Arrived(static_cast<int>(line));
    });
  }

  void Arrived(int line) {
    ++m_markersSeen;
    const double ms = static_cast<double>(NowNs() - m_pacer.SentNs(line)) / 1e6;
    const size_t at = static_cast<size_t>(line);
    if (m_arrivals[at]++ == 0) m_first[at] = ms;
    m_last[at] = ms;
    CompleteIfDone(line);
  }

  void CompleteIfDone(int line) {
    const size_t at = static_cast<size_t>(line);
    if (m_noticed[at] || m_arrivals[at] == 0 || m_arrivals[at] < m_open) return;
    m_noticed[at] = true;
    ++m_complete;
    m_lastCompleteNs = NowNs();
    m_pacer.NoteComplete(line);
  }

  // A receiver the peer closed no longer counts; lines that reached all the others are complete.
  void Close(Receiver& receiver) {
    if (!receiver.open) return;
    receiver.open = false;
    ::epoll_ctl(m_epoll.Get(), EPOLL_CTL_DEL, receiver.fd, nullptr);
    --m_open;
    for (int line = 0; line < m_pacer.Lines(); ++line) CompleteIfDone(line);
  }

  Descriptor m_epoll;
  LinePacer& m_pacer;
  std::vector<Receiver> m_receivers;
  std::vector<int> m_arrivals;
  std::vector<double> m_first;
  std::vector<double> m_last;
  std::vector<bool> m_noticed;
  int m_open;
  int m_complete = 0;
  int64_t m_lastCompleteNs = 0;
  long m_markersSeen = 0;  // line markers found in any receiver's stream
  size_t m_bytes = 0;
};

}  // namespace bench
