#include "chat/timed_name_list.h"

#include "platform/clock.h"
#include "platform/process_mutexes.h"

std::unique_ptr<CTimedNameList> g_kickList;
std::unique_ptr<CTimedNameList> g_banList;

CTimedNameList::CTimedNameList() : m_lastPurge(platform::Now()) {}

void CTimedNameList::Add(const std::string& text) {
  if (!text.empty()) m_entries.push_front(Entry{text, platform::Now()});
}

bool CTimedNameList::Find(const std::string& text) const {
  for (const Entry& entry : m_entries) {
    if (entry.text == text) return true;
  }
  return false;
}

void CTimedNameList::Purge(int age) {
  const std::time_t now = platform::Now();
  if (now - m_lastPurge <= kPurgeInterval) return;
  m_lastPurge = now;
  m_entries.remove_if([&](const Entry& entry) { return now - entry.added > age; });
}

namespace {
void AddUnderKickBan(const std::unique_ptr<CTimedNameList>& list, const std::string& text) {
  platform::CMutexGuard guard(platform::GetProcessMutex(platform::ProcessMutex::kKickBan));
  if (guard && list) list->Add(text);
}
}  // namespace

void AddToKickList(const std::string& name) { AddUnderKickBan(g_kickList, name); }
void AddToBanList(const std::string& address) { AddUnderKickBan(g_banList, address); }
