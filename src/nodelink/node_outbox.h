// CNodeOutbox: what lives for the whole process on the node link's sending
// side: the serial counter (starts at 10, never reset) and the outgoing
// buffer into which every record is appended (tolExtOut). Nothing reads the
// buffer yet; the housekeeping round drops what it holds.
#pragma once

#include <atomic>
#include <string>
#include <string_view>

#include "foundation/text_buffer.h"
#include "platform/named_mutex.h"

inline constexpr int kFirstSerialNumber = 10;

class CNodeOutbox {
 public:
  CNodeOutbox();

  int TakeSerialNumber() { return m_serial.fetch_add(1); }
  void ResetSerialNumberForTests() { m_serial = kFirstSerialNumber; }

  // Appends a record under tolExtOut; false when the wait timed out.
  bool Append(std::string_view record);
  // Everything appended so far (and not dropped).
  std::string Snapshot();
  // Drops the buffer's contents and storage.
  void Drop();
  // Raises the buffer's growth step (each server does so when it starts).
  void SetGrowthStep(std::uint32_t step);

 private:
  std::atomic<int> m_serial{kFirstSerialNumber};
  platform::NamedMutexPtr m_lock;
  CTextBuffer m_buffer;
};
