// CSanctionLists: who may manage which room, and whom the managers have
// sent away: the manager list, the kick list (names) and the ban list (IP
// addresses), with the purge that lets old kicks and bans expire.
//
// Threading: it has no lock of its own. The chat core holds it and calls
// it under the core's lock (the readers under the shared lock, the writers
// under the exclusive one); only PurgeDue may be called without the lock.
#pragma once

#include <atomic>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "chat/chat_views.h"
#include "chat/manager_list.h"
#include "chat/timed_name_list.h"

class CSanctionLists {
 public:
  CSanctionLists();

  // ---- Managers
  bool IsManager(const std::string& name, const std::string& room) const { return m_managers.FindEntry(name, room); }
  void AddManager(const std::string& name, const std::string& room) { m_managers.AddEntry(name, room); }
  void RemoveManager(const std::string& name, const std::string& room) { m_managers.RemoveEntry(name, room); }
  // Every manager of the room, when the room is deleted.
  void RemoveRoomManagers(const std::string& room) { m_managers.RemoveRoomEntries(room); }
  std::optional<std::string> FindManagerOfRoom(const std::string& room) const { return m_managers.FindByRoom(room); }
  std::vector<ManagerEntry> Managers() const { return m_managers.Entries(); }

  // ---- Kicks and bans
  bool IsBanned(const std::string& address) const { return m_bans.Find(address); }
  bool IsKicked(const std::string& name) const { return m_kicks.Find(name); }
  void AddKick(const std::string& name) { m_kicks.Add(name); }
  void AddBan(const std::string& address) { m_bans.Add(address); }
  // Whether a purge is due (at most one every 50 seconds); true claims it,
  // so the caller must then Purge. Needs no lock: every logon asks, and
  // most need not take the core's lock for writing at all.
  bool PurgeDue();
  // Drops the kicks and bans that have expired.
  void Purge();

 private:
  CManagerList m_managers;
  CTimedNameList m_kicks;
  CTimedNameList m_bans;
  std::atomic<std::time_t> m_lastPurge;
};
