#include "chat/manager_list.h"

#include "chat/user_session.h"
#include "platform/console.h"

std::unique_ptr<CManagerList> g_managerList;

CManagerList::CManagerList() : m_mutex(platform::OpenNamedMutex("tol2manager")) {}

std::optional<CManagerEntry> CManagerList::FindEntry(const std::string& name, const std::string& room) {
  platform::CMutexGuard guard(*m_mutex);
  if (!guard) return std::nullopt;
  for (const CManagerEntry& entry : m_entries) {
    if (entry.name == name && entry.room == room) return entry;
  }
  return std::nullopt;
}

void CManagerList::AddEntry(const std::string& name, const std::string& room) {
  if (name.empty() || room.empty()) return;
  platform::CMutexGuard guard(*m_mutex);
  if (!guard) return;
  for (const CManagerEntry& entry : m_entries) {
    if (entry.name == name && entry.room == room) return;
  }
  m_entries.push_front(CManagerEntry{name, room});
}

void CManagerList::RemoveEntry(const std::string& name, const std::string& room) {
  platform::CMutexGuard guard(*m_mutex);
  if (guard) m_entries.remove_if([&](const CManagerEntry& e) { return e.name == name && e.room == room; });
}

void CManagerList::RemoveRoomEntries(const std::string& room) {
  platform::CMutexGuard guard(*m_mutex);
  if (guard) m_entries.remove_if([&](const CManagerEntry& e) { return e.room == room; });
}

std::optional<CManagerEntry> CManagerList::FindByRoom(const std::string& room) {
  platform::CMutexGuard guard(*m_mutex);
  if (!guard) return std::nullopt;
  for (const CManagerEntry& entry : m_entries) {
    if (entry.room == room) return entry;
  }
  return std::nullopt;
}

void CManagerList::CManagerListToBuffer(CTextBuffer& buffer) {
  platform::CMutexGuard guard(*m_mutex);
  if (!guard) return;
  for (const CManagerEntry& entry : m_entries) {
    try {
      if (entry.room != kNoRoom) buffer.AppendMany("<font color=#ff0000>", entry.name, "</font>(", entry.room, ")");
    } catch (...) {
      platform::ConsoleWrite("catch in CManagerListToBuffer\n");
    }
  }
}

void CManagerList::WriteFileText(CTextBuffer& buffer) {
  platform::CMutexGuard guard(*m_mutex);
  if (!guard) return;
  for (const CManagerEntry& entry : m_entries) {
    try {
      buffer.AppendMany(entry.name, ":", entry.room, "\n");
    } catch (...) {
      platform::ConsoleWrite("catch in CManagerListToBuffer\n");
    }
  }
}

size_t CManagerList::Count() {
  platform::CMutexGuard guard(*m_mutex);
  return guard ? m_entries.size() : 0;
}
