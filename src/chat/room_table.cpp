#include "chat/room_table.h"

#include <cstdio>
#include <utility>

#include "foundation/text.h"
#include "platform/clock.h"

namespace {

bool IsNamedUserCategory(const std::string& category) {
  return category == "情感" || category == "技术" || category == "体育" || category == "娱乐";
}

bool ListedUnder(bool system, const std::string& category, const std::string& requested) {
  if (category != requested && !(requested == kOtherCategory && !system && !IsNamedUserCategory(category))) {
    return false;
  }
  return !(requested == kSystemCategory && category == kSystemCategory && !system);
}

}  // namespace

std::string ListedCategory(const RoomView& room) {
  if (room.system) return kSystemCategory;
  return IsNamedUserCategory(room.category) ? room.category : kOtherCategory;
}

CRoomTable::CRoomTable(size_t historyLines)
    : m_historyLines(historyLines),
      m_idSeed(std::random_device{}()),
      m_epochs(std::random_device{}() ^ static_cast<std::uint64_t>(platform::Now())),
      m_lastSweep(platform::Now()) {}

RoomRecord* CRoomTable::ByName(const std::string& name) const {
  if (name.empty()) return nullptr;
  const auto found = m_byName.find(AsciiLower(name));
  return found != m_byName.end() ? found->second : nullptr;
}

RoomRecord* CRoomTable::ById(const std::string& id) const {
  const auto found = m_byId.find(id);
  return found != m_byId.end() ? found->second.get() : nullptr;
}

std::string CRoomTable::DrawId() {
  if (m_byId.size() >= static_cast<size_t>(kMaxRoomId)) return std::string();
  std::minstd_rand random(m_idSeed++);
  std::uniform_int_distribution<int> draw(1, kMaxRoomId);
  for (int attempt = 0; attempt < 64; ++attempt) {
    std::string id = std::to_string(draw(random));
    if (m_byId.count(id) == 0) return id;
  }
  // A crowded id space: walk on from a random start to the first free id.
  const int start = draw(random);
  for (int step = 0; step < kMaxRoomId; ++step) {
    std::string id = std::to_string((start + step - 1) % kMaxRoomId + 1);
    if (m_byId.count(id) == 0) return id;
  }
  return std::string();
}

// A new life of the room: offsets said in an earlier one (before it was
// removed, or before the server started again) mean nothing here.
std::string CRoomTable::DrawEpoch() {
  constexpr int kEpochDigits = 12;
  char epoch[kEpochDigits + 1] = {};
  std::snprintf(epoch, sizeof epoch, "%012llx",
                static_cast<unsigned long long>(m_epochs() & ((std::uint64_t{1} << (4 * kEpochDigits)) - 1)));
  return epoch;
}

RoomRecord* CRoomTable::Insert(const std::string& name, bool system) {
  std::string id = DrawId();
  if (id.empty()) return nullptr;
  auto room = std::make_unique<RoomRecord>();
  room->id = id;
  room->name = name;
  room->system = system;
  room->emptySince = platform::Now();
  room->order = m_nextOrder++;
  room->history = std::make_unique<CRoomHistory>(DrawEpoch(), m_historyLines);
  RoomRecord* raw = room.get();
  m_byName.emplace(AsciiLower(name), raw);
  m_inOrder.emplace(raw->order, raw);
  m_byId.emplace(std::move(id), std::move(room));
  if (!system) ++m_userRooms;
  return raw;
}

void CRoomTable::Erase(RoomRecord* room) {
  if (!room->system) --m_userRooms;
  m_byName.erase(AsciiLower(room->name));
  m_inOrder.erase(room->order);
  m_byId.erase(room->id);  // frees the room
}

int CRoomTable::RoomsMadeBy(const std::string& creator) const {
  int made = 0;
  for (const auto& [order, room] : m_inOrder) made += room->creator == creator ? 1 : 0;
  return made;
}

std::vector<RoomView> CRoomTable::OfCategory(const std::string& category, bool withMembers) const {
  std::vector<RoomView> rooms;
  for (const auto& [order, room] : m_inOrder) {
    if (ListedUnder(room->system, room->category, category)) rooms.push_back(ViewOf(*room, withMembers));
  }
  return rooms;
}

std::vector<RoomView> CRoomTable::Occupied(bool withMembers) const {
  std::vector<RoomView> rooms;
  for (const auto& [order, room] : m_inOrder) {
    if (!room->members.empty()) rooms.push_back(ViewOf(*room, withMembers));
  }
  return rooms;
}

std::vector<RoomView> CRoomTable::All() const {
  std::vector<RoomView> rooms;
  for (const auto& [order, room] : m_inOrder) rooms.push_back(ViewOf(*room, false));
  return rooms;
}

int CRoomTable::TotalMembers() const {
  int total = 0;
  for (const auto& [order, room] : m_inOrder) total += static_cast<int>(room->members.size());
  return total;
}

bool CRoomTable::SweepDue(std::time_t now) {
  std::time_t last = m_lastSweep;
  return now - last > kRoomSweepInterval && m_lastSweep.compare_exchange_strong(last, now);
}

std::vector<RoomRecord*> CRoomTable::EmptyTooLong(std::time_t now) const {
  std::vector<RoomRecord*> old;
  for (const auto& [order, room] : m_inOrder) {
    if (!room->system && room->members.empty() && now - room->emptySince > kEmptyRoomLifetime) old.push_back(room);
  }
  return old;
}
