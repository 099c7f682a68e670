// Many event streams (GET /events?session=S) held by one epoll loop, as
// browsers' EventSource objects hold them: each connects without blocking,
// remembers the last event id it saw and, when asked to come back, sends it
// as Last-Event-ID. A stream the server closes, or that cannot connect, is
// opened again after the `retry` the server announced, as EventSource does;
// one answered with anything but 200 is given up, as EventSource does.
// Numbered lines (LineMarker) are counted per stream, so that a line
// missing or arriving twice shows, and so are the `reset` events.
#pragma once

#include <fcntl.h>
#include <sys/epoll.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "bench_support.h"
#include "line_arrivals.h"

namespace bench {

inline constexpr int kDefaultRetryMs = 2000;  // until the server has announced its own

class EventStreams {
 public:
  // One stream per session; lines numbered below maxLines are counted.
  EventStreams(int port, const std::vector<std::string>& sessions, int maxLines)
      : m_port(port), m_epoll(::epoll_create1(EPOLL_CLOEXEC)) {
    for (const std::string& session : sessions) m_streams.emplace_back(session, maxLines);
  }

  int Count() const { return static_cast<int>(m_streams.size()); }

  // Connects every stream at once, each with the id it saw last (or the one
  // given, for a stream that has seen nothing yet); none waits for another.
  void OpenAll(const std::string& startId = "") {
    for (size_t i = 0; i < m_streams.size(); ++i) {
      if (m_streams[i].lastId.empty()) m_streams[i].lastId = startId;
      Open(i);
    }
  }

  // Every connection cut at once, as a restarting load balancer cuts them.
  void DropAll() {
    for (Stream& stream : m_streams) {
      stream.fd.Reset();
      stream.state = State::kClosed;
      stream.reopenDueNs = 0;
    }
  }

  // Lines from this number on are the ones each stream must have to have
  // caught up; the time each one first has it is kept.
  void SetCatchUpLine(int line) {
    m_catchUpLine = line;
    m_caughtUp = 0;
    m_backs = 0;
    for (Stream& stream : m_streams) {
      stream.caughtUpNs = 0;
      stream.backNs = 0;
      if (stream.highest >= line) MarkCaughtUp(stream);
    }
  }

  // One wait of at most timeoutMs and everything it allows; streams due to
  // come back are opened first.
  void Poll(int timeoutMs) {
    ReopenDue();
    epoll_event events[512];
    const int ready = ::epoll_wait(m_epoll.Get(), events, 512, timeoutMs);
    for (int i = 0; i < ready; ++i) Service(events[i].data.u64, events[i].events);
  }

  // Connects one stream (with the id it saw last, if any).
  void OpenOne(size_t index) { Open(index); }

  // Polls until done() holds; false when no stream came back, caught up or
  // got a numbered line for stallMs before that.
  template <class Done>
  bool RunUntil(Done done, int stallMs) {
    long before = -1;
    auto lastProgress = Clock::now();
    while (!done()) {
      Poll(50);
      const long progress = m_linesSeen + m_caughtUp + m_backs;
      if (progress != before) {
        before = progress;
        lastProgress = Clock::now();
      } else if (MsSince(lastProgress) >= stallMs) {
        return false;
      }
    }
    return true;
  }

  int CaughtUp() const { return m_caughtUp; }
  int Back() const { return m_backs; }

  // The room's position as the last `reset` gave it ("epoch-offset"), the id
  // a stream that has seen the room up to there would send.
  const std::string& ResetPosition() const { return m_resetPosition; }

  // Times (ns on the clock of NowNs) of the streams that came back / caught up.
  std::vector<int64_t> BackTimes() const { return TimesOf(&Stream::backNs); }
  std::vector<int64_t> CaughtUpTimes() const { return TimesOf(&Stream::caughtUpNs); }

  struct Tally {
    long missing = 0;  // numbered lines below the count that a stream never got
    long doubled = 0;  // arrivals beyond the first of a line in a stream
    long resets = 0;
    long byes = 0;
    long reopens = 0;  // reconnects after a close or a failed connect
    long refused = 0;  // answers other than 200 (the stream is given up)
    int streamsMissing = 0;
  };

