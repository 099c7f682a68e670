// CTimedNameList: the kick list (names) and the ban list (IP addresses).
// Entries expire: a purge drops those older than its age, at most once per
// 50 seconds. Callers hold tolKickBan around every use of either list.
#pragma once

#include <ctime>
#include <list>
#include <memory>
#include <string>

inline constexpr int kKickAge = 300;       // seconds a kicked name stays blocked
inline constexpr int kBanAge = 600;        // seconds a banned address stays blocked
inline constexpr int kPurgeInterval = 50;  // seconds between purges at least

class CTimedNameList {
 public:
  CTimedNameList();
  virtual ~CTimedNameList() = default;

  void Add(const std::string& text);
  bool Find(const std::string& text) const;
  void Purge(int age);
  size_t Count() const { return m_entries.size(); }

 private:
  struct Entry {
    std::string text;
    std::time_t added;
  };
  std::list<Entry> m_entries;  // newest first
  std::time_t m_lastPurge;
};

extern std::unique_ptr<CTimedNameList> g_kickList;
extern std::unique_ptr<CTimedNameList> g_banList;

// Adds under tolKickBan; nothing when the lists are gone or the wait fails.
void AddToKickList(const std::string& name);
void AddToBanList(const std::string& address);
