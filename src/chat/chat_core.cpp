#include "chat/chat_core.h"

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <random>
#include <utility>

#include "chat/cluster_state_changes.h"
#include "foundation/text.h"
#include "platform/clock.h"

struct CChatCore::Room {
  std::string id;
  std::string name;
  std::string category;
  std::string background;
  std::string creator;  // "" for rooms of the configuration and rooms made by joining
  bool system = false;
  bool locked = false;
  std::time_t emptySince = 0;
  std::uint64_t order = 0;
  std::map<std::uint64_t, Session*> members;  // in the order they came
  // The members with a stream open here, in the same order: a line walks
  // only these, not members still without one or on other nodes.
  std::map<std::uint64_t, Session*> listening;
  std::unique_ptr<CRoomHistory> history;
};

struct CChatCore::Session {
  Session(const SessionView& view)
      : id(view.id), name(view.name), password(view.password), nodeId(view.nodeId), colour(view.colour),
        ipAddress(view.ipAddress), level(view.level), lastActive(platform::Now()) {}
  const std::string id;
  const std::string name;
  const std::string password;
  const std::string nodeId;
  const std::string colour;
  const std::string ipAddress;
  Room* room = nullptr;  // null: in no room
  std::uint64_t order = 0;
  std::uint64_t logon = 0;  // when it logged on, in the order of logons
  int level = 0;
  bool approved = true;
  bool manager = false;
  std::vector<std::string> ignored;
  std::atomic<std::time_t> lastActive;
  CLineBudget lines;  // taken under the read lock: it is its own atomic
  SessionStreams streams{};  // the user's open streams here, by format
  std::array<std::int64_t, kStreamFormats> streamsOpenedAt{};
  bool Listening() const { return streams[0] != 0 || streams[1] != 0; }
};

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

namespace {

bool NodeMatches(const std::string& node, const std::string& wanted) {
  return EqualsFolded(wanted, kAllNodes) || EqualsFolded(node, wanted);
}

}  // namespace

CChatCore::CChatCore(CChatSettings settings, CNodeOutbox& outbox)
    : m_settings(std::move(settings)),
      m_nodeLink(outbox, m_settings.nodeLinkOn, m_settings.nodeId),
      m_lastIdleSweep(platform::Now()),
      m_lastRoomSweep(platform::Now()),
      m_idSeed(std::random_device{}()),
      m_epochs(std::random_device{}() ^ static_cast<std::uint64_t>(platform::Now())) {
  // What each record changes in the state nodes share, once a transport carries them.
  if (m_settings.nodeLinkOn) {
    m_nodeLink.SetStateHook(
        [this](RecordLayout layout, const RecordValues& values) { return ClusterStateOf(*this, layout, values); });
  }
}

CChatCore::~CChatCore() = default;

// ---- Rooms -----------------------------------------------------------------

CChatCore::Room* CChatCore::RoomByName(const std::string& name) const {
  if (name.empty()) return nullptr;
  const auto found = m_roomsByName.find(AsciiLower(name));
  return found != m_roomsByName.end() ? found->second : nullptr;
}

std::string CChatCore::DrawRoomId() {
  if (m_roomsById.size() >= static_cast<size_t>(kMaxRoomId)) return std::string();
  std::minstd_rand random(m_idSeed++);
  std::uniform_int_distribution<int> draw(1, kMaxRoomId);
  for (int attempt = 0; attempt < 64; ++attempt) {
    std::string id = std::to_string(draw(random));
    if (m_roomsById.count(id) == 0) return id;
  }
  // A crowded id space: walk on from a random start to the first free id.
  const int start = draw(random);
  for (int step = 0; step < kMaxRoomId; ++step) {
    std::string id = std::to_string((start + step - 1) % kMaxRoomId + 1);
    if (m_roomsById.count(id) == 0) return id;
  }
  return std::string();
}

