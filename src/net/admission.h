// CAdmission: whether a new connection is taken in, decided at accept for
// every loop of the server at once.
//
//  - The descriptor ceiling. The process may open only so many descriptors,
//    and the server keeps some back for the files, logs and links it opens
//    while it runs, so connections stop short of the limit. At the ceiling
//    the accepting loop closes its oldest connection that has sent no
//    request yet (an idle socket: a real browser sends its request with the
//    connection) to make room for the newcomer, and refuses the newcomer
//    when it has none. Each loop sheds its own connections (only its thread
//    may touch them); the count is shared. The console says so once a burst.
//  - The cap per client address ([network] max_connections_per_address,
//    off when 0). Only the peer's address is known at accept: an ordinary
//    peer's connections count from then on. A trusted proxy's connections
//    count by the client their request head names, once it is read. A
//    message stream counts as long as it is open.
//
// What a connection takes up is held by its CAdmissionTicket and given
// back when the connection closes. Thread-safe.
#pragma once

#include <atomic>
#include <climits>
#include <ctime>
#include <mutex>
#include <string>
#include <unordered_map>

#include "foundation/ip_address.h"

namespace net {

class CAdmission;
class CEventLoop;

class CAdmissionTicket {
 public:
  CAdmissionTicket() = default;  // takes up nothing
  CAdmissionTicket(CAdmissionTicket&& other) noexcept;
  CAdmissionTicket& operator=(CAdmissionTicket&& other) noexcept;
  CAdmissionTicket(const CAdmissionTicket&) = delete;
  CAdmissionTicket& operator=(const CAdmissionTicket&) = delete;
  ~CAdmissionTicket() { Release(); }

  // For a connection from a trusted proxy, once its request head names the
  // client: counts the connection against that address's cap. False, and
  // nothing counted, when the address holds its cap already; true when there
  // is nothing to count (counted at accept, or no cap).
  bool CountClient(const std::string& clientAddress);
  // Gives back what the ticket holds (the connection closes).
  void Release();

 private:
  friend class CAdmission;
  CAdmission* m_admission = nullptr;
  std::string m_countedAddress;  // the address whose cap holds a place for this connection
  bool m_awaitsClient = false;   // from a trusted proxy: counted once the client is known
};

enum class Refusal { kNone, kAtCeiling, kAddressFull };

// Since the start, for the console and the metrics.
struct AdmissionCounts {
  long open = 0;                // connections open now
  long accepted = 0;
  long shed = 0;                // closed without a request to make room at the ceiling
  long refusedAtCeiling = 0;
  long refusedPerAddress = 0;   // at accept, or behind a proxy once the head named the client
};

class CAdmission {
 public:
  struct Limits {
    int connectionCeiling = INT_MAX;  // connections open at once
    int perAddress = 0;               // connections of one client address; 0: no cap
    CAddressList trustedProxies;      // whose connections count by the client they name
  };

  // Descriptors kept back from connections: account files, the evidence
  // log, site files, the node link's sockets, a refused newcomer.
  static constexpr int kDescriptorReserve = 128;
  // Connections that fit under the descriptor limit when this many
  // descriptors are open already, less the reserve (a smaller one when the
  // limit is small, so that connections still fit).
  static int CeilingFor(int descriptorLimit, int openDescriptors);

  explicit CAdmission(Limits limits) : m_limits(std::move(limits)) {}
  CAdmission(const CAdmission&) = delete;
  CAdmission& operator=(const CAdmission&) = delete;

  struct Verdict {
    CAdmissionTicket ticket;
    Refusal refusal = Refusal::kNone;
  };
  // A new connection from the peer, on the accepting loop's thread; at the
  // ceiling, the loop's oldest connection without a request is shed first.
  Verdict Admit(CEventLoop& loop, const std::string& peerAddress);
  // Accepting failed for want of descriptors all the same (something else
  // took them): sheds the loop's oldest connection without a request; true
  // when there was one.
  bool MakeRoom(CEventLoop& loop);

  const Limits& GetLimits() const { return m_limits; }
  AdmissionCounts Counts() const;

 private:
  friend class CAdmissionTicket;

  // Connections one newcomer may shed at the ceiling.
  static constexpr int kShedAttempts = 4;
  // A run of events with no pause longer than this is one burst, said once.
  static constexpr std::time_t kBurstPauseSeconds = 10;
  // True when an event at this time starts a new burst.
  class CBurst {
   public:
    bool Starts(std::time_t now);

   private:
    std::atomic<std::time_t> m_last{0};
  };

  bool TakeConnection();
  void GiveBackConnection();
  bool TakeAddress(const std::string& address);
  void GiveBackAddress(const std::string& address);
  void NoteCeiling(bool shed);
  void NoteAddressFull(const std::string& address);

  const Limits m_limits;
  std::atomic<long> m_open{0};
  std::atomic<long> m_accepted{0};
  std::atomic<long> m_shed{0};
  std::atomic<long> m_refusedAtCeiling{0};
  std::atomic<long> m_refusedPerAddress{0};
  CBurst m_ceilingBurst;
  CBurst m_addressBurst;
  std::mutex m_addressLock;
  std::unordered_map<std::string, int> m_perAddress;  // guarded by m_addressLock; only addresses with connections
};

}  // namespace net