  Tally TallyLines(int lines) const {
    Tally tally;
    for (const Stream& stream : m_streams) {
      long missing = 0;
      for (int line = 0; line < lines && line < static_cast<int>(stream.seen.size()); ++line) {
        if (stream.seen[static_cast<size_t>(line)] == 0) ++missing;
        if (stream.seen[static_cast<size_t>(line)] > 1) tally.doubled += stream.seen[static_cast<size_t>(line)] - 1;
      }
      tally.missing += missing;
      tally.streamsMissing += missing > 0;
      tally.resets += stream.resets;
      tally.byes += stream.byes;
      tally.reopens += stream.reopens;
      tally.refused += stream.refused;
    }
    return tally;
  }

  // The `retry` the server announced (its last word on it).
  int RetryMs() const { return m_retryMs; }

 private:
  enum class State { kClosed, kConnecting, kHead, kEvents, kGivenUp };

  struct Stream {
    Stream(std::string s, int maxLines) : session(std::move(s)), seen(static_cast<size_t>(maxLines), 0) {}
    std::string session;
    Descriptor fd;
    State state = State::kClosed;
    std::string input;
    std::string lastId;
    std::vector<uint8_t> seen;  // arrivals of each numbered line
    int highest = -1;
    int resets = 0, byes = 0, reopens = 0, refused = 0;
    int64_t reopenDueNs = 0;  // when a closed stream comes back; 0: not planned
    int64_t backNs = 0, caughtUpNs = 0;
  };

  std::vector<int64_t> TimesOf(int64_t Stream::*field) const {
    std::vector<int64_t> times;
    for (const Stream& stream : m_streams) {
      if (stream.*field != 0) times.push_back(stream.*field);
    }
    return times;
  }

  std::string Request(const Stream& stream) const {
    std::string request = "GET /events?session=" + stream.session + " HTTP/1.1\r\nHost: bench\r\n"
                          "Accept: text/event-stream\r\n";
    if (!stream.lastId.empty()) request += "Last-Event-ID: " + stream.lastId + "\r\n";
    return request + "\r\n";
  }