CChatCore::Room* CChatCore::InsertRoom(const std::string& name) {
  std::string id = DrawRoomId();
  if (id.empty()) return nullptr;
  auto room = std::make_unique<Room>();
  room->id = id;
  room->name = name;
  room->emptySince = platform::Now();
  room->order = m_nextOrder++;
  // A new life of the room: offsets said in an earlier one (before it was
  // removed, or before the server started again) mean nothing here.
  constexpr int kEpochDigits = 12;
  char epoch[kEpochDigits + 1] = {};
  std::snprintf(epoch, sizeof epoch, "%012llx",
                static_cast<unsigned long long>(m_epochs() & ((std::uint64_t{1} << (4 * kEpochDigits)) - 1)));
  room->history = std::make_unique<CRoomHistory>(epoch, static_cast<size_t>(m_settings.historyLines));
  Room* raw = room.get();
  m_roomsByName.emplace(AsciiLower(name), raw);
  m_roomOrder.emplace(raw->order, raw);
  m_roomsById.emplace(std::move(id), std::move(room));
  return raw;
}

void CChatCore::EraseRoom(Room* room) {
  if (!room->system) --m_userRooms;
  m_roomsByName.erase(AsciiLower(room->name));
  m_roomOrder.erase(room->order);
  m_roomsById.erase(room->id);  // frees the room
}

int CChatCore::RoomsMadeBy(const std::string& creator) const {
  int made = 0;
  for (const auto& [order, room] : m_roomOrder) made += room->creator == creator ? 1 : 0;
  return made;
}

bool CChatCore::AddSystemRoom(const std::string& name, const std::string& background) {
  std::unique_lock<std::shared_mutex> guard(m_lock);
  if (name.empty() || RoomByName(name) != nullptr) return false;
  Room* room = InsertRoom(name);
  if (room == nullptr) return false;
  room->system = true;
  room->category = kSystemCategory;
  room->background = background;
  return true;
}

RoomCreation CChatCore::AddUserRoom(const std::string& name, const std::string& category,
                                    const std::string& creator) {
  std::unique_lock<std::shared_mutex> guard(m_lock);
  if (RoomByName(name) != nullptr) return RoomCreation::kExists;
  if (m_userRooms >= m_settings.maxRooms || RoomsMadeBy(creator) >= m_settings.maxRoomsPerAccount) {
    return RoomCreation::kRefused;
  }
  Room* room = InsertRoom(name);
  if (room == nullptr) return RoomCreation::kRefused;
  ++m_userRooms;
  room->creator = creator;
  room->category = category.empty() ? kOtherCategory : category;
  if (!m_sanctions.FindManagerOfRoom(name)) m_sanctions.AddManager(creator, name);
  return RoomCreation::kCreated;
}

std::optional<RoomView> CChatCore::FindRoom(const std::string& name, bool withMembers) const {
  std::shared_lock<std::shared_mutex> guard(m_lock);
  const Room* room = RoomByName(name);
  return room != nullptr ? std::optional<RoomView>(ViewOf(*room, withMembers)) : std::nullopt;
}

std::optional<RoomView> CChatCore::FindRoomById(const std::string& id, bool withMembers) const {
  std::shared_lock<std::shared_mutex> guard(m_lock);
  const auto found = m_roomsById.find(id);
  return found != m_roomsById.end() ? std::optional<RoomView>(ViewOf(*found->second, withMembers)) : std::nullopt;
}

std::vector<RoomView> CChatCore::RoomsOfCategory(const std::string& category, bool withMembers) {
  std::vector<RoomView> rooms;
  std::shared_lock<std::shared_mutex> guard(m_lock);
  for (const auto& [order, room] : m_roomOrder) {
    if (ListedUnder(room->system, room->category, category)) rooms.push_back(ViewOf(*room, withMembers));
  }
  return rooms;
}

std::vector<RoomView> CChatCore::OccupiedRooms(bool withMembers) const {
  std::vector<RoomView> rooms;
  std::shared_lock<std::shared_mutex> guard(m_lock);
  for (const auto& [order, room] : m_roomOrder) {
    if (!room->members.empty()) rooms.push_back(ViewOf(*room, withMembers));
  }
  return rooms;
}

