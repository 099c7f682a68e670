// CRegistrationRate: registrations per client address, a bucket of
// [user_database] registrations_per_minute registrations that refills at
// that many a minute (no cap when absent or 0), so one address cannot make
// throwaway accounts by the hundred. Any thread.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>

class CRegistrationRate {
 public:
  explicit CRegistrationRate(int perMinute) : m_perMinute(perMinute) {}

  // True when the address may register now; the registration is counted.
  bool Take(const std::string& address);
  std::uint64_t Refused() const;

 private:
  struct Bucket {
    double tokens = 0;
    std::int64_t atMs = 0;  // when tokens was right
  };
  void DropFullBuckets(std::int64_t now);  // m_lock held

  const int m_perMinute;
  mutable std::mutex m_lock;
  std::unordered_map<std::string, Bucket> m_buckets;  // guarded by m_lock; a full bucket need not be kept
  std::int64_t m_lastSweepMs = 0;                     // guarded by m_lock
  std::uint64_t m_refused = 0;                        // guarded by m_lock
};

// [user_database] registrations_per_minute, 0 when absent.
int ReadRegistrationsPerMinute();
