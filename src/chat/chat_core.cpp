#include "chat/chat_core.h"

#include <algorithm>
#include <mutex>
#include <utility>

#include "chat/cluster_state_changes.h"
#include "foundation/text.h"
#include "platform/clock.h"

CChatCore::CChatCore(CChatSettings settings, CNodeOutbox& outbox)
    : m_settings(std::move(settings)),
      m_nodeLink(outbox, m_settings.nodeLinkOn, m_settings.nodeId),
      m_rooms(static_cast<size_t>(m_settings.historyLines)) {
  // What each record changes in the state nodes share, once a transport carries them.
  if (m_settings.nodeLinkOn) {
    m_nodeLink.SetStateHook(
        [this](RecordLayout layout, const RecordValues& values) { return ClusterStateOf(*this, layout, values); });
  }
}

CChatCore::~CChatCore() = default;

// ---- Rooms -----------------------------------------------------------------

bool CChatCore::AddSystemRoom(const std::string& name, const std::string& background) {
  std::unique_lock<std::shared_mutex> guard(m_lock);
  if (name.empty() || m_rooms.ByName(name) != nullptr) return false;
  RoomRecord* room = m_rooms.Insert(name, true);
  if (room == nullptr) return false;
  room->category = kSystemCategory;
  room->background = background;
  return true;
}

RoomCreation CChatCore::AddUserRoom(const std::string& name, const std::string& category,
                                    const std::string& creator) {
  std::unique_lock<std::shared_mutex> guard(m_lock);
  if (m_rooms.ByName(name) != nullptr) return RoomCreation::kExists;
  if (m_rooms.UserRooms() >= m_settings.maxRooms || m_rooms.RoomsMadeBy(creator) >= m_settings.maxRoomsPerAccount) {
    return RoomCreation::kRefused;
  }
  RoomRecord* room = m_rooms.Insert(name, false);
  if (room == nullptr) return RoomCreation::kRefused;
  room->creator = creator;
  room->category = category.empty() ? kOtherCategory : category;
  if (!m_sanctions.FindManagerOfRoom(name)) m_sanctions.AddManager(creator, name);
  return RoomCreation::kCreated;
}

std::optional<RoomView> CChatCore::FindRoom(const std::string& name, bool withMembers) const {
  std::shared_lock<std::shared_mutex> guard(m_lock);
  const RoomRecord* room = m_rooms.ByName(name);
  return room != nullptr ? std::optional<RoomView>(ViewOf(*room, withMembers)) : std::nullopt;
}

std::optional<RoomView> CChatCore::FindRoomById(const std::string& id, bool withMembers) const {
  std::shared_lock<std::shared_mutex> guard(m_lock);
  const RoomRecord* room = m_rooms.ById(id);
  return room != nullptr ? std::optional<RoomView>(ViewOf(*room, withMembers)) : std::nullopt;
}

std::vector<RoomView> CChatCore::RoomsOfCategory(const std::string& category, bool withMembers) {
  std::shared_lock<std::shared_mutex> guard(m_lock);
  return m_rooms.OfCategory(category, withMembers);
}

std::vector<RoomView> CChatCore::OccupiedRooms(bool withMembers) const {
  std::shared_lock<std::shared_mutex> guard(m_lock);
  return m_rooms.Occupied(withMembers);
}

std::vector<RoomView> CChatCore::Rooms() const {
  std::shared_lock<std::shared_mutex> guard(m_lock);
  return m_rooms.All();
}

int CChatCore::TotalMembers() const {
  std::shared_lock<std::shared_mutex> guard(m_lock);
  return m_rooms.TotalMembers();
}

int CChatCore::SessionCount() const {
  std::shared_lock<std::shared_mutex> guard(m_lock);
  return m_sessions.Count();
}

int CChatCore::RoomCount() const {
  std::shared_lock<std::shared_mutex> guard(m_lock);
  return m_rooms.Count();
}

bool CChatCore::SetRoomLocked(const std::string& name, bool locked) {
  std::unique_lock<std::shared_mutex> guard(m_lock);
  RoomRecord* room = m_rooms.ByName(name);
  if (room == nullptr) return false;
  room->locked = locked;
  return true;
}

std::vector<EndedSession> CChatCore::RemoveRoom(const std::string& name) {
  std::unique_lock<std::shared_mutex> guard(m_lock);
  m_sanctions.RemoveRoomManagers(name);  // even when the room is already gone
  RoomRecord* room = m_rooms.ByName(name);
  if (room == nullptr) return {};
  std::vector<SessionRecord*> members;
  for (const auto& [order, member] : room->members) members.push_back(member);
  std::vector<EndedSession> ended = m_sessions.RemoveAll(members);
  m_rooms.Erase(room);
  return ended;
}

