#include "accounts/account_work.h"

#include <algorithm>

#include "foundation/settings.h"
#include "foundation/sync_batch.h"
#include "http/request.h"
#include "platform/clock.h"
#include "platform/worker_pool.h"

namespace {

// A request waits at most about this long for a thread, at the pace the
// work has been going.
constexpr double kQueueWaitBudgetUs = 1'000'000;
constexpr std::size_t kLeastQueuedPerThread = 2;
constexpr std::size_t kMostQueued = 1024;
// Until work has been timed: about a microsecond per KiB and pass (a hash
// at the default cost, 19 MiB and 2 passes, takes some 40 ms).
constexpr double kEstimatedUsPerKibPass = 1.0;
// Each timed piece of work moves the mean this far towards itself.
constexpr double kMeanWeight = 1.0 / 8;

}  // namespace

AccountWorkLimits ReadAccountWorkLimits() {
  AccountWorkLimits limits;
  limits.maxQueued = std::max(0, GetSettingInt("user_database", "max_queued_work"));
  limits.maxPendingPerAddress = std::max(0, GetSettingInt("user_database", "max_pending_per_address"));
  return limits;
}

// One request taken: its place in the queue until a thread starts it, and
// its share of its address's cap until its work is done (or dropped).
class CAccountWork::CAdmission {
 public:
  CAdmission(CAccountWork& owner, std::string address) : m_owner(owner), m_address(std::move(address)) {}
  ~CAdmission() { Finish(); }
  CAdmission(const CAdmission&) = delete;
  CAdmission& operator=(const CAdmission&) = delete;

  void Start() {
    if (m_started) return;
    m_started = true;
    m_owner.LeaveQueue();
  }
  void Finish() {
    if (m_finished) return;
    Start();
    m_finished = true;
    m_owner.LeaveAddress(m_address);
  }

 private:
  CAccountWork& m_owner;
  const std::string m_address;
  bool m_started = false;  // the task runs on one thread at a time
  bool m_finished = false;
};

CAccountWork::CAccountWork(platform::CWorkerPool* pool, CSyncBatch* syncs, AccountWorkLimits limits,
                           const HashCost& cost)
    : m_pool(pool),
      m_syncs(syncs),
      m_limits(limits),
      m_meanWorkUs(kEstimatedUsPerKibPass * static_cast<double>(cost.memoryKib) * cost.passes),
      m_report("Account work busy") {}

CAccountWork::~CAccountWork() = default;

std::size_t CAccountWork::QueueLimit() const {
  if (m_limits.maxQueued > 0) return static_cast<std::size_t>(m_limits.maxQueued);
  const std::size_t threads = m_pool != nullptr ? static_cast<std::size_t>(std::max(1, m_pool->ThreadCount())) : 1;
  const double paced = kQueueWaitBudgetUs * static_cast<double>(threads) / std::max(1.0, m_meanWorkUs);
  return std::clamp(static_cast<std::size_t>(paced), kLeastQueuedPerThread * threads, kMostQueued);
}

CAccountWork::Refusal CAccountWork::Admit(const std::string& address) {
  std::lock_guard<std::mutex> guard(m_lock);
  if (m_queued >= QueueLimit()) return Refusal::kQueueFull;
  if (m_limits.maxPendingPerAddress > 0) {
    int& pending = m_pendingByAddress[address];
    if (pending >= m_limits.maxPendingPerAddress) return Refusal::kAddressCap;
    ++pending;
  }
  ++m_queued;
  return Refusal::kNone;
}

void CAccountWork::LeaveQueue() {
  std::lock_guard<std::mutex> guard(m_lock);
  --m_queued;
}

void CAccountWork::LeaveAddress(const std::string& address) {
  if (m_limits.maxPendingPerAddress <= 0) return;
  std::lock_guard<std::mutex> guard(m_lock);
  const auto found = m_pendingByAddress.find(address);
  if (found != m_pendingByAddress.end() && --found->second <= 0) m_pendingByAddress.erase(found);
}

void CAccountWork::RecordWork(std::int64_t microseconds) {
  ++m_done;
  m_workUs += static_cast<std::uint64_t>(std::max<std::int64_t>(0, microseconds));
  std::lock_guard<std::mutex> guard(m_lock);
  m_meanWorkUs += (static_cast<double>(microseconds) - m_meanWorkUs) * kMeanWeight;
}

void CAccountWork::Refuse(CRequest& request, Refusal refusal) {
  if (refusal == Refusal::kQueueFull) {
    ++m_refusedQueueFull;
    std::size_t waiting = 0;
    {
      std::lock_guard<std::mutex> guard(m_lock);
      waiting = m_queued;
    }
    m_report.Refused("the queue is full (" + std::to_string(waiting) + " waiting)");
  } else {
    ++m_refusedAddressCap;
    m_report.Refused(request.ClientAddress() + " has " + std::to_string(m_limits.maxPendingPerAddress) +
                     " requests under way");
  }
  request.Page().IncludeFile("busy.html");
}

void CAccountWork::Park(CRequest& request, AnswerWhen when, std::function<PageFill()> work) {
  if (request.ClientGone()) {  // nobody to answer: the request ends unanswered
    ++m_droppedClientGone;
    return;
  }
  const Refusal refusal = Admit(request.ClientAddress());
  if (refusal != Refusal::kNone) {
    Refuse(request, refusal);
    return;
  }
  m_report.Served();
  auto admission = std::make_shared<CAdmission>(*this, request.ClientAddress());
  const CParkedRequest parked = request.Park();
  CSyncBatch* syncs = when == AnswerWhen::kOnDisk ? m_syncs : nullptr;
  auto task = [this, admission, parked, syncs, work = std::move(work)] {
    admission->Start();
    if (parked.ClientGone()) {
      ++m_droppedClientGone;
      admission->Finish();
      return;
    }
    const std::int64_t started = platform::MonotonicUs();
    PageFill fill = work();
    RecordWork(platform::MonotonicUs() - started);
    admission->Finish();
    auto resume = [parked, fill = std::move(fill)] { parked.Resume(fill); };
    if (syncs != nullptr) {
      syncs->AfterSync(resume);  // one sync of the file system for every write that waits
    } else {
      resume();
    }
  };
  if (m_pool == nullptr || !m_pool->Submit(task)) task();
}

void CAccountWork::Park(CRequest& request, AnswerWhen when, std::function<int()> work,
                        std::function<void(int result, CPage& page)> answer) {
  auto fillOfResult = [work = std::move(work), answer = std::move(answer)]() -> PageFill {
    const int result = work();
    return [result, answer](CPage& page) { answer(result, page); };
  };
  Park(request, when, std::function<PageFill()>(std::move(fillOfResult)));
}

AccountWorkFigures CAccountWork::Figures() const {
  AccountWorkFigures figures;
  {
    std::lock_guard<std::mutex> guard(m_lock);
    figures.queued = m_queued;
    figures.queueLimit = QueueLimit();
  }
  figures.refusedQueueFull = m_refusedQueueFull;
  figures.refusedAddressCap = m_refusedAddressCap;
  figures.droppedClientGone = m_droppedClientGone;
  figures.done = m_done;
  figures.workSeconds = static_cast<double>(m_workUs.load()) / 1e6;
  return figures;
}
