#include "chat/room_history.h"

std::uint64_t CRoomHistory::Append(std::shared_ptr<const ChatEvent> event) {
  std::lock_guard<std::mutex> guard(m_appending);
  const std::uint64_t offset = ++m_lastOffset;
  if (m_capacity == 0) return offset;
  if (m_lines.size() == m_capacity) m_lines.pop_front();
  m_lines.push_back(HistoryLine{offset, std::move(event)});
  return offset;
}

bool CRoomHistory::HoldsAllAfter(std::uint64_t offset) const {
  if (offset > m_lastOffset) return false;
  if (offset == m_lastOffset) return true;  // nothing was said since
  return !m_lines.empty() && m_lines.front().offset <= offset + 1;
}
