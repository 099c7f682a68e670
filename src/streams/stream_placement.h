// CStreamPlacement: which loop writes a room's message streams. All the
// streams of a room live on one loop, so that a line for the room is one
// loop's work: one task, one batch of writes, no other loop woken, and the
// other cores left to the rest of the server (and, on a small machine, to
// the clients). A room is given the loop that writes the fewest streams
// when its first stream opens, and keeps it while a stream placed for it is
// open. Rooms spread the load over the loops; one room, however large, is
// written by one loop.
//
// A stream is placed when it opens. An event stream that follows its user
// into another room stays on its loop (its next opening places it again).
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "foundation/metrics.h"

class CStreamPlacement;

// One stream's place, held while the stream is open: given back when it
// is destroyed. Empty: the stream was placed for no room.
class CStreamSeat {
 public:
  CStreamSeat() = default;
  CStreamSeat(CStreamSeat&& other) noexcept;
  CStreamSeat& operator=(CStreamSeat&& other) noexcept;
  CStreamSeat(const CStreamSeat&) = delete;
  CStreamSeat& operator=(const CStreamSeat&) = delete;
  ~CStreamSeat() { Release(); }

  // The loop that writes the stream; -1 when empty.
  int Loop() const { return m_loop; }

 private:
  friend class CStreamPlacement;
  void Release();

  CStreamPlacement* m_placement = nullptr;
  std::string m_room;
  int m_loop = -1;
};

class CStreamPlacement {
 public:
  explicit CStreamPlacement(int loops);

  // A seat for a stream of the room (its key: letter case aside, one
  // room has one key) on the room's loop.
  CStreamSeat Place(const std::string& room);

  // How many streams are placed on each loop.
  void AddMetrics(CMetricRegistry& metrics) const;

 private:
  friend class CStreamSeat;
  void Release(const std::string& room, int loop);

  struct Room {
    int loop = 0;
    std::size_t streams = 0;
  };
  std::mutex m_lock;
  std::unordered_map<std::string, Room> m_rooms;  // guarded by m_lock
  std::vector<CGauge> m_perLoop;                  // written under m_lock
};
