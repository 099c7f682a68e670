// Event streams coming back after a load balancer restart. Starts the server
// binary in a scratch copy of the site; STREAMS users register, log on and
// enter one room as the pages do, and each holds an event stream (GET
// /events). One of them says a numbered line RATE times a second through
// the JSON API on one kept connection, all along. After STEADY_SECONDS every
// stream is cut at once; the lines keep coming; after the `retry` the
// server announced, every stream reconnects at once with the id of the last
// event it saw (Last-Event-ID), as EventSource does. TAIL_SECONDS after the
// last stream has caught up, the lines stop.
//
//   tolvan_resume_bench BINARY SITE_DIR STREAMS [RATE=5] [STEADY_SECONDS=3] [TAIL_SECONDS=3]
//
// Reported: the time from the reconnects until every stream is back (its
// answer's head) and until every stream has the last line said before they
// reconnected (caught up), beside the time the same streams took to open
// at setup (without history to replay); every numbered line missing from a
// stream or arriving twice; the resets the streams got; the server's
// resident memory before the cut, after and at its peak (sampled every
// 50 ms), and its CPU during the recovery beside the steady phase's.
//
// The setup streams open at the room's position (the first stream's reset
// gives it) as a client that has seen the room before, so that 10,000
// streams do not each replay the room's enter notices first. The room keeps
// the most history lines the server allows, so the gap stays covered.
#include <atomic>
#include <climits>
#include <stdexcept>
#include <thread>

#include "api_client.h"
#include "bench_support.h"
#include "chat_members.h"
#include "event_streams.h"
#include "line_arrivals.h"

namespace {
using namespace bench;

constexpr int kStallMs = 20000;         // no progress this long: the run ends where it is
constexpr int kRecoveryBoundSeconds = 60;  // lines allotted for a recovery this slow
constexpr int kSampleMs = 50;
const std::string kLongHistoryIni = "[general]\nhistory_lines = 1000\n";

// One member says LineMarker(0), (1), ... at a fixed rate through POST
// /api/say on one kept connection until stopped (or a line is refused).
class RatePoster {
 public:
  RatePoster(int port, std::string session, int rate, int maxLines)
      : m_api(port), m_session(std::move(session)), m_rate(rate), m_maxLines(maxLines) {
    m_thread = std::thread([this] { Post(); });
  }
  ~RatePoster() { Stop(); }
  RatePoster(const RatePoster&) = delete;
  RatePoster& operator=(const RatePoster&) = delete;

  // Lines the server has answered 204 so far.
  int Said() const { return m_said; }
  bool Failed() const { return m_failed; }
  void Stop() {
    m_stop = true;
    if (m_thread.joinable()) m_thread.join();
  }

 private:
  void Post() {
    const auto start = Clock::now();
    for (int line = 0; line < m_maxLines && !m_stop; ++line) {
      std::this_thread::sleep_until(start + std::chrono::microseconds(1'000'000LL * line / m_rate));
      const int status =
          m_api.Post("/api/say", "{\"session\":\"" + m_session + "\",\"text\":\"" + LineMarker(line) + "\"}");
      if (status != 204) {
        std::fprintf(stderr, "line %d: answered %d; no more lines\n", line, status);
        m_failed = true;
        return;
      }
      m_said = line + 1;
    }
  }

