// One member posts numbered lines into a room while the members' message
// streams are watched for them (line_arrivals.h): the next line when the
// POST was answered, when the line reached every receiver, or at a fixed
// rate. The figures, and the server's CPU per line over the run.
#pragma once

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "bench_support.h"
#include "chat_members.h"
#include "line_arrivals.h"

namespace bench {

struct Fanout {
  LineFigures figures;
  double serverCpuMsPerLine = 0;
};

// How the poster paces its lines.
struct Pace {
  bool byLastReceiver = false;
  int linesPerSecond = 0;  // 0: as fast as the answers (or arrivals) allow
};

// Says the line's text; false when the server did not answer.
using SayLine = std::function<bool(const std::string& text)>;

// LINES lines said through say. beforeFirstLine runs once the streams have
// been drained of what came before, as the first line leaves (e.g. to start
// an attack beside it).
inline Fanout PostLines(const ScratchServer& server, const SayLine& say, const std::vector<int>& receivers, int lines,
                        Pace pace, const std::function<void()>& beforeFirstLine = {}) {
  LinePacer pacer(lines);
  LineArrivals arrivals(receivers, pacer);
  arrivals.Drain(300);
  if (beforeFirstLine) beforeFirstLine();
  const double cpuBefore = CpuSeconds(server.Pid());
  std::thread posting([&] {
    try {
      const auto start = Clock::now();
      for (int line = 0; line < lines; ++line) {
        // Evenly spaced (in whole seconds, line * 1 s / rate would send a second's lines at once).
        if (pace.linesPerSecond > 0) {
          std::this_thread::sleep_until(start + std::chrono::microseconds(1'000'000LL * line / pace.linesPerSecond));
        }
        pacer.MarkSent(line);
        if (!say(LineMarker(line))) break;
        if (pace.byLastReceiver && !pacer.WaitComplete(line, 30000)) break;
      }
    } catch (...) {
      // The reader notices the missing lines and stops at its stall limit.
    }
  });
  arrivals.Run(10000);
  const double cpuUsed = CpuSeconds(server.Pid()) - cpuBefore;
  posting.join();
  Fanout result{arrivals.Figures()};
  if (result.figures.complete > 0) result.serverCpuMsPerLine = 1000.0 * cpuUsed / result.figures.complete;
  return result;
}

// The chat form's POST, one connection a line, from the source address when one is given.
inline SayLine ByForm(const ScratchServer& server, const Member& poster, const std::string& source = "") {
  return [port = server.Port(), &poster, source](const std::string& text) { return Say(port, poster, text, source); };
}

// The poster says LINES lines through the chat form.
inline Fanout PostLines(const ScratchServer& server, const Member& poster, const std::vector<int>& receivers,
                        int lines, Pace pace, const std::string& source = "",
                        const std::function<void()>& beforeFirstLine = {}) {
  return PostLines(server, ByForm(server, poster, source), receivers, lines, pace, beforeFirstLine);
}

}  // namespace bench
