#include "platform/burst_report.h"

#include "platform/clock.h"
#include "platform/console.h"

namespace platform {
namespace {
constexpr std::int64_t kQuietToEndMs = 1000;   // a burst is over once refusals stop this long
constexpr std::int64_t kLineEveryMs = 60000;   // while it goes on, one line a minute
}  // namespace

void CBurstReport::Refused(std::string_view reason) {
  const std::int64_t now = MonotonicMs();
  std::lock_guard<std::mutex> guard(m_lock);
  m_lastRefusalMs = now;
  ++m_refused;
  ++m_refusedSinceLine;
  if (!m_inBurst.exchange(true)) {
    m_startMs = m_lastLineMs = now;
    m_refusedSinceLine = 0;
    ConsolePrintf("%s: %.*s; refusing until it eases\n", m_subject.c_str(), static_cast<int>(reason.size()),
                  reason.data());
  } else if (now - m_lastLineMs >= kLineEveryMs) {
    ConsolePrintf("%s: %llu refused in the last %lld s (%.*s)\n", m_subject.c_str(),
                  static_cast<unsigned long long>(m_refusedSinceLine), static_cast<long long>((now - m_lastLineMs) / 1000),
                  static_cast<int>(reason.size()), reason.data());
    m_lastLineMs = now;
    m_refusedSinceLine = 0;
  }
}

void CBurstReport::Served() {
  if (!m_inBurst.load(std::memory_order_relaxed)) return;
  const std::int64_t now = MonotonicMs();
  std::lock_guard<std::mutex> guard(m_lock);
  if (!m_inBurst || now - m_lastRefusalMs < kQuietToEndMs) return;
  ConsolePrintf("%s: over, %llu refused in %lld s\n", m_subject.c_str(), static_cast<unsigned long long>(m_refused),
                static_cast<long long>((m_lastRefusalMs - m_startMs) / 1000 + 1));
  m_inBurst = false;
  m_refused = 0;
}

}  // namespace platform
