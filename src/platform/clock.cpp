#include "platform/clock.h"

#include <atomic>
#include <thread>  // brings std::chrono; <chrono> itself cannot be built for GB2312

namespace platform {
namespace {
std::atomic<std::time_t> g_offset{0};
}

std::time_t Now() { return std::time(nullptr) + g_offset.load(std::memory_order_relaxed); }
std::int64_t WallClockMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}
std::int64_t MonotonicMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}
std::int64_t MonotonicUs() {
  return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}
void AdvanceClockForTests(std::time_t seconds) { g_offset += seconds; }
void ResetClockForTests() { g_offset = 0; }

}  // namespace platform
