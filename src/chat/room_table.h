// CRoomTable: the rooms of the chat, by id (the owner), by folded name and
// in list order; the room lists drawn from them; and the sweep of user
// rooms left empty. It draws each room's id and the epoch of its history.
//
// Threading: it has no lock of its own. The chat core holds it and calls
// it under the core's lock; only SweepDue may be called without the lock.
#pragma once

#include <atomic>
#include <cstdint>
#include <ctime>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "chat/chat_records.h"

inline constexpr int kEmptyRoomLifetime = 900;  // seconds an empty user room survives
inline constexpr int kRoomSweepInterval = 30;   // seconds between two room sweeps at least
inline constexpr int kMaxRoomId = 32768;        // room ids are drawn from 1 to this

// The category a room is listed under in the room lists (kRoomCategories):
// the system rooms under "系统", a user room under its category when the
// lists have it, else under "其它".
std::string ListedCategory(const RoomView& room);

class CRoomTable {
 public:
  explicit CRoomTable(size_t historyLines);

  // Letter case aside; null when there is none (or the name is empty).
  RoomRecord* ByName(const std::string& name) const;
  RoomRecord* ById(const std::string& id) const;
  // A new room under a fresh id, with a history of a new epoch, empty from
  // now; a user room counts against the cap. Null when no id is free.
  RoomRecord* Insert(const std::string& name, bool system);
  // Frees the room; it must have no members.
  void Erase(RoomRecord* room);

  int Count() const { return static_cast<int>(m_byId.size()); }
  int UserRooms() const { return m_userRooms; }
  int RoomsMadeBy(const std::string& creator) const;

  // The rooms listed under a category (a room without one is stored as "其它").
  std::vector<RoomView> OfCategory(const std::string& category, bool withMembers) const;
  // The rooms that have members, in list order.
  std::vector<RoomView> Occupied(bool withMembers) const;
  // Every room, in list order.
  std::vector<RoomView> All() const;
  int TotalMembers() const;

  // Whether a sweep of empty rooms is due (at most one every 30 seconds);
  // true claims it. Needs no lock.
  bool SweepDue(std::time_t now);
  // The user rooms empty for longer than their lifetime, in list order.
  std::vector<RoomRecord*> EmptyTooLong(std::time_t now) const;

 private:
  std::string DrawId();
  std::string DrawEpoch();

  const size_t m_historyLines;
  std::unordered_map<std::string, std::unique_ptr<RoomRecord>> m_byId;
  std::unordered_map<std::string, RoomRecord*> m_byName;
  std::map<std::uint64_t, RoomRecord*> m_inOrder;
  std::uint64_t m_nextOrder = 1;
  int m_userRooms = 0;
  std::uint32_t m_idSeed;
  std::mt19937_64 m_epochs;  // draws the epoch of each room made
  std::atomic<std::time_t> m_lastSweep;
};