std::vector<RoomView> CChatCore::Rooms() const {
  std::vector<RoomView> rooms;
  std::shared_lock<std::shared_mutex> guard(m_lock);
  for (const auto& [order, room] : m_roomOrder) rooms.push_back(ViewOf(*room, false));
  return rooms;
}

int CChatCore::TotalMembers() const {
  std::shared_lock<std::shared_mutex> guard(m_lock);
  int total = 0;
  for (const auto& [order, room] : m_roomOrder) total += static_cast<int>(room->members.size());
  return total;
}

int CChatCore::SessionCount() const {
  std::shared_lock<std::shared_mutex> guard(m_lock);
  return static_cast<int>(m_sessions.size());
}

int CChatCore::RoomCount() const {
  std::shared_lock<std::shared_mutex> guard(m_lock);
  return static_cast<int>(m_roomsById.size());
}

bool CChatCore::SetRoomLocked(const std::string& name, bool locked) {
  std::unique_lock<std::shared_mutex> guard(m_lock);
  Room* room = RoomByName(name);
  if (room == nullptr) return false;
  room->locked = locked;
  return true;
}

std::vector<EndedSession> CChatCore::RemoveRoom(const std::string& name) {
  std::vector<EndedSession> ended;
  std::unique_lock<std::shared_mutex> guard(m_lock);
  m_sanctions.RemoveRoomManagers(name);  // even when the room is already gone
  Room* room = RoomByName(name);
  if (room == nullptr) return ended;
  while (!room->members.empty()) {
    Session& member = *room->members.begin()->second;
    ended.push_back(EndedOf(member, true));
    Extract(member);
  }
  EraseRoom(room);
  return ended;
}

std::vector<std::string> CChatCore::RemoveOldRooms() {
  std::vector<std::string> removed;
  const std::time_t now = platform::Now();
  std::time_t last = m_lastRoomSweep;
  if (now - last <= kRoomSweepInterval || !m_lastRoomSweep.compare_exchange_strong(last, now)) return removed;
  std::unique_lock<std::shared_mutex> guard(m_lock);
  std::vector<Room*> old;
  for (const auto& [order, room] : m_roomOrder) {
    if (!room->system && room->members.empty() && now - room->emptySince > kEmptyRoomLifetime) old.push_back(room);
  }
  for (Room* room : old) {
    removed.push_back(room->name);
    m_sanctions.RemoveRoomManagers(room->name);
    EraseRoom(room);
  }
  return removed;
}

// ---- Sessions --------------------------------------------------------------

CChatCore::Session* CChatCore::SessionAt(const std::string& id, const std::string& node) const {
  if (id.empty()) return nullptr;
  const auto found = m_sessions.find(KeyOf(id, node));
  return found != m_sessions.end() ? found->second.get() : nullptr;
}

void CChatCore::LinkInto(Session& session, Room* room) {
  session.room = room;
  session.order = m_nextOrder++;
  if (room != nullptr) {
    room->members.emplace(session.order, &session);
    if (session.Listening()) room->listening.emplace(session.order, &session);
  } else {
    m_noRoom.emplace(session.order, &session);
  }
}

void CChatCore::Unlink(Session& session) {
  if (Room* room = session.room) {
    room->members.erase(session.order);
    room->listening.erase(session.order);
    if (room->members.empty()) room->emptySince = platform::Now();
  } else {
    m_noRoom.erase(session.order);
  }
  session.room = nullptr;
}

std::unique_ptr<CChatCore::Session> CChatCore::Extract(Session& session) {
  Unlink(session);
  const auto [first, last] = m_sessionsByName.equal_range(AsciiLower(session.name));
  for (auto at = first; at != last; ++at) {
    if (at->second == &session) {
      m_sessionsByName.erase(at);
      break;
    }
  }
  const auto found = m_sessions.find(KeyOf(session.id, session.nodeId));
  std::unique_ptr<Session> owned = std::move(found->second);
  m_sessions.erase(found);
  return owned;
}