  KeptApiConnection m_api;
  const std::string m_session;
  const int m_rate;
  const int m_maxLines;
  std::atomic<int> m_said{0};
  std::atomic<bool> m_failed{false};
  std::atomic<bool> m_stop{false};
  std::thread m_thread;
};

// Seconds from a moment to each of the times (ns of NowNs), sorted.
std::vector<double> SecondsAfter(int64_t fromNs, const std::vector<int64_t>& times) {
  std::vector<double> seconds;
  for (const int64_t t : times) seconds.push_back(static_cast<double>(t - fromNs) / 1e9);
  return seconds;
}

// The kernel's count of connections dropped because a listen queue was full
// (TcpExt ListenDrops in /proc/net/netstat): counts every listener of this
// machine, so it says how often the burst met the server's accept queue.
long ListenDrops() {
  std::ifstream netstat("/proc/net/netstat");
  std::string names, values;
  while (std::getline(netstat, names) && std::getline(netstat, values)) {
    if (names.rfind("TcpExt:", 0) != 0) continue;
    std::istringstream nameWords(names), valueWords(values);
    std::string name, value;
    while (nameWords >> name && valueWords >> value) {
      if (name == "ListenDrops") return std::atol(value.c_str());
    }
  }
  return 0;
}

double Longest(const std::vector<double>& values) { return Percentile(values, 1.0); }

// Polls the streams for the given time.
void Hold(EventStreams& streams, int ms) {
  const auto start = Clock::now();
  streams.RunUntil([&] { return MsSince(start) >= ms; }, INT_MAX);
}

int Run(const std::string& binary, const std::string& site, int count, int rate, int steadySeconds,
        int tailSeconds) {
  const ScratchServer server(binary, site, RoomsIni(1) + kLongHistoryIni);
  if (!server.Running()) throw std::runtime_error("the server did not start");
  const int port = server.Port();
  const pid_t pid = server.Pid();
  const std::vector<Member> members = EnrolMany(port, "r", count, count);
  std::vector<std::string> sessions;
  for (const Member& member : members) sessions.push_back(member.session);
  const int maxLines = rate * (steadySeconds + tailSeconds + kRecoveryBoundSeconds + 10);
  EventStreams streams(port, sessions, maxLines);

  // The first stream learns the room's position; the others open there, all at once.
  streams.OpenOne(0);
  if (!streams.RunUntil([&] { return !streams.ResetPosition().empty(); }, 10000)) {
    throw std::runtime_error("the first event stream got no reset");
  }
  const long openDropsBefore = ListenDrops();
  const double openCpuBefore = CpuSeconds(pid);
  const int64_t openNs = NowNs();
  streams.OpenAll(streams.ResetPosition());
  if (!streams.RunUntil([&] { return streams.Back() == count; }, kStallMs)) {
    throw std::runtime_error("only " + std::to_string(streams.Back()) + " event streams opened");
  }
  const double openSeconds = Longest(SecondsAfter(openNs, streams.BackTimes()));
  const long openDrops = ListenDrops() - openDropsBefore;
  const double openCpuSeconds = CpuSeconds(pid) - openCpuBefore;
  const long rssOpen = ResidentKb(pid);
  RssSampler rss(pid, kSampleMs);

  // Steady: every stream reads the lines as they come.
  RatePoster poster(port, members[0].session, rate, maxLines);
  const double steadyCpuBefore = CpuSeconds(pid);
  Hold(streams, steadySeconds * 1000);
  const double steadyCpuPct = 100.0 * (CpuSeconds(pid) - steadyCpuBefore) / steadySeconds;
  const long resetsBefore = streams.TallyLines(0).resets;
  const int saidBeforeCut = poster.Said();
  const long rssBeforeCut = ResidentKb(pid);

  // The cut, the wait EventSource makes, then every stream back at once.
  streams.DropAll();
  const int downMs = streams.RetryMs();
  std::this_thread::sleep_for(std::chrono::milliseconds(downMs));
  const int catchUpLine = poster.Said() - 1;
  streams.SetCatchUpLine(catchUpLine);
  const double cpuBefore = CpuSeconds(pid), benchCpuBefore = CpuSeconds(::getpid());
  const long dropsBefore = ListenDrops();
  const int64_t reconnectNs = NowNs();
  streams.OpenAll();
  const bool recovered = streams.RunUntil([&] { return streams.CaughtUp() == count; }, kStallMs);
  const double recoverySeconds = static_cast<double>(NowNs() - reconnectNs) / 1e9;
  const double recoveryCpuSeconds = CpuSeconds(pid) - cpuBefore;
  const long recoveryDrops = ListenDrops() - dropsBefore;
  const double benchCpuPct = 100.0 * (CpuSeconds(::getpid()) - benchCpuBefore) / recoverySeconds;
  const std::vector<double> back = SecondsAfter(reconnectNs, streams.BackTimes());
  const std::vector<double> caughtUp = SecondsAfter(reconnectNs, streams.CaughtUpTimes());
  const int backCount = streams.Back(), caughtUpCount = streams.CaughtUp();

  // Live again: the tail's lines, then the last one everywhere.
  Hold(streams, tailSeconds * 1000);
  poster.Stop();
  const int lines = poster.Said();
  streams.SetCatchUpLine(lines - 1);
  const bool complete = streams.RunUntil([&] { return streams.CaughtUp() == count; }, kStallMs / 4);
  const long rssAfter = ResidentKb(pid);
  const long rssMost = rss.Stop();
  const EventStreams::Tally tally = streams.TallyLines(lines);

  std::printf("result bench=resume streams=%d rate=%d lines=%d said_before_cut=%d gap_lines=%d down_ms=%d "
              "open_s=%.3f back=%d back_p50_s=%.3f back_s=%.3f caught_up=%d caught_up_p50_s=%.3f caught_up_s=%.3f "
              "recovered=%d complete=%d missing=%ld doubled=%ld streams_missing=%d resets=%ld byes=%ld reopens=%ld "
              "refused=%ld posts_failed=%d rss_open_kb=%ld rss_before_kb=%ld rss_after_kb=%ld rss_most_kb=%ld "
              "steady_cpu_pct=%.1f recovery_cpu_pct=%.1f recovery_cpu_ms_per_stream=%.3f open_cpu_ms_per_stream=%.3f bench_cpu_pct=%.1f "
              "open_listen_drops=%ld listen_drops=%ld\n",
              count, rate, lines, saidBeforeCut, catchUpLine + 1 - saidBeforeCut, downMs, openSeconds, backCount,
              Percentile(back, 0.5), Longest(back), caughtUpCount, Percentile(caughtUp, 0.5), Longest(caughtUp),
              recovered ? 1 : 0, complete ? 1 : 0, tally.missing, tally.doubled, tally.streamsMissing,
              tally.resets - resetsBefore, tally.byes, tally.reopens, tally.refused, poster.Failed() ? 1 : 0,
              rssOpen, rssBeforeCut, rssAfter, rssMost, steadyCpuPct, 100.0 * recoveryCpuSeconds / recoverySeconds,
              1000.0 * recoveryCpuSeconds / count, 1000.0 * openCpuSeconds / count, benchCpuPct, openDrops, recoveryDrops);
  return recovered && complete && tally.missing == 0 && tally.doubled == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  RaiseOpenFileLimit();
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() < 3) {
    std::fprintf(stderr, "usage: tolvan_resume_bench BINARY SITE_DIR STREAMS [RATE] [STEADY_SECONDS] [TAIL_SECONDS]\n");
    return 2;
  }
  try {
    return Run(args[0], args[1], std::stoi(args[2]), args.size() > 3 ? std::stoi(args[3]) : 5,
               args.size() > 4 ? std::stoi(args[4]) : 3, args.size() > 5 ? std::stoi(args[5]) : 3);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "tolvan_resume_bench: %s\n", error.what());
    return 1;
  }
}