std::vector<std::string> CChatCore::RemoveOldRooms() {
  std::vector<std::string> removed;
  const std::time_t now = platform::Now();
  if (!m_rooms.SweepDue(now)) return removed;
  std::unique_lock<std::shared_mutex> guard(m_lock);
  for (RoomRecord* room : m_rooms.EmptyTooLong(now)) {
    removed.push_back(room->name);
    m_sanctions.RemoveRoomManagers(room->name);
    m_rooms.Erase(room);
  }
  return removed;
}

// ---- Sessions --------------------------------------------------------------

bool CChatCore::AddLogonSession(const SessionView& view) {
  std::unique_lock<std::shared_mutex> guard(m_lock);
  return m_sessions.Add(view) != nullptr;
}

std::optional<SessionView> CChatCore::Touch(SessionRecord* session, bool touch) {
  if (session == nullptr) return std::nullopt;
  if (touch) session->lastActive = platform::Now();
  return ViewOf(*session);
}

std::optional<SessionView> CChatCore::FindSession(const std::string& id, const std::string& node, bool touch) {
  std::shared_lock<std::shared_mutex> guard(m_lock);
  return Touch(m_sessions.Find(id, node), touch);
}

std::optional<SessionView> CChatCore::FindMember(const std::string& roomName, const std::string& id,
                                                 const std::string& node, bool touch) {
  std::shared_lock<std::shared_mutex> guard(m_lock);
  SessionRecord* session = m_sessions.Find(id, node);
  const RoomRecord* room = m_rooms.ByName(roomName);
  return Touch(session != nullptr && room != nullptr && session->room == room ? session : nullptr, touch);
}

std::optional<SessionView> CChatCore::FindInAnyRoom(const std::string& id, const std::string& node, bool touch) {
  std::shared_lock<std::shared_mutex> guard(m_lock);
  SessionRecord* session = m_sessions.Find(id, node);
  return Touch(session != nullptr && session->room != nullptr ? session : nullptr, touch);
}

std::optional<SessionView> CChatCore::FindInNoRoom(const std::string& id, const std::string& node, bool touch) {
  std::shared_lock<std::shared_mutex> guard(m_lock);
  SessionRecord* session = m_sessions.Find(id, node);
  return Touch(session != nullptr && session->room == nullptr ? session : nullptr, touch);
}

bool CChatCore::TakeLine(const std::string& id, const std::string& node) {
  if (!m_settings.lineRate.On()) return true;
  std::shared_lock<std::shared_mutex> guard(m_lock);
  SessionRecord* session = m_sessions.Find(id, node);
  if (session == nullptr || session->lines.Take(m_settings.lineRate, platform::MonotonicMs())) return true;
  m_linesRefused.fetch_add(1, std::memory_order_relaxed);
  return false;
}

bool CChatCore::SetLevel(const std::string& id, const std::string& node, int level) {
  std::unique_lock<std::shared_mutex> guard(m_lock);
  SessionRecord* session = m_sessions.Find(id, node);
  if (session != nullptr) session->level = level;
  return session != nullptr;
}

bool CChatCore::SetAdmission(const std::string& id, const std::string& node, bool approved, bool manager) {
  std::unique_lock<std::shared_mutex> guard(m_lock);
  SessionRecord* session = m_sessions.Find(id, node);
  if (session == nullptr) return false;
  session->approved = approved;
  session->manager = manager;
  return true;
}

std::optional<EndedSession> CChatCore::RemoveSession(const std::string& id, const std::string& node, bool announce) {
  std::unique_lock<std::shared_mutex> guard(m_lock);
  SessionRecord* session = m_sessions.Find(id, node);
  if (session == nullptr) return std::nullopt;
  EndedSession ended = EndedOf(*session, announce);
  m_sessions.Remove(*session);
  return ended;
}

std::optional<RoomView> CChatCore::EnsureRoom(const std::string& name, const std::string& category, bool& created) {
  created = false;
  std::unique_lock<std::shared_mutex> guard(m_lock);
  RoomRecord* room = m_rooms.ByName(name);
  if (room == nullptr && !name.empty() && m_rooms.UserRooms() < m_settings.maxRooms &&
      (room = m_rooms.Insert(name, false)) != nullptr) {
    room->category = category.empty() ? kOtherCategory : category;
    created = true;
  }
  return room != nullptr ? std::optional<RoomView>(ViewOf(*room, false)) : std::nullopt;
}