EndedSession CChatCore::EndedOf(const Session& session, bool announce) {
  return EndedSession{ViewOf(session), announce, session.streams};
}

SessionView CChatCore::ViewOf(const Session& session) {
  SessionView view;
  view.id = session.id;
  view.name = session.name;
  view.password = session.password;
  view.nodeId = session.nodeId;
  view.colour = session.colour;
  view.ipAddress = session.ipAddress;
  if (session.room != nullptr) {
    view.roomId = session.room->id;
    view.roomName = session.room->name;
  }
  view.level = session.level;
  view.approved = session.approved;
  view.manager = session.manager;
  return view;
}

RoomView CChatCore::ViewOf(const Room& room, bool withMembers) {
  RoomView view;
  view.id = room.id;
  view.name = room.name;
  view.category = room.category;
  view.background = room.background;
  view.creator = room.creator;
  view.system = room.system;
  view.locked = room.locked;
  view.memberCount = static_cast<int>(room.members.size());
  if (withMembers) {
    view.members.reserve(room.members.size());
    for (const auto& [order, member] : room.members) {
      view.members.push_back(MemberView{member->name, member->nodeId, member->id, member->approved, member->manager});
    }
  }
  return view;
}

bool CChatCore::AddLogonSession(const SessionView& view) {
  std::unique_lock<std::shared_mutex> guard(m_lock);
  const SessionKey key = KeyOf(view.id, view.nodeId);
  if (view.id.empty() || m_sessions.count(key) != 0) return false;
  auto session = std::make_unique<Session>(view);
  session->logon = m_nextLogon++;
  Session* raw = session.get();
  m_sessions.emplace(key, std::move(session));
  m_sessionsByName.emplace(AsciiLower(view.name), raw);
  LinkInto(*raw, nullptr);
  return true;
}

std::optional<SessionView> CChatCore::Touch(Session* session, bool touch) {
  if (session == nullptr) return std::nullopt;
  if (touch) session->lastActive = platform::Now();
  return ViewOf(*session);
}

std::optional<SessionView> CChatCore::FindSession(const std::string& id, const std::string& node, bool touch) {
  std::shared_lock<std::shared_mutex> guard(m_lock);
  return Touch(SessionAt(id, node), touch);
}

std::optional<SessionView> CChatCore::FindMember(const std::string& roomName, const std::string& id,
                                                 const std::string& node, bool touch) {
  std::shared_lock<std::shared_mutex> guard(m_lock);
  Session* session = SessionAt(id, node);
  const Room* room = RoomByName(roomName);
  return Touch(session != nullptr && room != nullptr && session->room == room ? session : nullptr, touch);
}

std::optional<SessionView> CChatCore::FindInAnyRoom(const std::string& id, const std::string& node, bool touch) {
  std::shared_lock<std::shared_mutex> guard(m_lock);
  Session* session = SessionAt(id, node);
  return Touch(session != nullptr && session->room != nullptr ? session : nullptr, touch);
}

std::optional<SessionView> CChatCore::FindInNoRoom(const std::string& id, const std::string& node, bool touch) {
  std::shared_lock<std::shared_mutex> guard(m_lock);
  Session* session = SessionAt(id, node);
  return Touch(session != nullptr && session->room == nullptr ? session : nullptr, touch);
}

bool CChatCore::TakeLine(const std::string& id, const std::string& node) {
  if (!m_settings.lineRate.On()) return true;
  std::shared_lock<std::shared_mutex> guard(m_lock);
  Session* session = SessionAt(id, node);
  if (session == nullptr || session->lines.Take(m_settings.lineRate, platform::MonotonicMs())) return true;
  m_linesRefused.fetch_add(1, std::memory_order_relaxed);
  return false;
}

bool CChatCore::SetLevel(const std::string& id, const std::string& node, int level) {
  std::unique_lock<std::shared_mutex> guard(m_lock);
  Session* session = SessionAt(id, node);
  if (session != nullptr) session->level = level;
  return session != nullptr;
}

