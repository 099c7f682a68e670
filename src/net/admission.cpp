#include "net/admission.h"

#include <algorithm>

#include "net/event_loop.h"
#include "platform/clock.h"
#include "platform/console.h"

namespace net {

CAdmissionTicket::CAdmissionTicket(CAdmissionTicket&& other) noexcept
    : m_admission(std::exchange(other.m_admission, nullptr)),
      m_countedAddress(std::move(other.m_countedAddress)),
      m_awaitsClient(std::exchange(other.m_awaitsClient, false)) {
  other.m_countedAddress.clear();
}

CAdmissionTicket& CAdmissionTicket::operator=(CAdmissionTicket&& other) noexcept {
  if (this != &other) {
    Release();
    m_admission = std::exchange(other.m_admission, nullptr);
    m_countedAddress = std::move(other.m_countedAddress);
    other.m_countedAddress.clear();
    m_awaitsClient = std::exchange(other.m_awaitsClient, false);
  }
  return *this;
}

bool CAdmissionTicket::CountClient(const std::string& clientAddress) {
  if (m_admission == nullptr || !m_awaitsClient) return true;
  m_awaitsClient = false;
  if (!m_admission->TakeAddress(clientAddress)) {
    m_admission->NoteAddressFull(clientAddress);
    return false;
  }
  m_countedAddress = clientAddress;
  return true;
}

void CAdmissionTicket::Release() {
  CAdmission* admission = std::exchange(m_admission, nullptr);
  if (admission == nullptr) return;
  if (!m_countedAddress.empty()) admission->GiveBackAddress(m_countedAddress);
  m_countedAddress.clear();
  m_awaitsClient = false;
  admission->GiveBackConnection();
}

int CAdmission::CeilingFor(int descriptorLimit, int openDescriptors) {
  const int free = std::max(0, descriptorLimit - openDescriptors);
  return free - std::min(kDescriptorReserve, free / 4);
}

CAdmission::Verdict CAdmission::Admit(CEventLoop& loop, const std::string& peerAddress) {
  Verdict verdict;
  CAdmissionTicket& ticket = verdict.ticket;
  if (m_limits.perAddress > 0) {
    if (m_limits.trustedProxies.Contains(peerAddress)) {
      ticket.m_awaitsClient = true;
    } else if (TakeAddress(peerAddress)) {
      ticket.m_countedAddress = peerAddress;
    } else {
      NoteAddressFull(peerAddress);
      verdict.refusal = Refusal::kAddressFull;
      return verdict;
    }
  }
  // Shedding goes before a refusal: the connections shed have proved
  // nothing, the newcomer may be a browser with its request on the way.
  // Another loop may take the place a shed connection gave back: then this
  // loop sheds again, a few times at most.
  int shedding = 0;
  while (!TakeConnection()) {
    if (shedding == kShedAttempts || !loop.ShedOldestWithoutRequest()) {
      if (!ticket.m_countedAddress.empty()) GiveBackAddress(ticket.m_countedAddress);
      ticket.m_countedAddress.clear();
      NoteCeiling(false);
      verdict.refusal = Refusal::kAtCeiling;
      return verdict;
    }
    ++shedding;
    NoteCeiling(true);
  }
  ticket.m_admission = this;
  ++m_accepted;
  return verdict;
}

bool CAdmission::MakeRoom(CEventLoop& loop) {
  const bool shed = loop.ShedOldestWithoutRequest();
  NoteCeiling(shed);
  return shed;
}

AdmissionCounts CAdmission::Counts() const {
  return AdmissionCounts{m_open.load(), m_accepted.load(), m_shed.load(), m_refusedAtCeiling.load(),
                         m_refusedPerAddress.load()};
}

bool CAdmission::TakeConnection() {
  long open = m_open.load();
  while (open < m_limits.connectionCeiling) {
    if (m_open.compare_exchange_weak(open, open + 1)) return true;
  }
  return false;
}

void CAdmission::GiveBackConnection() { --m_open; }

bool CAdmission::TakeAddress(const std::string& address) {
  std::lock_guard<std::mutex> guard(m_addressLock);
  int& count = m_perAddress[address];
  if (count >= m_limits.perAddress) return false;  // never 0 here: such an entry is erased at once
  ++count;
  return true;
}

void CAdmission::GiveBackAddress(const std::string& address) {
  std::lock_guard<std::mutex> guard(m_addressLock);
  const auto found = m_perAddress.find(address);
  if (found != m_perAddress.end() && --found->second <= 0) m_perAddress.erase(found);
}

bool CAdmission::CBurst::Starts(std::time_t now) { return now - m_last.exchange(now) > kBurstPauseSeconds; }

void CAdmission::NoteCeiling(bool shed) {
  ++(shed ? m_shed : m_refusedAtCeiling);
  if (!m_ceilingBurst.Starts(platform::Now())) return;
  platform::ConsolePrintf(
      "At the ceiling of %d open connections (the descriptor limit less a reserve): the oldest connections "
      "that sent no request are closed to make room, new ones are refused when there are none (said once a "
      "burst; %ld closed, %ld refused since the start)\n",
      m_limits.connectionCeiling, m_shed.load(), m_refusedAtCeiling.load());
}

void CAdmission::NoteAddressFull(const std::string& address) {
  ++m_refusedPerAddress;
  if (!m_addressBurst.Starts(platform::Now())) return;
  platform::ConsolePrintf(
      "Connections from %s refused at [network] max_connections_per_address = %d (said once a burst; %ld "
      "refused since the start)\n",
      address.c_str(), m_limits.perAddress, m_refusedPerAddress.load());
}

}  // namespace net
