#include "chat/session_index.h"

#include <algorithm>
#include <utility>

#include "foundation/text.h"
#include "platform/clock.h"

namespace {

bool NodeMatches(const std::string& node, const std::string& wanted) {
  return EqualsFolded(wanted, kAllNodes) || EqualsFolded(node, wanted);
}

// Across the rooms in list order, then in the order members came.
bool ListedEarlier(const SessionRecord* a, const SessionRecord* b) {
  return a->room->order != b->room->order ? a->room->order < b->room->order : a->order < b->order;
}

}  // namespace

CSessionIndex::CSessionIndex() : m_lastIdleSweep(platform::Now()) {}

SessionRecord* CSessionIndex::Find(const std::string& id, const std::string& node) const {
  if (id.empty()) return nullptr;
  const auto found = m_byKey.find(KeyOf(id, node));
  return found != m_byKey.end() ? found->second.get() : nullptr;
}

SessionRecord* CSessionIndex::Add(const SessionView& view) {
  const Key key = KeyOf(view.id, view.nodeId);
  if (view.id.empty() || m_byKey.count(key) != 0) return nullptr;
  auto session = std::make_unique<SessionRecord>(view);
  session->logon = m_nextLogon++;
  SessionRecord* raw = session.get();
  m_byKey.emplace(key, std::move(session));
  m_byName.emplace(AsciiLower(view.name), raw);
  LinkInto(*raw, nullptr);
  return raw;
}

void CSessionIndex::LinkInto(SessionRecord& session, RoomRecord* room) {
  session.room = room;
  session.order = m_nextOrder++;
  if (room != nullptr) {
    room->members.emplace(session.order, &session);
    if (session.Listening()) room->listening.emplace(session.order, &session);
  } else {
    m_noRoom.emplace(session.order, &session);
  }
}

void CSessionIndex::Unlink(SessionRecord& session) {
  if (RoomRecord* room = session.room) {
    room->members.erase(session.order);
    room->listening.erase(session.order);
    if (room->members.empty()) room->emptySince = platform::Now();
  } else {
    m_noRoom.erase(session.order);
  }
  session.room = nullptr;
}

void CSessionIndex::MoveTo(SessionRecord& session, RoomRecord* room) {
  Unlink(session);
  LinkInto(session, room);
}

void CSessionIndex::Remove(SessionRecord& session) {
  Unlink(session);
  const auto [first, last] = m_byName.equal_range(AsciiLower(session.name));
  for (auto at = first; at != last; ++at) {
    if (at->second == &session) {
      m_byName.erase(at);
      break;
    }
  }
  m_byKey.erase(KeyOf(session.id, session.nodeId));  // frees the session
}

std::vector<EndedSession> CSessionIndex::RemoveAll(const std::vector<SessionRecord*>& sessions) {
  std::vector<EndedSession> ended;
  for (SessionRecord* session : sessions) {
    ended.push_back(EndedOf(*session, true));
    Remove(*session);
  }
  return ended;
}

// ---- Which sessions ----------------------------------------------------------

std::vector<SessionRecord*> CSessionIndex::OfNode(const std::string& node) const {
  std::vector<SessionRecord*> found;
  for (const auto& [key, session] : m_byKey) {
    if (session->nodeId == node) found.push_back(session.get());
  }
  return found;
}

std::vector<SessionRecord*> CSessionIndex::IdleBefore(const std::string& localNode, std::time_t localLimit,
                                                      std::time_t otherLimit) const {
  std::vector<SessionRecord*> idle;
  for (const auto& [key, session] : m_byKey) {
    const std::time_t limit = session->nodeId == localNode ? localLimit : otherLimit;
    if (session->lastActive < limit) idle.push_back(session.get());
  }
  return idle;
}

std::vector<SessionRecord*> CSessionIndex::OfNameOldestFirst(const std::string& name, const std::string& node,
                                                             const std::string& keptId) const {
  std::vector<SessionRecord*> others;
  const auto [from, to] = m_byName.equal_range(AsciiLower(name));
  for (auto at = from; at != to; ++at) {
    if (at->second->nodeId == node && at->second->id != keptId) others.push_back(at->second);
  }
  std::sort(others.begin(), others.end(),
            [](const SessionRecord* a, const SessionRecord* b) { return a->logon < b->logon; });
  return others;
}

bool CSessionIndex::IdleSweepDue(std::time_t now) {
  std::time_t last = m_lastIdleSweep;
  return now - last >= kIdleSweepInterval && m_lastIdleSweep.compare_exchange_strong(last, now);
}

// ---- By name -----------------------------------------------------------------

const SessionRecord* CSessionIndex::FirstMemberNamed(const RoomRecord& room, const std::string& name,
                                                     const std::string& node) const {
  const SessionRecord* first = nullptr;
  const auto [from, to] = m_byName.equal_range(AsciiLower(name));
  for (auto at = from; at != to; ++at) {
    const SessionRecord* session = at->second;
    if (session->room == &room && NodeMatches(session->nodeId, node) &&
        (first == nullptr || session->order < first->order)) {
      first = session;
    }
  }
  return first;
}

const SessionRecord* CSessionIndex::FirstInARoomNamed(const std::string& name, const std::string& node) const {
  const SessionRecord* first = nullptr;
  const auto [from, to] = m_byName.equal_range(AsciiLower(name));
  for (auto at = from; at != to; ++at) {
    const SessionRecord* session = at->second;
    if (session->room != nullptr && NodeMatches(session->nodeId, node) &&
        (first == nullptr || ListedEarlier(session, first))) {
      first = session;
    }
  }
  return first;
}

std::vector<const SessionRecord*> CSessionIndex::InRoomsNamedExactly(const std::string& name) const {
  std::vector<const SessionRecord*> found;
  const auto [from, to] = m_byName.equal_range(AsciiLower(name));
  for (auto at = from; at != to; ++at) {
    if (at->second->room != nullptr && at->second->name == name) found.push_back(at->second);
  }
  std::sort(found.begin(), found.end(), ListedEarlier);
  return found;
}

// ---- Streams -----------------------------------------------------------------

bool CSessionIndex::HoldsNewerStream(const SessionRecord& session, StreamFormat format, std::int64_t openedAt) {
  const size_t slot = static_cast<size_t>(format);
  return session.streams[slot] != 0 && session.streamsOpenedAt[slot] > openedAt;
}

std::uint64_t CSessionIndex::AttachStream(SessionRecord& session, StreamFormat format, std::uint64_t stream,
                                          std::int64_t openedAt) {
  const size_t slot = static_cast<size_t>(format);
  session.streamsOpenedAt[slot] = openedAt;
  if (session.room != nullptr) session.room->listening.emplace(session.order, &session);
  return std::exchange(session.streams[slot], stream);
}

void CSessionIndex::DetachStream(SessionRecord& session, std::uint64_t stream) {
  for (std::uint64_t& held : session.streams) {
    if (held == stream) held = 0;
  }
  if (session.room != nullptr && !session.Listening()) session.room->listening.erase(session.order);
}