bool CChatCore::SetAdmission(const std::string& id, const std::string& node, bool approved, bool manager) {
  std::unique_lock<std::shared_mutex> guard(m_lock);
  Session* session = SessionAt(id, node);
  if (session == nullptr) return false;
  session->approved = approved;
  session->manager = manager;
  return true;
}

std::optional<EndedSession> CChatCore::RemoveSession(const std::string& id, const std::string& node, bool announce) {
  std::unique_lock<std::shared_mutex> guard(m_lock);
  Session* session = SessionAt(id, node);
  if (session == nullptr) return std::nullopt;
  EndedSession ended = EndedOf(*session, announce);
  Extract(*session);
  return ended;
}

std::optional<RoomView> CChatCore::EnsureRoom(const std::string& name, const std::string& category, bool& created) {
  created = false;
  std::unique_lock<std::shared_mutex> guard(m_lock);
  Room* room = RoomByName(name);
  if (room == nullptr && !name.empty() && m_userRooms < m_settings.maxRooms && (room = InsertRoom(name)) != nullptr) {
    ++m_userRooms;
    room->category = category.empty() ? kOtherCategory : category;
    created = true;
  }
  return room != nullptr ? std::optional<RoomView>(ViewOf(*room, false)) : std::nullopt;
}

MoveResult CChatCore::MoveSession(const std::string& id, const std::string& node, const std::string& roomName) {
  MoveResult result;
  std::unique_lock<std::shared_mutex> guard(m_lock);
  Session* session = SessionAt(id, node);
  Room* room = RoomByName(roomName);
  if (session == nullptr || room == nullptr) return result;
  result.oldRoomName = session->room != nullptr ? session->room->name : kNoRoom;
  if (session->room == room) {
    result.sameRoom = true;
    result.arrived = ViewOf(*session);
    return result;
  }
  Unlink(*session);
  LinkInto(*session, room);
  session->approved = true;
  session->manager = false;
  session->lastActive = platform::Now();
  result.moved = true;
  result.arrived = ViewOf(*session);
  return result;
}

std::vector<EndedSession> CChatCore::ExtractAll(const std::vector<Session*>& sessions) {
  std::vector<EndedSession> ended;
  for (Session* session : sessions) {
    ended.push_back(EndedOf(*session, true));
    Extract(*session);
  }
  return ended;
}

std::vector<EndedSession> CChatCore::SweepIdleSessions() {
  const std::time_t now = platform::Now();
  std::time_t last = m_lastIdleSweep;
  if (now - last < kIdleSweepInterval || !m_lastIdleSweep.compare_exchange_strong(last, now)) return {};
  const std::time_t localLimit = now - m_settings.sessionTimeout;
  const std::time_t otherLimit = now - static_cast<std::time_t>(kOtherNodeTimeoutFactor) * m_settings.sessionTimeout;
  std::unique_lock<std::shared_mutex> guard(m_lock);
  std::vector<Session*> idle;
  for (const auto& [key, session] : m_sessions) {
    const std::time_t limit = session->nodeId == m_settings.nodeId ? localLimit : otherLimit;
    if (session->lastActive < limit) idle.push_back(session.get());
  }
  return ExtractAll(idle);
}

std::vector<SessionView> CChatCore::SessionsOfNode(const std::string& node) const {
  std::vector<SessionView> found;
  std::shared_lock<std::shared_mutex> guard(m_lock);
  for (const auto& [key, session] : m_sessions) {
    if (session->nodeId == node) found.push_back(ViewOf(*session));
  }
  return found;
}

std::vector<EndedSession> CChatCore::RemoveNodeSessions(const std::string& node) {
  std::unique_lock<std::shared_mutex> guard(m_lock);
  std::vector<Session*> gone;
  for (const auto& [key, session] : m_sessions) {
    if (session->nodeId == node) gone.push_back(session.get());
  }
  return ExtractAll(gone);
}

