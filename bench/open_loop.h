// Open-loop fan-out: lines leave at a fixed rate, each when it is due,
// whether or not the ones before it have arrived, and the receivers are
// watched by several reader processes (one process would be the bottleneck
// and would hold every descriptor). A ladder of rates finds the highest at
// which the last receiver's p99 stays under a bound.
#pragma once

#include <sys/mman.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <new>
#include <string>
#include <vector>

#include "bench_support.h"
#include "line_arrivals.h"

namespace bench {

// When line k of a run at linesPerSecond is due, from the run's start.
inline int64_t DueNs(int64_t startNs, int line, double linesPerSecond) {
  return startNs + static_cast<int64_t>(1e9 * line / linesPerSecond);
}

// Sleeps until the time of NowNs().
inline void SleepUntilNs(int64_t ns) {
  const int64_t left = ns - NowNs();
  if (left > 0) std::this_thread::sleep_for(std::chrono::nanoseconds(left));
}

// The receivers split over reader processes; each reads its share until
// every line has reached it (or nothing came for stallMs) and leaves its
// arrivals in shared memory, which Finish sums up.
class SpreadArrivals {
 public:
  SpreadArrivals(const std::vector<int>& receivers, LinePacer& pacer, int readers)
      : m_receivers(receivers),
        m_pacer(pacer),
        m_readers(std::clamp<int>(readers, 1, std::max<int>(1, static_cast<int>(receivers.size())))),
        m_bytes(sizeof(Share) * static_cast<size_t>(m_readers) +
                sizeof(LineShare) * static_cast<size_t>(m_readers) * static_cast<size_t>(pacer.Lines())) {
    void* area = ::mmap(nullptr, m_bytes, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (area == MAP_FAILED) throw std::bad_alloc();
    m_area = static_cast<char*>(area);
  }
  ~SpreadArrivals() {
    for (pid_t pid : m_pids) ::kill(pid, SIGKILL);
    for (pid_t pid : m_pids) ::waitpid(pid, nullptr, 0);
    ::munmap(m_area, m_bytes);
  }
  SpreadArrivals(const SpreadArrivals&) = delete;
  SpreadArrivals& operator=(const SpreadArrivals&) = delete;

  // Forks the readers (the caller must have no other thread running) and
  // returns once each has drained what came before and watches.
  void Start(int stallMs) {
    int ready[2];
    if (::pipe(ready) != 0) throw std::bad_alloc();
    Descriptor readyIn(ready[0]), readyOut(ready[1]);
    for (int reader = 0; reader < m_readers; ++reader) {
      std::fflush(stdout);
      const pid_t pid = ::fork();
      if (pid == 0) {
        readyIn.Reset();
        RunReader(reader, readyOut.Get(), stallMs);
      }
      m_pids.push_back(pid);
    }
    readyOut.Reset();
    char byte;
    for (int reader = 0; reader < m_readers; ++reader) {
      if (::read(readyIn.Get(), &byte, 1) != 1) break;
    }
  }

  // Waits for the readers and sums their arrivals up.
  LineFigures Finish() {
    for (pid_t pid : m_pids) ::waitpid(pid, nullptr, 0);
    m_pids.clear();
    const int lines = m_pacer.Lines();
    LineFigures figures;
    figures.lines = lines;
    int open = 0;
    double bytes = 0;
    for (int reader = 0; reader < m_readers; ++reader) {
      open += ShareOf(reader).open;
      bytes += static_cast<double>(ShareOf(reader).bytes);
      figures.receiversClosed += ShareOf(reader).receivers - ShareOf(reader).open;
    }
    std::vector<double> firsts, lasts;
    int64_t lastCompleteNs = 0;
    for (int line = 0; line < lines; ++line) {
      bool complete = true, reached = false;
      double first = 0, last = 0;
      for (int reader = 0; reader < m_readers; ++reader) {
        const LineShare& got = LineOf(reader, line);
        if (got.reached < ShareOf(reader).open) complete = false;
        if (got.reached == 0) continue;
        first = reached ? std::min(first, got.firstMs) : got.firstMs;
        last = std::max(last, got.lastMs);
        reached = true;
      }
      if (!reached) continue;
      firsts.push_back(first);
      lasts.push_back(last);
      if (!complete) continue;
      ++figures.complete;
      lastCompleteNs = std::max(lastCompleteNs, m_pacer.SentNs(line) + static_cast<int64_t>(last * 1e6));
    }
    figures.firstP50 = Percentile(firsts, 0.5);
    figures.firstP99 = Percentile(firsts, 0.99);
    figures.lastP50 = Percentile(lasts, 0.5);
    figures.lastP99 = Percentile(lasts, 0.99);
    const double seconds = static_cast<double>(lastCompleteNs - m_pacer.SentNs(0)) / 1e9;
    if (figures.complete > 0 && seconds > 0) figures.linesPerSecond = figures.complete / seconds;
    if (figures.complete > 0 && open > 0) figures.bytesPerDelivery = bytes / (static_cast<double>(figures.complete) * open);
    return figures;
  }

 private:
  struct Share {
    int receivers = 0;
    int open = 0;
    size_t bytes = 0;
  };
  struct LineShare {
    int reached = 0;
    double firstMs = 0;
    double lastMs = 0;
  };
  Share& ShareOf(int reader) { return reinterpret_cast<Share*>(m_area)[reader]; }
  LineShare& LineOf(int reader, int line) {
    auto* lines = reinterpret_cast<LineShare*>(m_area + sizeof(Share) * static_cast<size_t>(m_readers));
    return lines[static_cast<size_t>(reader) * static_cast<size_t>(m_pacer.Lines()) + static_cast<size_t>(line)];
  }

  [[noreturn]] void RunReader(int reader, int ready, int stallMs) {
    std::vector<int> mine;
    for (size_t i = static_cast<size_t>(reader); i < m_receivers.size(); i += static_cast<size_t>(m_readers)) {
      mine.push_back(m_receivers[i]);
    }
    LineArrivals arrivals(mine, m_pacer);
    arrivals.Drain(300);
    if (::write(ready, "r", 1) != 1) ::_exit(1);
    arrivals.Run(stallMs);
    Share& share = ShareOf(reader);
    share.receivers = static_cast<int>(mine.size());
    share.open = arrivals.Open();
    share.bytes = arrivals.Bytes();
    for (int line = 0; line < m_pacer.Lines(); ++line) {
      LineOf(reader, line) = LineShare{arrivals.Reached(line), arrivals.FirstMs(line), arrivals.LastMs(line)};
    }
    ::_exit(0);
  }

  const std::vector<int> m_receivers;
  LinePacer& m_pacer;
  const int m_readers;
  const size_t m_bytes;
  char* m_area = nullptr;
  std::vector<pid_t> m_pids;
};

// One open-loop run at a rate; its figures and a note to print beside them.
struct RateRun {
  LineFigures figures;
  std::string note;  // "key=value ..." the caller adds
};

// Whether a run at some rate kept up: every line reached everybody and the
// last receiver's p99 stayed under the bound.
inline bool KeptUp(const LineFigures& f, double boundMs) {
  return f.lines > 0 && f.complete == f.lines && f.lastP99 <= boundMs;
}

// Climbs from the first rate by the factor while runs keep up (or steps
// down from it, a few steps at most, until one does), then halves
// the gap (geometrically) between the last rate that kept up and the first
// that did not, `refinements` times. Prints a result line per run (phase
// "r<rate>") and last the highest rate that kept up (phase "best"), with
// that run's figures.
inline constexpr int kStepsDown = 4;

inline void FindHighestRate(const std::string& label, double firstRate, double factor, double highest,
                            int refinements, double boundMs, const std::function<RateRun(double)>& runAt) {
  double good = 0, bad = 0;
  RateRun best;
  const auto attempt = [&](double rate) {
    const RateRun run = runAt(rate);
    const bool kept = KeptUp(run.figures, boundMs);
    std::printf("result %s phase=r%.0f lines_per_s_posted=%.1f kept_up=%d %s %s\n", label.c_str(), rate, rate,
                kept ? 1 : 0, Describe(run.figures).c_str(), run.note.c_str());
    if (kept && rate > good) {
      good = rate;
      best = run;
    }
    if (!kept && (bad == 0 || rate < bad)) bad = rate;
    return kept;
  };
  for (double rate = firstRate; rate <= highest && attempt(rate); rate *= factor) {
  }
  // Not even the first rate: down the ladder until one keeps up.
  for (double rate = firstRate / factor; good == 0 && rate >= firstRate / std::pow(factor, kStepsDown); rate /= factor) {
    attempt(rate);
  }
  for (int step = 0; step < refinements && good > 0 && bad > 0; ++step) attempt(std::sqrt(good * bad));
  std::printf("result %s phase=best best_lines_per_s=%.1f first_failing_lines_per_s=%.1f bound_ms=%.0f %s %s\n",
              label.c_str(), good, bad, boundMs, Describe(best.figures).c_str(), best.note.c_str());
}

}  // namespace bench
