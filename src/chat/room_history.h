// CRoomHistory: the last lines of a room, each with its place, so that a
// stream that opens (or comes back) can show what was said before. Every
// line of the room takes the next place, whether or not it is kept, and
// whoever it is for; the epoch names this life of the room (a room made
// again, or a server started again, starts a new one), so that an offset
// of an earlier life is never taken for one of this.
//
// In a cluster the room's order is the node link's: a line the link carries
// comes with its epoch and offset, the same on every node, so a client may
// resume on any node. A line only this node says (its notices, a reply to
// one user) is placed after the last carried line, as its sub-line.
//
// Threading: the chat core holds it in its room and calls it under its own
// lock; the appends take the history's mutex too, as lines are said under
// the core's shared lock.
#pragma once

#include <compare>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>

#include "chat/chat_event.h"

// Where a line stands within one life of its room: its offset and, for a
// line said between two lines of a cluster's order, its sub-line.
struct LinePlace {
  std::uint64_t offset = 0;
  std::uint64_t sub = 0;
  auto operator<=>(const LinePlace&) const = default;
};

// Where a line stands: its room's epoch and its place.
struct LinePosition {
  std::string epoch;
  LinePlace place;
};

struct HistoryLine {
  LinePlace place;
  std::shared_ptr<const ChatEvent> event;
};

// A line appended: its position, and whether it started a new epoch of
// the room (streams that follow the room start over with it).
struct AppendedLine {
  LinePosition position;
  bool newEpoch = false;
};

// A room's epoch across a cluster: the cluster's epoch joined with the
// room's name, so that every node names it alike and no two rooms share it.
std::string SharedRoomEpoch(const std::string& clusterEpoch, const std::string& room);

class CRoomHistory {
 public:
  CRoomHistory(std::string epoch, size_t capacity) : m_epoch(std::move(epoch)), m_capacity(capacity) {}

  // Read while no line is appended (under the core's exclusive lock).
  const std::string& Epoch() const { return m_epoch; }
  // The place of the last line said ({0, 0}: none yet).
  LinePlace Last() const { return m_last; }
  // The lines kept, oldest first.
  const std::deque<HistoryLine>& Lines() const { return m_lines; }
  // Whether every line said after that place is kept (false for an offset
  // this room has not reached).
  bool HoldsAllAfter(LinePlace place) const;

  // A line numbered here: the next offset.
  AppendedLine Append(std::shared_ptr<const ChatEvent> event);
  // A line said between two lines of the link's order: the last offset and
  // the next sub-line.
  AppendedLine AppendBetween(std::shared_ptr<const ChatEvent> event);
  // A line at the place the node link gave it. A line of another epoch
  // starts the history over in that epoch; a gap (lines this node never
  // had) forgets what came before it.
  AppendedLine AppendAt(std::shared_ptr<const ChatEvent> event, const std::string& epoch, std::uint64_t offset);

 private:
  AppendedLine Keep(std::shared_ptr<const ChatEvent> event, LinePlace place, bool newEpoch);

  std::string m_epoch;
  const size_t m_capacity;
  std::mutex m_appending;
  LinePlace m_last;
  LinePlace m_forgotten;  // the last line that is not kept, or was never had ({0, 0}: none)
  std::deque<HistoryLine> m_lines;
};