std::vector<EndedSession> CChatCore::RemoveOldestSessionsOfName(const std::string& name, const std::string& node,
                                                                 const std::string& keptId, size_t max) {
  std::unique_lock<std::shared_mutex> guard(m_lock);
  std::vector<Session*> others;
  const auto [from, to] = m_sessionsByName.equal_range(AsciiLower(name));
  for (auto at = from; at != to; ++at) {
    if (at->second->nodeId == node && at->second->id != keptId) others.push_back(at->second);
  }
  const size_t othersKept = max > 0 ? max - 1 : 0;
  if (others.size() <= othersKept) return {};
  std::sort(others.begin(), others.end(), [](const Session* a, const Session* b) { return a->logon < b->logon; });
  others.resize(others.size() - othersKept);  // the oldest
  return ExtractAll(others);
}

// ---- Users by name ---------------------------------------------------------

std::string CChatCore::FindIdByNameAndNode(const std::string& roomName, const std::string& name,
                                           const std::string& node) const {
  if (name.empty()) return std::string();
  std::shared_lock<std::shared_mutex> guard(m_lock);
  const Room* room = RoomByName(roomName);
  if (room == nullptr) return std::string();
  const Session* first = nullptr;
  const auto [from, to] = m_sessionsByName.equal_range(AsciiLower(name));
  for (auto at = from; at != to; ++at) {
    const Session* session = at->second;
    if (session->room == room && NodeMatches(session->nodeId, node) && (first == nullptr || session->order < first->order)) {
      first = session;
    }
  }
  return first != nullptr ? first->id : std::string();
}

std::optional<SessionView> CChatCore::FindMemberByName(const std::string& roomName, const std::string& name) const {
  if (name.empty()) return std::nullopt;
  std::shared_lock<std::shared_mutex> guard(m_lock);
  const Room* room = RoomByName(roomName);
  if (room == nullptr) return std::nullopt;
  const Session* first = nullptr;
  const auto [from, to] = m_sessionsByName.equal_range(AsciiLower(name));
  for (auto at = from; at != to; ++at) {
    if (at->second->room == room && (first == nullptr || at->second->order < first->order)) first = at->second;
  }
  return first != nullptr ? std::optional<SessionView>(ViewOf(*first)) : std::nullopt;
}

std::string CChatCore::FindSessionIdByName(const std::string& name, const std::string& node) const {
  if (name.empty()) return std::string();
  std::shared_lock<std::shared_mutex> guard(m_lock);
  const Session* first = nullptr;
  const auto earlier = [](const Session* a, const Session* b) {
    return a->room->order != b->room->order ? a->room->order < b->room->order : a->order < b->order;
  };
  const auto [from, to] = m_sessionsByName.equal_range(AsciiLower(name));
  for (auto at = from; at != to; ++at) {
    const Session* session = at->second;
    if (session->room != nullptr && NodeMatches(session->nodeId, node) && (first == nullptr || earlier(session, first))) {
      first = session;
    }
  }
  return first != nullptr ? first->id : std::string();
}

std::vector<SearchHit> CChatCore::SearchUserByName(const std::string& name) const {
  std::vector<const Session*> found;
  std::shared_lock<std::shared_mutex> guard(m_lock);
  const auto [from, to] = m_sessionsByName.equal_range(AsciiLower(name));
  for (auto at = from; at != to; ++at) {
    if (at->second->room != nullptr && at->second->name == name) found.push_back(at->second);
  }
  std::sort(found.begin(), found.end(), [](const Session* a, const Session* b) {
    return a->room->order != b->room->order ? a->room->order < b->room->order : a->order < b->order;
  });
  std::vector<SearchHit> hits;
  for (const Session* session : found) hits.push_back(SearchHit{session->name, session->ipAddress, session->room->name});
  return hits;
}

// ---- Ignore lists ----------------------------------------------------------

void CChatCore::Ignore(const std::string& id, const std::string& node, const std::string& name) {
  if (name.empty()) return;
  std::unique_lock<std::shared_mutex> guard(m_lock);
  Session* session = SessionAt(id, node);
  if (session == nullptr) return;
  for (const std::string& ignored : session->ignored) {
    if (EqualsFolded(ignored, name)) return;
  }
  session->ignored.push_back(name);
}