MoveResult CChatCore::MoveSession(const std::string& id, const std::string& node, const std::string& roomName) {
  MoveResult result;
  std::unique_lock<std::shared_mutex> guard(m_lock);
  SessionRecord* session = m_sessions.Find(id, node);
  RoomRecord* room = m_rooms.ByName(roomName);
  if (session == nullptr || room == nullptr) return result;
  result.oldRoomName = session->room != nullptr ? session->room->name : kNoRoom;
  if (session->room == room) {
    result.sameRoom = true;
    result.arrived = ViewOf(*session);
    return result;
  }
  m_sessions.MoveTo(*session, room);
  session->approved = true;
  session->manager = false;
  session->lastActive = platform::Now();
  result.moved = true;
  result.arrived = ViewOf(*session);
  return result;
}

std::vector<EndedSession> CChatCore::SweepIdleSessions() {
  const std::time_t now = platform::Now();
  if (!m_sessions.IdleSweepDue(now)) return {};
  const std::time_t localLimit = now - m_settings.sessionTimeout;
  const std::time_t otherLimit = now - static_cast<std::time_t>(kOtherNodeTimeoutFactor) * m_settings.sessionTimeout;
  std::unique_lock<std::shared_mutex> guard(m_lock);
  return m_sessions.RemoveAll(m_sessions.IdleBefore(m_settings.nodeId, localLimit, otherLimit));
}

std::vector<SessionView> CChatCore::SessionsOfNode(const std::string& node) const {
  std::vector<SessionView> found;
  std::shared_lock<std::shared_mutex> guard(m_lock);
  for (const SessionRecord* session : m_sessions.OfNode(node)) found.push_back(ViewOf(*session));
  return found;
}

std::vector<EndedSession> CChatCore::RemoveNodeSessions(const std::string& node) {
  std::unique_lock<std::shared_mutex> guard(m_lock);
  return m_sessions.RemoveAll(m_sessions.OfNode(node));
}

std::vector<EndedSession> CChatCore::RemoveOldestSessionsOfName(const std::string& name, const std::string& node,
                                                                 const std::string& keptId, size_t max) {
  std::unique_lock<std::shared_mutex> guard(m_lock);
  std::vector<SessionRecord*> others = m_sessions.OfNameOldestFirst(name, node, keptId);
  const size_t othersKept = max > 0 ? max - 1 : 0;
  if (others.size() <= othersKept) return {};
  others.resize(others.size() - othersKept);  // the oldest
  return m_sessions.RemoveAll(others);
}

// ---- Users by name ---------------------------------------------------------

std::string CChatCore::FindIdByNameAndNode(const std::string& roomName, const std::string& name,
                                           const std::string& node) const {
  if (name.empty()) return std::string();
  std::shared_lock<std::shared_mutex> guard(m_lock);
  const RoomRecord* room = m_rooms.ByName(roomName);
  if (room == nullptr) return std::string();
  const SessionRecord* first = m_sessions.FirstMemberNamed(*room, name, node);
  return first != nullptr ? first->id : std::string();
}

std::optional<SessionView> CChatCore::FindMemberByName(const std::string& roomName, const std::string& name) const {
  if (name.empty()) return std::nullopt;
  std::shared_lock<std::shared_mutex> guard(m_lock);
  const RoomRecord* room = m_rooms.ByName(roomName);
  if (room == nullptr) return std::nullopt;
  const SessionRecord* first = m_sessions.FirstMemberNamed(*room, name, kAllNodes);
  return first != nullptr ? std::optional<SessionView>(ViewOf(*first)) : std::nullopt;
}

std::string CChatCore::FindSessionIdByName(const std::string& name, const std::string& node) const {
  if (name.empty()) return std::string();
  std::shared_lock<std::shared_mutex> guard(m_lock);
  const SessionRecord* first = m_sessions.FirstInARoomNamed(name, node);
  return first != nullptr ? first->id : std::string();
}

std::vector<SearchHit> CChatCore::SearchUserByName(const std::string& name) const {
  std::vector<SearchHit> hits;
  std::shared_lock<std::shared_mutex> guard(m_lock);
  for (const SessionRecord* session : m_sessions.InRoomsNamedExactly(name)) {
    hits.push_back(SearchHit{session->name, session->ipAddress, session->room->name});
  }
  return hits;
}

// ---- Ignore lists ----------------------------------------------------------

void CChatCore::Ignore(const std::string& id, const std::string& node, const std::string& name) {
  if (name.empty()) return;
  std::unique_lock<std::shared_mutex> guard(m_lock);
  if (SessionRecord* session = m_sessions.Find(id, node)) session->Ignore(name);
}

bool CChatCore::IsIgnoring(const std::string& id, const std::string& node, const std::string& name) const {
  std::shared_lock<std::shared_mutex> guard(m_lock);
  const SessionRecord* session = m_sessions.Find(id, node);
  return session != nullptr && !session->MaySee(name);
}

