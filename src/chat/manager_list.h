// The manager list: (manager name, room name) pairs, in g_managerList, read
// from "managerlist.txt" at each load. A room name of "pRoomName" marks a
// manager of no particular room.
#pragma once

#include <list>
#include <memory>
#include <optional>
#include <string>

#include "foundation/text_buffer.h"
#include "platform/named_mutex.h"

struct CManagerEntry {
  std::string name;
  std::string room;
};

class CManagerList {
 public:
  CManagerList();
  virtual ~CManagerList() = default;

  std::optional<CManagerEntry> FindEntry(const std::string& name, const std::string& room);
  // Nothing for a missing text or an entry already there; new entries go first.
  void AddEntry(const std::string& name, const std::string& room);
  void RemoveEntry(const std::string& name, const std::string& room);
  void RemoveRoomEntries(const std::string& room);
  std::optional<CManagerEntry> FindByRoom(const std::string& room);
  void CManagerListToBuffer(CTextBuffer& buffer);
  // The text of "managerlist.txt": name ":" room "\n" per entry.
  void WriteFileText(CTextBuffer& buffer);
  size_t Count();

 private:
  platform::NamedMutexPtr m_mutex;
  std::list<CManagerEntry> m_entries;  // head first
};

extern std::unique_ptr<CManagerList> g_managerList;
