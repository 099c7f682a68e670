#include "chat/room_history.h"

#include <cstdio>

std::string SharedRoomEpoch(const std::string& clusterEpoch, const std::string& room) {
  std::uint64_t hash = 14695981039346656037ull;  // FNV-1a over the name's bytes
  for (const unsigned char byte : room) hash = (hash ^ byte) * 1099511628211ull;
  char digits[17] = {};
  std::snprintf(digits, sizeof digits, "%016llx", static_cast<unsigned long long>(hash));
  return clusterEpoch + "r" + digits;
}

AppendedLine CRoomHistory::Append(std::shared_ptr<const ChatEvent> event) {
  std::lock_guard<std::mutex> guard(m_appending);
  return Keep(std::move(event), LinePlace{m_last.offset + 1, 0}, false);
}

AppendedLine CRoomHistory::AppendBetween(std::shared_ptr<const ChatEvent> event) {
  std::lock_guard<std::mutex> guard(m_appending);
  return Keep(std::move(event), LinePlace{m_last.offset, m_last.sub + 1}, false);
}

AppendedLine CRoomHistory::AppendAt(std::shared_ptr<const ChatEvent> event, const std::string& epoch,
                                    std::uint64_t offset) {
  std::lock_guard<std::mutex> guard(m_appending);
  const bool newEpoch = epoch != m_epoch;
  const LinePlace before{offset - 1, 0};
  if (newEpoch || offset <= m_last.offset) {
    m_epoch = epoch;
    m_lines.clear();
    m_forgotten = before;
  } else if (offset != m_last.offset + 1) {
    m_forgotten = before;
  }
  return Keep(std::move(event), LinePlace{offset, 0}, newEpoch);
}

AppendedLine CRoomHistory::Keep(std::shared_ptr<const ChatEvent> event, LinePlace place, bool newEpoch) {
  m_last = place;
  if (m_capacity == 0) {
    m_forgotten = place;
  } else {
    if (m_lines.size() == m_capacity) {
      m_forgotten = m_lines.front().place;
      m_lines.pop_front();
    }
    m_lines.push_back(HistoryLine{place, std::move(event)});
  }
  return AppendedLine{LinePosition{m_epoch, place}, newEpoch};
}

bool CRoomHistory::HoldsAllAfter(LinePlace place) const {
  return place.offset <= m_last.offset && place >= m_forgotten;
}
