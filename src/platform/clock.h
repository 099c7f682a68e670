// Wall-clock seconds since the epoch. Sweeps, expiry, purges and deadlines
// read the time here, so tests move the clock instead of sleeping.
#pragma once

#include <cstdint>
#include <ctime>

namespace platform {

std::time_t Now();
// Wall-clock milliseconds since the epoch, as other machines stamp what
// they write (a Redis stream id); the test hooks below do not move it.
std::int64_t WallClockMs();
// Milliseconds of a clock that never steps back, for timers and intervals
// (the test hooks below do not move it).
std::int64_t MonotonicMs();
// The same clock in microseconds, for timing short work.
std::int64_t MonotonicUs();

// Test hooks: shift the clock by a number of seconds (cumulative), or put it
// back to the real time.
void AdvanceClockForTests(std::time_t seconds);
void ResetClockForTests();

}  // namespace platform
