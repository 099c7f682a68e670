#include "platform/clock.h"

#include <atomic>

namespace platform {
namespace {
std::atomic<std::time_t> g_offset{0};
}

std::time_t Now() { return std::time(nullptr) + g_offset.load(std::memory_order_relaxed); }
void AdvanceClockForTests(std::time_t seconds) { g_offset += seconds; }
void ResetClockForTests() { g_offset = 0; }

}  // namespace platform