bool CChatCore::IsIgnoring(const std::string& id, const std::string& node, const std::string& name) const {
  std::shared_lock<std::shared_mutex> guard(m_lock);
  const Session* session = SessionAt(id, node);
  return session != nullptr && !MaySee(*session, name);
}

bool CChatCore::MaySee(const Session& session, const std::string& senderName) const {
  for (const std::string& ignored : session.ignored) {
    if (EqualsFolded(ignored, senderName)) return false;
  }
  return true;
}

// ---- Message streams -------------------------------------------------------

std::optional<std::uint64_t> CChatCore::AttachStream(const std::string& id, const std::string& node,
                                                     StreamFormat format, std::uint64_t stream, std::int64_t openedAt,
                                                     const StreamStartRequest& request, StreamStart* start) {
  std::unique_lock<std::shared_mutex> guard(m_lock);
  Session* session = SessionAt(id, node);
  if (session == nullptr) return std::nullopt;
  const size_t slot = static_cast<size_t>(format);
  if (session->streams[slot] != 0 && session->streamsOpenedAt[slot] > openedAt) return stream;  // a newer one is open
  session->streamsOpenedAt[slot] = openedAt;
  if (session->room != nullptr) session->room->listening.emplace(session->order, session);
  if (start != nullptr) *start = StartOf(*session, request);
  return std::exchange(session->streams[slot], stream);
}

std::uint64_t CChatCore::RestartStream(const std::string& id, const std::string& node, StreamFormat format,
                                       const StreamStartRequest& request, StreamStart& start) const {
  std::unique_lock<std::shared_mutex> guard(m_lock);  // no line is said meanwhile
  const Session* session = SessionAt(id, node);
  if (session == nullptr) return 0;
  const std::uint64_t stream = session->streams[static_cast<size_t>(format)];
  if (stream != 0) start = StartOf(*session, request);
  return stream;
}

StreamStart CChatCore::StartOf(const Session& session, const StreamStartRequest& request) const {
  StreamStart start;
  if (session.room == nullptr) return start;
  const CRoomHistory& history = *session.room->history;
  start.room = session.room->name;
  start.epoch = history.Epoch();
  start.offset = history.LastOffset();
  start.viewerName = session.name;
  std::uint64_t after = 0;
  size_t wanted = request.latest;
  const std::optional<LinePosition>& from = request.resumeFrom;
  if (from && from->epoch == start.epoch && history.HoldsAllAfter(from->offset)) {
    start.reset = false;
    after = from->offset;
    wanted = history.Lines().size();
  }
  // The newest lines he may see, back to the position or as many as wanted.
  const std::deque<HistoryLine>& lines = history.Lines();
  for (auto line = lines.rbegin(); line != lines.rend() && start.lines.size() < wanted && line->offset > after; ++line) {
    if (Sees(session, *line->event, IgnoredSenderName(*line->event))) start.lines.push_back(*line);
  }
  std::reverse(start.lines.begin(), start.lines.end());
  return start;
}

void CChatCore::DetachStream(const std::string& id, const std::string& node, std::uint64_t stream) {
  std::unique_lock<std::shared_mutex> guard(m_lock);
  Session* session = SessionAt(id, node);
  if (session == nullptr) return;
  for (std::uint64_t& held : session->streams) {
    if (held == stream) held = 0;
  }
  if (session->room != nullptr && !session->Listening()) session->room->listening.erase(session->order);
}

bool CChatCore::Sees(const Session& member, const ChatEvent& event, const std::string& senderName) const {
  switch (event.audience) {
    case Audience::kRoom: {
      // Waiting users see system lines and refusals (theirs among them).
      const bool reachesWaiting = event.kind == MessageKind::kSystemLine || event.kind == MessageKind::kRefusal;
      if (!member.approved && !reachesWaiting) return false;
      break;
    }
    case Audience::kSession:
      if (member.id != event.session || member.nodeId != m_settings.nodeId) return false;
      if (!member.approved && event.kind != MessageKind::kSystemLine) return false;
      break;
    case Audience::kManagers:
      if (!member.manager) return false;
      break;
  }
  return MaySee(member, senderName);
}

