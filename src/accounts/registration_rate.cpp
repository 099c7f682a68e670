#include "accounts/registration_rate.h"

#include <algorithm>

#include "foundation/settings.h"
#include "platform/clock.h"

namespace {
constexpr std::int64_t kMinuteMs = 60'000;
}  // namespace

int ReadRegistrationsPerMinute() { return std::max(0, GetSettingInt("user_database", "registrations_per_minute")); }

bool CRegistrationRate::Take(const std::string& address) {
  if (m_perMinute <= 0) return true;
  const std::int64_t now = platform::MonotonicMs();
  std::lock_guard<std::mutex> guard(m_lock);
  DropFullBuckets(now);
  const auto [found, added] = m_buckets.try_emplace(address, Bucket{static_cast<double>(m_perMinute), now});
  Bucket& bucket = found->second;
  const double refill = static_cast<double>(now - bucket.atMs) * m_perMinute / kMinuteMs;
  bucket.tokens = std::min<double>(m_perMinute, bucket.tokens + refill);
  bucket.atMs = now;
  if (bucket.tokens < 1) {
    ++m_refused;
    return false;
  }
  bucket.tokens -= 1;
  return true;
}

std::uint64_t CRegistrationRate::Refused() const {
  std::lock_guard<std::mutex> guard(m_lock);
  return m_refused;
}

// A bucket untouched for a minute is full again: the same as none.
void CRegistrationRate::DropFullBuckets(std::int64_t now) {
  if (now - m_lastSweepMs < kMinuteMs) return;
  m_lastSweepMs = now;
  std::erase_if(m_buckets, [now](const auto& entry) { return now - entry.second.atMs >= kMinuteMs; });
}
