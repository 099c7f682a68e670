// How fast one session may speak: a bucket of [general] line_burst lines
// that refills at [general] lines_per_minute, so a human who types fast for
// a moment is never stopped, while a client that posts without pause gets
// one line a second (at 60) into the room, not thousands. Off unless both
// keys are above 0.
#pragma once

#include <atomic>
#include <cstdint>

struct LineRate {
  int burst = 0;       // [general] line_burst
  int perMinute = 0;   // [general] lines_per_minute

  bool On() const { return burst > 0 && perMinute > 0; }
};

// The bucket of one session. It keeps a single time, the moment it would be
// full again, and takes a line with one compare-and-swap: the lines of
// many loops never wait for each other, nor take a lock.
class CLineBudget {
 public:
  // True when the line may be said at nowMs (it is counted); always true
  // when the rate is off.
  bool Take(const LineRate& rate, std::int64_t nowMs);

 private:
  std::atomic<std::int64_t> m_fullAtMs{0};
};
