// CManagerList: (manager name, room name) pairs. A room name of "pRoomName"
// marks a manager of no particular room. New entries go first; the file
// "managerlist.txt" and the list shown to users keep that order. The chat
// core guards the list with its lock.
#pragma once

#include <cstdint>
#include <list>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "chat/chat_views.h"

class CManagerList {
 public:
  bool FindEntry(const std::string& name, const std::string& room) const;
  // Nothing for a missing text or an entry already there.
  void AddEntry(const std::string& name, const std::string& room);
  void RemoveEntry(const std::string& name, const std::string& room);
  void RemoveRoomEntries(const std::string& room);
  // The first manager of the room in list order.
  std::optional<std::string> FindByRoom(const std::string& room) const;
  std::vector<ManagerEntry> Entries() const;
  size_t Count() const { return m_entries.size(); }

 private:
  struct Entry {
    ManagerEntry entry;
    std::uint64_t order;  // larger is nearer the head
  };
  using Iterator = std::list<Entry>::iterator;
  static std::string Key(const std::string& name, const std::string& room) { return name + '\n' + room; }
  void Erase(Iterator it);

  std::list<Entry> m_entries;  // head first
  std::unordered_map<std::string, Iterator> m_byPair;
  std::unordered_multimap<std::string, Iterator> m_byRoom;
  std::uint64_t m_nextOrder = 1;
};

// The text of "managerlist.txt": name ":" room "\n" per entry.
std::string ManagerFileText(const std::vector<ManagerEntry>& entries);