// ---- Message streams: a stream's place and its room's history, under one lock

std::optional<std::uint64_t> CChatCore::AttachStream(const std::string& id, const std::string& node,
                                                     StreamFormat format, std::uint64_t stream, std::int64_t openedAt,
                                                     const StreamStartRequest& request, StreamStart* start) {
  std::unique_lock<std::shared_mutex> guard(m_lock);
  SessionRecord* session = m_sessions.Find(id, node);
  if (session == nullptr) return std::nullopt;
  if (CSessionIndex::HoldsNewerStream(*session, format, openedAt)) return stream;
  if (start != nullptr) *start = StartOf(*session, request);
  return CSessionIndex::AttachStream(*session, format, stream, openedAt);
}

std::uint64_t CChatCore::RestartStream(const std::string& id, const std::string& node, StreamFormat format,
                                       const StreamStartRequest& request, StreamStart& start) const {
  std::unique_lock<std::shared_mutex> guard(m_lock);  // no line is said meanwhile
  const SessionRecord* session = m_sessions.Find(id, node);
  if (session == nullptr) return 0;
  const std::uint64_t stream = session->streams[static_cast<size_t>(format)];
  if (stream != 0) start = StartOf(*session, request);
  return stream;
}

StreamStart CChatCore::StartOf(const SessionRecord& session, const StreamStartRequest& request) const {
  StreamStart start;
  if (session.room == nullptr) return start;
  const CRoomHistory& history = *session.room->history;
  start.room = session.room->name;
  start.epoch = history.Epoch();
  start.last = history.Last();
  start.viewerName = session.name;
  LinePlace after;
  size_t wanted = request.latest;
  const std::optional<LinePosition>& from = request.resumeFrom;
  if (from && from->epoch == start.epoch && history.HoldsAllAfter(from->place)) {
    start.reset = false;
    after = from->place;
    wanted = history.Lines().size();
  }
  // The newest lines he may see, back to the position or as many as wanted.
  const std::deque<HistoryLine>& lines = history.Lines();
  for (auto line = lines.rbegin(); line != lines.rend() && start.lines.size() < wanted && line->place > after; ++line) {
    if (Sees(session, *line->event, IgnoredSenderName(*line->event))) start.lines.push_back(*line);
  }
  std::reverse(start.lines.begin(), start.lines.end());
  return start;
}

void CChatCore::DetachStream(const std::string& id, const std::string& node, std::uint64_t stream) {
  std::unique_lock<std::shared_mutex> guard(m_lock);
  if (SessionRecord* session = m_sessions.Find(id, node)) CSessionIndex::DetachStream(*session, stream);
}

// ---- Saying a line: its place in the room's history and its recipients ------

bool CChatCore::Sees(const SessionRecord& member, const ChatEvent& event, const std::string& senderName) const {
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
  return member.MaySee(senderName);
}

void CChatCore::AddRecipients(SessionRecord& member, const std::string& markedName, std::vector<Recipient>& out) {
  for (size_t slot = 0; slot < kStreamFormats; ++slot) {
    if (member.streams[slot] == 0) continue;
    out.push_back(Recipient{member.streams[slot], static_cast<StreamFormat>(slot), member.name == markedName});
  }
}

AppendedLine CChatCore::TakePlace(CRoomHistory& history, const std::shared_ptr<const ChatEvent>& line) const {
  if (line->sharedPlace && line->sharedPlace->offset != 0) {
    return history.AppendAt(line, line->sharedPlace->epoch, line->sharedPlace->offset);
  }
  // In a cluster the room's offsets are the node link's; a line only this
  // node says comes after the last of them.
  if (m_nodeLink.On() && m_nodeLink.Carried()) return history.AppendBetween(line);
  return history.Append(line);
}

std::optional<AppendedLine> CChatCore::Publish(const std::shared_ptr<const ChatEvent>& line,
                                               const std::string& markedName, std::vector<Recipient>& out) {
  const ChatEvent& event = *line;
  const std::string senderName = IgnoredSenderName(event);
  const std::time_t now = platform::Now();
  std::shared_lock<std::shared_mutex> guard(m_lock);
  const RoomRecord* room = m_rooms.ByName(event.room);
  // A line names its room exactly (a manager's line any way it is written).
  if (room == nullptr || (room->name != event.room && event.audience != Audience::kManagers)) return std::nullopt;
  // Its place in the room, taken under the shared lock (the history has a
  // mutex of its own): a stream attaches under the exclusive lock, so it
  // either finds the line in the history or is among its recipients.
  const AppendedLine position = TakePlace(*room->history, line);
  if (event.audience == Audience::kSession) {
    SessionRecord* session = m_sessions.Find(event.session, m_settings.nodeId);
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
