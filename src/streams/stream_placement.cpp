#include "streams/stream_placement.h"

#include <algorithm>
#include <utility>

CStreamSeat::CStreamSeat(CStreamSeat&& other) noexcept
    : m_placement(std::exchange(other.m_placement, nullptr)),
      m_room(std::move(other.m_room)),
      m_loop(std::exchange(other.m_loop, -1)) {}

CStreamSeat& CStreamSeat::operator=(CStreamSeat&& other) noexcept {
  if (this != &other) {
    Release();
    m_placement = std::exchange(other.m_placement, nullptr);
    m_room = std::move(other.m_room);
    m_loop = std::exchange(other.m_loop, -1);
  }
  return *this;
}

void CStreamSeat::Release() {
  if (m_placement != nullptr) std::exchange(m_placement, nullptr)->Release(m_room, m_loop);
  m_loop = -1;
}

CStreamPlacement::CStreamPlacement(int loops) : m_perLoop(static_cast<std::size_t>(std::max(loops, 1))) {}

CStreamSeat CStreamPlacement::Place(const std::string& room) {
  const std::lock_guard<std::mutex> guard(m_lock);
  auto [found, isNew] = m_rooms.try_emplace(room);
  Room& placed = found->second;
  if (isNew) {
    const auto least = std::min_element(m_perLoop.begin(), m_perLoop.end(),
                                        [](const CGauge& a, const CGauge& b) { return a.Value() < b.Value(); });
    placed.loop = static_cast<int>(least - m_perLoop.begin());
  }
  ++placed.streams;
  m_perLoop[static_cast<std::size_t>(placed.loop)].Add();
  CStreamSeat seat;
  seat.m_placement = this;
  seat.m_room = room;
  seat.m_loop = placed.loop;
  return seat;
}

void CStreamPlacement::Release(const std::string& room, int loop) {
  const std::lock_guard<std::mutex> guard(m_lock);
  m_perLoop[static_cast<std::size_t>(loop)].Subtract();
  const auto found = m_rooms.find(room);
  if (found != m_rooms.end() && --found->second.streams == 0) m_rooms.erase(found);
}

void CStreamPlacement::AddMetrics(CMetricRegistry& metrics) const {
  for (std::size_t loop = 0; loop < m_perLoop.size(); ++loop) {
    metrics.Add("tolvan_loop_streams", "Message streams placed on each event loop (a room's streams share one loop)",
                m_perLoop[loop], {{"loop", std::to_string(loop)}});
  }
}
