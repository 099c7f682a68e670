// CBurstReport: the console's account of requests refused under load, said
// once per burst rather than once per request: a line when refusals start
// (with the reason of the first), a line a minute with the count while they
// go on, and the count once they are over (the first request served a
// second after the last refusal ends the burst). Any thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

namespace platform {

class CBurstReport {
 public:
  // subject begins every line ("account work busy").
  explicit CBurstReport(std::string subject) : m_subject(std::move(subject)) {}

  // One request refused, and why.
  void Refused(std::string_view reason);
  // One request served.
  void Served();

 private:
  const std::string m_subject;
  std::atomic<bool> m_inBurst{false};
  std::mutex m_lock;
  std::int64_t m_startMs = 0;       // guarded by m_lock, like the rest
  std::int64_t m_lastRefusalMs = 0;
  std::int64_t m_lastLineMs = 0;
  std::uint64_t m_refused = 0;       // in this burst
  std::uint64_t m_refusedSinceLine = 0;
};

}  // namespace platform
