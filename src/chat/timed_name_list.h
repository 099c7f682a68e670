// CTimedNameList: the kick list (names) and the ban list (IP addresses).
// Entries expire: a purge drops those older than its age, at most once per
// 50 seconds. The chat core guards both lists with its lock.
#pragma once

#include <ctime>
#include <deque>
#include <string>
#include <unordered_map>

inline constexpr int kKickAge = 300;       // seconds a kicked name stays blocked
inline constexpr int kBanAge = 600;        // seconds a banned address stays blocked
inline constexpr int kPurgeInterval = 50;  // seconds between purges at least

class CTimedNameList {
 public:
  CTimedNameList();

  void Add(const std::string& text);
  bool Find(const std::string& text) const { return m_counts.count(text) != 0; }
  void Purge(int age);
  size_t Count() const { return m_entries.size(); }

 private:
  struct Entry {
    std::string text;
    std::time_t added;
  };
  std::deque<Entry> m_entries;  // oldest first
  std::unordered_map<std::string, int> m_counts;
  std::time_t m_lastPurge;
};
