#include "chat/sanction_lists.h"

#include "platform/clock.h"

CSanctionLists::CSanctionLists() : m_lastPurge(platform::Now()) {}

bool CSanctionLists::PurgeDue() {
  const std::time_t now = platform::Now();
  std::time_t last = m_lastPurge;
  return now - last > kPurgeInterval && m_lastPurge.compare_exchange_strong(last, now);
}

void CSanctionLists::Purge() {
  m_bans.Purge(kBanAge);
  m_kicks.Purge(kKickAge);
}
