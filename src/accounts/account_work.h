// Account work that is slow on purpose (password hashing) or waits for the
// disk runs on the worker pool, never on an event loop: the request is
// parked, the work runs on a pool thread, and the answer is written on the
// connection's loop, which meanwhile serves everybody else.
//
// The work is done only for someone who waits for it, and never piles up:
// - a request whose client has already gone is not taken; work whose client
//   has gone by the time a thread would take it is dropped unrun, so a logon
//   sent by a client that closed at once costs no hash, and takes no place
//   in the queue from those who wait;
// - the queue holds what the pool works off in about a second (timed from
//   the work done so far; [user_database] max_queued_work fixes the number
//   instead); past it the answer is "busy.html" at once;
// - with [user_database] max_pending_per_address, each client address has at
//   most that many requests taken and not yet worked, and never more than
//   half the queue; past it, "busy.html".
// The console says when refusals start and how many there were (platform/burst_report.h).
// Work that throws hands its exception to the request, which answers an
// error page (http/client_connection.h) and says the cause on the console.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

#include "accounts/password_hash.h"
#include "http/request.h"
#include "platform/burst_report.h"

class CPage;
class CSyncBatch;
namespace platform {
class CWorkerPool;
}

// When the answer may go: once the work is done, or once its writes are on
// disk too (a new account, a new password).
enum class AnswerWhen { kDone, kOnDisk };

// How to write the answer page, decided by the work.
using PageFill = std::function<void(CPage& page)>;

struct AccountWorkLimits {
  int maxQueued = 0;             // 0: what the pool works off in about a second
  int maxPendingPerAddress = 0;  // 0: no cap
};

// [user_database] max_queued_work and max_pending_per_address; absent or 0, the defaults.
AccountWorkLimits ReadAccountWorkLimits();

// What the account work has done so far, for the console and metrics.
struct AccountWorkFigures {
  std::size_t queued = 0;      // taken, not yet started
  std::size_t queueLimit = 0;  // the bound in force now
  std::uint64_t refusedQueueFull = 0;
  std::uint64_t refusedAddressCap = 0;
  std::uint64_t droppedClientGone = 0;  // before or instead of their work
  std::uint64_t done = 0;               // work run
  double workSeconds = 0;               // the time of the work run, mostly hashing
};

class CAccountWork {
 public:
  // Without a pool (or once it stops) the work runs on the calling thread.
  // cost: the hash cost the work is expected to take, until it has been timed.
  CAccountWork(platform::CWorkerPool* pool, CSyncBatch* syncs, AccountWorkLimits limits, const HashCost& cost);
  ~CAccountWork();
  CAccountWork(const CAccountWork&) = delete;
  CAccountWork& operator=(const CAccountWork&) = delete;

  // Parks the request, runs work on the pool, then the page fill it returned
  // on the connection's loop; or answers at once that the server is busy:
  // through busy when given, else with "busy.html".
  void Park(CRequest& request, AnswerWhen when, std::function<PageFill()> work, const PageFill& busy = {});
  // The same for work whose result is a number: answer(result, page) writes the page.
  void Park(CRequest& request, AnswerWhen when, std::function<int()> work,
            std::function<void(int result, CPage& page)> answer, const PageFill& busy = {});

  AccountWorkFigures Figures() const;

 private:
  // A request taken, waiting for a thread.
  struct Waiting {
    CParkedRequest parked;
    CSyncBatch* syncs = nullptr;  // null: the answer waits for no sync
    std::function<PageFill()> work;
    std::string address;  // counts against its cap until its work is done
  };
  enum class Refusal { kNone, kQueueFull, kAddressCap };

  // Parks the request and queues its work, unless it is refused.
  Refusal Enqueue(CRequest& request, CSyncBatch* syncs, std::function<PageFill()> work);
  // The checks of Enqueue (m_lock held).
  Refusal Admissible(const std::string& address) const;
  // Drops the waiting requests whose clients have gone (m_lock held).
  void DropGone();
  void ReleaseAddress(const std::string& address);  // m_lock held
  // On a pool thread: the oldest waiting request whose client is still there.
  void RunNext();
  void Run(Waiting& waiting);
  std::size_t QueueLimit() const;  // m_lock held
  int AddressCap() const;           // requests one address may have under way; m_lock held
  void Refuse(CRequest& request, Refusal refusal, const PageFill& busy);

  platform::CWorkerPool* const m_pool;
  CSyncBatch* const m_syncs;
  const AccountWorkLimits m_limits;

  mutable std::mutex m_lock;
  std::deque<Waiting> m_waiting;                            // guarded by m_lock
  std::unordered_map<std::string, int> m_pendingByAddress;  // guarded by m_lock
  double m_meanWorkUs;                                     // guarded by m_lock

  std::atomic<std::uint64_t> m_refusedQueueFull{0};
  std::atomic<std::uint64_t> m_refusedAddressCap{0};
  std::atomic<std::uint64_t> m_droppedClientGone{0};
  std::atomic<std::uint64_t> m_done{0};
  std::atomic<std::uint64_t> m_workUs{0};
  platform::CBurstReport m_report;
};
