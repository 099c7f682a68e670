#include "chat/manager_list.h"

bool CManagerList::FindEntry(const std::string& name, const std::string& room) const {
  return m_byPair.count(Key(name, room)) != 0;
}

void CManagerList::AddEntry(const std::string& name, const std::string& room) {
  if (name.empty() || room.empty() || FindEntry(name, room)) return;
  m_entries.push_front(Entry{ManagerEntry{name, room}, m_nextOrder++});
  m_byPair.emplace(Key(name, room), m_entries.begin());
  m_byRoom.emplace(room, m_entries.begin());
}

void CManagerList::Erase(Iterator it) {
  m_byPair.erase(Key(it->entry.name, it->entry.room));
  const auto [first, last] = m_byRoom.equal_range(it->entry.room);
  for (auto at = first; at != last; ++at) {
    if (at->second == it) {
      m_byRoom.erase(at);
      break;
    }
  }
  m_entries.erase(it);
}

void CManagerList::RemoveEntry(const std::string& name, const std::string& room) {
  const auto found = m_byPair.find(Key(name, room));
  if (found != m_byPair.end()) Erase(found->second);
}

void CManagerList::RemoveRoomEntries(const std::string& room) {
  std::vector<Iterator> doomed;
  const auto [first, last] = m_byRoom.equal_range(room);
  for (auto at = first; at != last; ++at) doomed.push_back(at->second);
  for (Iterator it : doomed) Erase(it);
}

std::optional<std::string> CManagerList::FindByRoom(const std::string& room) const {
  const Entry* first = nullptr;
  const auto [from, to] = m_byRoom.equal_range(room);
  for (auto at = from; at != to; ++at) {
    if (first == nullptr || at->second->order > first->order) first = &*at->second;
  }
  return first != nullptr ? std::optional<std::string>(first->entry.name) : std::nullopt;
}

std::vector<ManagerEntry> CManagerList::Entries() const {
  std::vector<ManagerEntry> entries;
  entries.reserve(m_entries.size());
  for (const Entry& entry : m_entries) entries.push_back(entry.entry);
  return entries;
}

std::string ManagerFileText(const std::vector<ManagerEntry>& entries) {
  std::string text;
  for (const ManagerEntry& entry : entries) text += entry.name + ":" + entry.room + "\n";
  return text;
}
