#include "nodelink/node_liveness.h"

#include <algorithm>

#include "platform/clock.h"

void CNodeLiveness::Seen(const std::string& node) {
  std::lock_guard<std::mutex> lock(m_lock);
  m_lastListed.try_emplace(node, platform::MonotonicMs());
}

void CNodeLiveness::Forget(const std::string& node) {
  std::lock_guard<std::mutex> lock(m_lock);
  m_lastListed.erase(node);
}

void CNodeLiveness::Restart() {
  std::lock_guard<std::mutex> lock(m_lock);
  const std::int64_t now = platform::MonotonicMs();
  for (auto& [node, listed] : m_lastListed) listed = now;
}

std::vector<std::string> CNodeLiveness::Listed(const std::vector<std::string>& listed) {
  std::vector<std::string> missing;
  std::lock_guard<std::mutex> lock(m_lock);
  const std::int64_t now = platform::MonotonicMs();
  for (const std::string& node : listed) m_lastListed[node] = now;
  for (auto entry = m_lastListed.begin(); entry != m_lastListed.end();) {
    if (now - entry->second > m_absentLimitMs) {
      missing.push_back(entry->first);
      entry = m_lastListed.erase(entry);
    } else {
      ++entry;
    }
  }
  return missing;
}
