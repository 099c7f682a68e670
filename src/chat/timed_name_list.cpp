#include "chat/timed_name_list.h"

#include "platform/clock.h"

CTimedNameList::CTimedNameList() : m_lastPurge(platform::Now()) {}

void CTimedNameList::Add(const std::string& text) {
  if (text.empty()) return;
  m_entries.push_back(Entry{text, platform::Now()});
  ++m_counts[text];
}

void CTimedNameList::Purge(int age) {
  const std::time_t now = platform::Now();
  if (now - m_lastPurge <= kPurgeInterval) return;
  m_lastPurge = now;
  while (!m_entries.empty() && now - m_entries.front().added > age) {
    const auto count = m_counts.find(m_entries.front().text);
    if (--count->second == 0) m_counts.erase(count);
    m_entries.pop_front();
  }
}