  void Open(size_t index) {
    Stream& stream = m_streams[index];
    stream.input.clear();
    stream.reopenDueNs = 0;
    stream.fd = Descriptor(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    const sockaddr_in address = LoopbackAddress(m_port);
    if (!stream.fd.Valid() ||
        (::connect(stream.fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 &&
         errno != EINPROGRESS)) {
      Lost(stream);
      return;
    }
    stream.state = State::kConnecting;
    epoll_event event{};
    event.events = EPOLLOUT | EPOLLIN;
    event.data.u64 = index;
    ::epoll_ctl(m_epoll.Get(), EPOLL_CTL_ADD, stream.fd.Get(), &event);
  }

  // Closed by the server or never connected: back after the retry time.
  void Lost(Stream& stream) {
    stream.fd.Reset();
    stream.state = State::kClosed;
    stream.reopenDueNs = NowNs() + static_cast<int64_t>(m_retryMs) * 1'000'000;
  }

  void ReopenDue() {
    const int64_t now = NowNs();
    for (size_t i = 0; i < m_streams.size(); ++i) {
      if (m_streams[i].reopenDueNs != 0 && m_streams[i].reopenDueNs <= now) {
        ++m_streams[i].reopens;
        Open(i);
      }
    }
  }

  void Service(size_t index, uint32_t events) {
    Stream& stream = m_streams[index];
    if (stream.state == State::kConnecting) {
      int error = 0;
      socklen_t size = sizeof error;
      ::getsockopt(stream.fd.Get(), SOL_SOCKET, SO_ERROR, &error, &size);
      if (error != 0 || !SendAll(stream.fd.Get(), Request(stream))) return Lost(stream);
      stream.state = State::kHead;
      epoll_event event{};
      event.events = EPOLLIN;
      event.data.u64 = index;
      ::epoll_ctl(m_epoll.Get(), EPOLL_CTL_MOD, stream.fd.Get(), &event);
      if (!(events & EPOLLIN)) return;
    }
    static thread_local char buffer[65536];
    for (;;) {
      const ssize_t n = ::recv(stream.fd.Get(), buffer, sizeof buffer, MSG_DONTWAIT);
      if (n > 0) {
        Take(stream, buffer, static_cast<size_t>(n));
        if (stream.state == State::kGivenUp) return;
        if (static_cast<size_t>(n) < sizeof buffer) return;
      } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
        return;
      } else {
        return Lost(stream);
      }
    }
  }

  void Take(Stream& stream, const char* data, size_t size) {
    for (size_t i = 0; i < size; ++i) {
      if (data[i] != '\r') stream.input.push_back(data[i]);
    }
    if (stream.state == State::kHead) {
      const size_t headEnd = stream.input.find("\n\n");
      if (headEnd == std::string::npos) return;
      const int status = stream.input.compare(0, 5, "HTTP/") == 0 ? std::atoi(stream.input.c_str() + 9) : 0;
      if (status != 200) {
        ++stream.refused;
        stream.fd.Reset();
        stream.state = State::kGivenUp;
        return;
      }
      stream.state = State::kEvents;
      if (stream.backNs == 0) {
        stream.backNs = NowNs();
        ++m_backs;
      }
      stream.input.erase(0, headEnd + 2);
    }
    size_t end;
    while ((end = stream.input.find("\n\n")) != std::string::npos) {
      TakeEvent(stream, std::string_view(stream.input).substr(0, end));
      stream.input.erase(0, end + 2);
    }
  }

  // One event's fields: id, event, data, retry; comments (keep-alives) skipped.
  void TakeEvent(Stream& stream, std::string_view block) {
    std::string_view type = "message", data;
    while (!block.empty()) {
      const size_t eol = block.find('\n');
      const std::string_view line = block.substr(0, eol);
      block = eol == std::string_view::npos ? std::string_view() : block.substr(eol + 1);
      if (line.rfind("id: ", 0) == 0) stream.lastId = std::string(line.substr(4));
      if (line.rfind("event: ", 0) == 0) type = line.substr(7);
      if (line.rfind("data: ", 0) == 0) data = line.substr(6);
      if (line.rfind("retry: ", 0) == 0) m_retryMs = std::atoi(std::string(line.substr(7)).c_str());
    }
    if (type == "reset") {
      ++stream.resets;
      m_resetPosition = JsonField(data, "epoch") + "-" + JsonField(data, "offset");
    }
    if (type == "bye") ++stream.byes;
    if (type == "line") TakeLine(stream, data);
  }

  // A string or number field of a flat JSON object ("" when absent).
  static std::string JsonField(std::string_view json, const std::string& name) {
    const std::string key = "\"" + name + "\":";
    const size_t at = json.find(key);
    if (at == std::string_view::npos) return "";
    std::string_view value = json.substr(at + key.size());
    if (!value.empty() && value[0] == '"') value = value.substr(1, value.find('"', 1) - 1);
    else value = value.substr(0, value.find_first_of(",}"));
    return std::string(value);
  }

  void TakeLine(Stream& stream, std::string_view data) {
    static const std::string kText = "\"text\":\"Zq";
    const size_t at = data.find(kText);
    if (at == std::string_view::npos) return;  // a notice, not a numbered line
    const int line = std::atoi(std::string(data.substr(at + kText.size(), 12)).c_str());
    if (line < 0 || line >= static_cast<int>(stream.seen.size())) return;
    uint8_t& arrivals = stream.seen[static_cast<size_t>(line)];
    if (arrivals < 255) ++arrivals;
    ++m_linesSeen;
    if (line > stream.highest) stream.highest = line;
    if (stream.caughtUpNs == 0 && m_catchUpLine >= 0 && stream.highest >= m_catchUpLine) MarkCaughtUp(stream);
  }

  void MarkCaughtUp(Stream& stream) {
    stream.caughtUpNs = NowNs();
    ++m_caughtUp;
  }

  const int m_port;
  Descriptor m_epoll;
  std::vector<Stream> m_streams;
  int m_retryMs = kDefaultRetryMs;
  int m_catchUpLine = -1;
  int m_caughtUp = 0;
  int m_backs = 0;
  long m_linesSeen = 0;
  std::string m_resetPosition;
};

}  // namespace bench
