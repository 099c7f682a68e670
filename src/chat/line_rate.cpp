#include "chat/line_rate.h"

#include <algorithm>

namespace {
constexpr std::int64_t kMinuteMs = 60'000;
}  // namespace

bool CLineBudget::Take(const LineRate& rate, std::int64_t nowMs) {
  if (!rate.On()) return true;
  // Each line moves the moment the bucket is full again one interval later;
  // a line that would move it further than the whole bucket is refused.
  const std::int64_t interval = std::max<std::int64_t>(1, kMinuteMs / rate.perMinute);
  const std::int64_t bucket = interval * rate.burst;
  std::int64_t fullAt = m_fullAtMs.load(std::memory_order_relaxed);
  for (;;) {
    const std::int64_t next = std::max(fullAt, nowMs) + interval;
    if (next - nowMs > bucket) return false;
    if (m_fullAtMs.compare_exchange_weak(fullAt, next, std::memory_order_relaxed)) return true;
  }
}