void CChatCore::AddRecipients(Session& member, const std::string& markedName, std::vector<Recipient>& out) {
  for (size_t slot = 0; slot < kStreamFormats; ++slot) {
    if (member.streams[slot] == 0) continue;
    out.push_back(Recipient{member.streams[slot], static_cast<StreamFormat>(slot), member.name == markedName});
  }
}

std::optional<LinePosition> CChatCore::Publish(const std::shared_ptr<const ChatEvent>& line,
                                               const std::string& markedName, std::vector<Recipient>& out) {
  const ChatEvent& event = *line;
  const std::string senderName = IgnoredSenderName(event);
  const std::time_t now = platform::Now();
  std::shared_lock<std::shared_mutex> guard(m_lock);
  const Room* room = RoomByName(event.room);
  // A line names its room exactly (a manager's line any way it is written).
  if (room == nullptr || (room->name != event.room && event.audience != Audience::kManagers)) return std::nullopt;
  // Its place in the room, taken under the shared lock (the history has a
  // mutex of its own): a stream attaches under the exclusive lock, so it
  // either finds the line in the history or is among its recipients.
  LinePosition position{room->history->Epoch(), room->history->Append(line)};
  if (event.audience == Audience::kSession) {
    Session* session = SessionAt(event.session, m_settings.nodeId);
    if (session == nullptr || session->room != room || !Sees(*session, event, senderName)) return position;
    session->lastActive = now;
    // Every line to one user is marked for him.
    AddRecipients(*session, session->name, out);
    return position;
  }
  out.reserve(out.size() + room->listening.size());
  for (const auto& [order, member] : room->listening) {
    if (!Sees(*member, event, senderName)) continue;
    member->lastActive = now;
    AddRecipients(*member, event.audience == Audience::kManagers ? member->name : markedName, out);
  }
  return position;
}

// ---- Managers, kicks and bans: the lists, under the core's lock -------------

bool CChatCore::IsManager(const std::string& name, const std::string& room) const {
  std::shared_lock<std::shared_mutex> guard(m_lock);
  return m_sanctions.IsManager(name, room);
}

void CChatCore::AddManager(const std::string& name, const std::string& room) {
  std::unique_lock<std::shared_mutex> guard(m_lock);
  m_sanctions.AddManager(name, room);
}

void CChatCore::RemoveManager(const std::string& name, const std::string& room) {
  std::unique_lock<std::shared_mutex> guard(m_lock);
  m_sanctions.RemoveManager(name, room);
}

std::optional<std::string> CChatCore::FindManagerOfRoom(const std::string& room) const {
  std::shared_lock<std::shared_mutex> guard(m_lock);
  return m_sanctions.FindManagerOfRoom(room);
}

std::vector<ManagerEntry> CChatCore::Managers() const {
  std::shared_lock<std::shared_mutex> guard(m_lock);
  return m_sanctions.Managers();
}

void CChatCore::PurgeSanctions() {
  if (!m_sanctions.PurgeDue()) return;
  std::unique_lock<std::shared_mutex> guard(m_lock);
  m_sanctions.Purge();
}

bool CChatCore::IsBanned(const std::string& address) const {
  std::shared_lock<std::shared_mutex> guard(m_lock);
  return m_sanctions.IsBanned(address);
}

bool CChatCore::IsKicked(const std::string& name) const {
  std::shared_lock<std::shared_mutex> guard(m_lock);
  return m_sanctions.IsKicked(name);
}

void CChatCore::AddKick(const std::string& name) {
  std::unique_lock<std::shared_mutex> guard(m_lock);
  m_sanctions.AddKick(name);
}

void CChatCore::AddBan(const std::string& address) {
  std::unique_lock<std::shared_mutex> guard(m_lock);
  m_sanctions.AddBan(address);
}
