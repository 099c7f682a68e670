// CNodeOutbox: what lives for the whole process on the node link's sending
// side: the serial counter (starts at 10, never reset) and the outgoing
// buffer into which every record is appended (tolExtOut), each record with
// the change of shared state it makes. Without a transport the housekeeping
// round drops what it holds; the transport over Redis drains it as records
// arrive, and caps it while Redis is away.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "nodelink/cluster_state.h"
#include "platform/named_mutex.h"

inline constexpr int kFirstSerialNumber = 10;

// A room line that takes its place in the room's order as Redis takes it:
// its room, and the key by which its own node knows it when it reads it back.
struct LineOrderRequest {
  std::string room;
  std::uint64_t key = 0;
};

struct OutboxEntry {
  std::string record;
  StateOps state;
  std::optional<LineOrderRequest> order;
};

class CNodeOutbox {
 public:
  CNodeOutbox();

  int TakeSerialNumber() { return m_serial.fetch_add(1); }
  void ResetSerialNumberForTests() { m_serial = kFirstSerialNumber; }

  // Appends a record under tolExtOut; false when the wait timed out.
  bool Append(std::string_view record);
  bool Append(std::string record, StateOps state);
  bool Append(OutboxEntry entry);
  // Everything appended so far (and not dropped or taken), as one text.
  std::string Snapshot();
  // Drops the buffer's contents.
  void Drop();
  // How many records wait; none when the lock's wait timed out.
  std::optional<size_t> Length();

  // ---- For the transport
  // At most this many records wait; beyond it the oldest go (0: no cap).
  void SetLimit(size_t records);
  // How many records the cap has dropped since the last call.
  std::uint64_t TakeDroppedCount() { return m_dropped.exchange(0); }
  // The oldest records, at most max of them, taken out of the buffer.
  std::vector<OutboxEntry> Take(size_t max);
  // Records that could not be sent go back in front, in their order.
  void PutBack(std::vector<OutboxEntry> entries);
  // Waits until a record is appended (true) or the time is up.
  bool WaitForRecords(int milliseconds);
  // Ends a wait at once (the transport is stopping).
  void Wake();

 private:
  void TrimToLimit();
  void Signal();

  std::atomic<int> m_serial{kFirstSerialNumber};
  platform::NamedMutexPtr m_lock;
  std::deque<OutboxEntry> m_entries;  // oldest first, guarded by m_lock
  size_t m_limit = 0;                 // guarded by m_lock
  std::atomic<std::uint64_t> m_dropped{0};

  std::mutex m_signalLock;
  std::condition_variable m_signal;
  std::uint64_t m_appended = 0;  // guarded by m_signalLock
  std::uint64_t m_waited = 0;    // guarded by m_signalLock
};
