// CRoomHistory: the last lines of a room, each with its offset, so that a
// stream that opens (or comes back) can show what was said before. Every
// line of the room takes the next offset, whether or not it is kept, and
// whoever it is for; the epoch names this life of the room (a room made
// again, or a server started again, starts a new one), so that an offset
// of an earlier life is never taken for one of this.
//
// Threading: the chat core holds it in its room and calls it under its own
// lock; Append takes the history's mutex too, as lines are said under the
// core's shared lock.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>

#include "chat/chat_event.h"

// Where a line stands: its room's epoch and its offset.
struct LinePosition {
  std::string epoch;
  std::uint64_t offset = 0;
};

struct HistoryLine {
  std::uint64_t offset = 0;
  std::shared_ptr<const ChatEvent> event;
};

class CRoomHistory {
 public:
  CRoomHistory(std::string epoch, size_t capacity) : m_epoch(std::move(epoch)), m_capacity(capacity) {}

  const std::string& Epoch() const { return m_epoch; }
  // The offset of the last line said (0: none yet).
  std::uint64_t LastOffset() const { return m_lastOffset; }
  // The line takes the next offset; the oldest kept line goes when more
  // than the capacity are kept. Returns the line's offset.
  std::uint64_t Append(std::shared_ptr<const ChatEvent> event);
  // The lines kept, oldest first (only while no line is appended).
  const std::deque<HistoryLine>& Lines() const { return m_lines; }
  // Whether every line said after that offset is kept (false for an offset
  // this room has not reached).
  bool HoldsAllAfter(std::uint64_t offset) const;

 private:
  const std::string m_epoch;
  const size_t m_capacity;
  std::mutex m_appending;
  std::uint64_t m_lastOffset = 0;
  std::deque<HistoryLine> m_lines;
};
