// Wall-clock seconds since the epoch. Sweeps, expiry, purges and deadlines
// read the time here, so tests move the clock instead of sleeping.
#pragma once

#include <ctime>

namespace platform {

std::time_t Now();

// Test hooks: shift the clock by a number of seconds (cumulative), or put it
// back to the real time.
void AdvanceClockForTests(std::time_t seconds);
void ResetClockForTests();

}  // namespace platform
