// CSessionIndex: the logged-on users (sessions), of this node and of
// others: by (session id, node) (the owner), by folded name, and where each
// one is (a member of a room, in the order members came, or in the list of
// users in no room); the streams each holds open here, one of each format;
// and when the idle sweep is due.
//
// Threading: it has no lock of its own. The chat core holds it and calls
// it under the core's lock; only IdleSweepDue may be called without it.
#pragma once

#include <atomic>
#include <cstdint>
#include <ctime>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "chat/chat_records.h"

inline constexpr int kIdleSweepInterval = 20;        // seconds between two idle sweeps at least
inline constexpr int kOtherNodeTimeoutFactor = 200;  // sessions of other nodes live this much longer
inline constexpr const char* kAllNodes = "All_NodeId";

class CSessionIndex {
 public:
  CSessionIndex();

  SessionRecord* Find(const std::string& id, const std::string& node) const;
  int Count() const { return static_cast<int>(m_byKey.size()); }
  // A user who just logged on, in no room; null when the id is empty or taken.
  SessionRecord* Add(const SessionView& view);
  // Takes the session out, wherever it is, and frees it.
  void Remove(SessionRecord& session);
  // Takes the sessions out, each to be announced as it leaves.
  std::vector<EndedSession> RemoveAll(const std::vector<SessionRecord*>& sessions);
  // The session becomes the last member of the room (null: of no room).
  void MoveTo(SessionRecord& session, RoomRecord* room);

  // ---- Which sessions
  std::vector<SessionRecord*> OfNode(const std::string& node) const;
  // Idle since before the limit: this node's, or other nodes' (a later limit).
  std::vector<SessionRecord*> IdleBefore(const std::string& localNode, std::time_t localLimit,
                                         std::time_t otherLimit) const;
  // Those of that name (letter case aside) on that node but keptId, the
  // oldest (by logon) first.
  std::vector<SessionRecord*> OfNameOldestFirst(const std::string& name, const std::string& node,
                                                const std::string& keptId) const;
  // Whether an idle sweep is due (at most one every 20 seconds); true
  // claims it. Needs no lock.
  bool IdleSweepDue(std::time_t now);

  // ---- By name, letter case aside
  // The first member of the room of that name on that node ("All_NodeId": any node).
  const SessionRecord* FirstMemberNamed(const RoomRecord& room, const std::string& name,
                                        const std::string& node) const;
  // The first of that name in a room, across the rooms in list order.
  const SessionRecord* FirstInARoomNamed(const std::string& name, const std::string& node) const;
  // Those in a room whose name is exactly that, in list order.
  std::vector<const SessionRecord*> InRoomsNamedExactly(const std::string& name) const;

  // ---- Streams
  // Whether a stream of that format opened after openedAt is held.
  static bool HoldsNewerStream(const SessionRecord& session, StreamFormat format, std::int64_t openedAt);
  // The stream takes its format's place; returns the one it replaces (0: none).
  static std::uint64_t AttachStream(SessionRecord& session, StreamFormat format, std::uint64_t stream,
                                    std::int64_t openedAt);
  static void DetachStream(SessionRecord& session, std::uint64_t stream);

 private:
  using Key = std::string;
  static Key KeyOf(const std::string& id, const std::string& node) { return id + '\n' + node; }
  void Unlink(SessionRecord& session);
  void LinkInto(SessionRecord& session, RoomRecord* room);

  std::unordered_map<Key, std::unique_ptr<SessionRecord>> m_byKey;
  std::unordered_multimap<std::string, SessionRecord*> m_byName;
  std::map<std::uint64_t, SessionRecord*> m_noRoom;
  std::uint64_t m_nextOrder = 1;  // numbers sessions in the order they came where they are
  std::uint64_t m_nextLogon = 1;  // numbers sessions in the order they logged on
  std::atomic<std::time_t> m_lastIdleSweep;
};
