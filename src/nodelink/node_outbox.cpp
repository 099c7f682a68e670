#include "nodelink/node_outbox.h"

CNodeOutbox::CNodeOutbox() : m_lock(platform::OpenNamedMutex("tolExtOut")) {}

bool CNodeOutbox::Append(std::string_view record) { return Append(std::string(record), StateOps()); }

bool CNodeOutbox::Append(std::string record, StateOps state) {
  return Append(OutboxEntry{std::move(record), std::move(state), std::nullopt});
}

bool CNodeOutbox::Append(OutboxEntry entry) {
  {
    platform::CMutexGuard guard(*m_lock);
    if (!guard) return false;
    m_entries.push_back(std::move(entry));
    TrimToLimit();
  }
  Signal();
  return true;
}

std::string CNodeOutbox::Snapshot() {
  platform::CMutexGuard guard(*m_lock);
  std::string text;
  if (!guard) return text;
  for (const OutboxEntry& entry : m_entries) text += entry.record;
  return text;
}

std::optional<size_t> CNodeOutbox::Length() {
  platform::CMutexGuard guard(*m_lock);
  if (!guard) return std::nullopt;
  return m_entries.size();
}

void CNodeOutbox::Drop() {
  platform::CMutexGuard guard(*m_lock);
  if (guard) std::deque<OutboxEntry>().swap(m_entries);  // gives the storage back too
}

void CNodeOutbox::SetLimit(size_t records) {
  platform::CMutexGuard guard(*m_lock);
  if (!guard) return;
  m_limit = records;
  TrimToLimit();
}

void CNodeOutbox::TrimToLimit() {
  while (m_limit != 0 && m_entries.size() > m_limit) {
    m_entries.pop_front();
    ++m_dropped;
  }
}

std::vector<OutboxEntry> CNodeOutbox::Take(size_t max) {
  std::vector<OutboxEntry> taken;
  platform::CMutexGuard guard(*m_lock);
  if (!guard) return taken;
  while (!m_entries.empty() && taken.size() < max) {
    taken.push_back(std::move(m_entries.front()));
    m_entries.pop_front();
  }
  return taken;
}

void CNodeOutbox::PutBack(std::vector<OutboxEntry> entries) {
  {
    platform::CMutexGuard guard(*m_lock);
    if (!guard) return;
    for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry) m_entries.push_front(std::move(*entry));
    TrimToLimit();
  }
  Signal();
}

void CNodeOutbox::Signal() {
  {
    std::lock_guard<std::mutex> lock(m_signalLock);
    ++m_appended;
  }
  m_signal.notify_all();
}

void CNodeOutbox::Wake() { Signal(); }

bool CNodeOutbox::WaitForRecords(int milliseconds) {
  std::unique_lock<std::mutex> lock(m_signalLock);
  const bool signalled = m_signal.wait_for(lock, std::chrono::milliseconds(milliseconds),
                                           [this] { return m_appended != m_waited; });
  m_waited = m_appended;
  return signalled;
}
