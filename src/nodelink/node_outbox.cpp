#include "nodelink/node_outbox.h"

CNodeOutbox::CNodeOutbox() : m_lock(platform::OpenNamedMutex("tolExtOut")) {}

bool CNodeOutbox::Append(std::string_view record) {
  platform::CMutexGuard guard(*m_lock);
  if (!guard) return false;
  m_buffer.Append(record);
  return true;
}

std::string CNodeOutbox::Snapshot() {
  platform::CMutexGuard guard(*m_lock);
  return guard ? m_buffer.Str() : std::string();
}

void CNodeOutbox::Drop() {
  platform::CMutexGuard guard(*m_lock);
  if (guard) m_buffer.Detach();
}

void CNodeOutbox::SetGrowthStep(std::uint32_t step) {
  platform::CMutexGuard guard(*m_lock);
  if (guard) m_buffer.SetGrowthStep(step);
}
