#include "accounts/account_work.h"

#include <algorithm>
#include <optional>

#include "foundation/settings.h"
#include "foundation/sync_batch.h"
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

CAccountWork::Refusal CAccountWork::Admissible(const std::string& address) const {
  if (m_waiting.size() >= QueueLimit()) return Refusal::kQueueFull;
  if (m_limits.maxPendingPerAddress > 0) {
    const auto found = m_pendingByAddress.find(address);
    if (found != m_pendingByAddress.end() && found->second >= AddressCap()) return Refusal::kAddressCap;
  }
  return Refusal::kNone;
}

int CAccountWork::AddressCap() const {
  // Never more than half the queue: one address alone cannot keep it full,
  // so somebody else's logon always finds a place.
  const int halfQueue = std::max(1, static_cast<int>(QueueLimit() / 2));
  return std::min(m_limits.maxPendingPerAddress, halfQueue);
}

CAccountWork::Refusal CAccountWork::Enqueue(CRequest& request, CSyncBatch* syncs, std::function<PageFill()> work) {
  const std::string& address = request.ClientAddress();
  std::lock_guard<std::mutex> guard(m_lock);
  Refusal refusal = Admissible(address);
  if (refusal != Refusal::kNone) {
    // Requests whose clients have left give their places to those who wait.
    DropGone();
    refusal = Admissible(address);
    if (refusal != Refusal::kNone) return refusal;
  }
  if (m_limits.maxPendingPerAddress > 0) ++m_pendingByAddress[address];
  // Parked before any thread can take its work; a refused request is not.
  m_waiting.push_back(Waiting{request.Park(), syncs, std::move(work), address});
  return Refusal::kNone;
}

void CAccountWork::DropGone() {
  std::erase_if(m_waiting, [this](const Waiting& waiting) {
    if (!waiting.parked.ClientGone()) return false;
    ++m_droppedClientGone;
    ReleaseAddress(waiting.address);
    return true;
  });
}

void CAccountWork::ReleaseAddress(const std::string& address) {
  if (m_limits.maxPendingPerAddress <= 0) return;
  const auto found = m_pendingByAddress.find(address);
  if (found != m_pendingByAddress.end() && --found->second <= 0) m_pendingByAddress.erase(found);
}

void CAccountWork::RunNext() {
  std::optional<Waiting> next;
  {
    std::lock_guard<std::mutex> guard(m_lock);
    while (!next && !m_waiting.empty()) {
      Waiting& front = m_waiting.front();
      if (front.parked.ClientGone()) {
        ++m_droppedClientGone;
        ReleaseAddress(front.address);
      } else {
        next = std::move(front);
      }
      m_waiting.pop_front();
    }
  }
  if (next) Run(*next);
}

void CAccountWork::Run(Waiting& waiting) {
  // The address's share is given back however the work ends.
  struct AddressShare {
    CAccountWork& owner;
    const std::string& address;
    ~AddressShare() {
      std::lock_guard<std::mutex> guard(owner.m_lock);
      owner.ReleaseAddress(address);
    }
  };
  PageFill fill;
  {
    const AddressShare share{*this, waiting.address};
    const std::int64_t started = platform::MonotonicUs();
    try {
      fill = waiting.work();
    } catch (...) {
      // The failure goes to the request, whose last guard says why on the
      // console and answers an error page: nobody is left waiting.
      fill = [failure = std::current_exception()](CPage&) { std::rethrow_exception(failure); };
    }
    const std::int64_t took = std::max<std::int64_t>(0, platform::MonotonicUs() - started);
    ++m_done;
    m_workUs += static_cast<std::uint64_t>(took);
    std::lock_guard<std::mutex> guard(m_lock);
    m_meanWorkUs += (static_cast<double>(took) - m_meanWorkUs) * kMeanWeight;
  }
  auto resume = [parked = waiting.parked, fill = std::move(fill)] { parked.Resume(fill); };
  if (waiting.syncs != nullptr) {
    waiting.syncs->AfterSync(resume);  // one sync of the file system for every write that waits
  } else {
    resume();
  }
}

void CAccountWork::Refuse(CRequest& request, Refusal refusal, const PageFill& busy) {
  if (refusal == Refusal::kQueueFull) {
    ++m_refusedQueueFull;
    m_report.Refused("the queue is full");
  } else {
    ++m_refusedAddressCap;
    const int cap = [this] {
      std::lock_guard<std::mutex> guard(m_lock);
      return AddressCap();
    }();
    m_report.Refused(request.ClientAddress() + " has " + std::to_string(cap) + " requests under way");
  }
  if (busy) {
    busy(request.Page());
  } else {
    request.Page().IncludeFile("busy.html");
  }
}

void CAccountWork::Park(CRequest& request, AnswerWhen when, std::function<PageFill()> work, const PageFill& busy) {
  if (request.ClientGone()) {  // nobody to answer: the request ends unanswered
    ++m_droppedClientGone;
    return;
  }
  const Refusal refusal = Enqueue(request, when == AnswerWhen::kOnDisk ? m_syncs : nullptr, std::move(work));
  if (refusal != Refusal::kNone) {
    Refuse(request, refusal, busy);
    return;
  }
  m_report.Served();
  if (m_pool == nullptr || !m_pool->Submit([this] { RunNext(); })) RunNext();
}

void CAccountWork::Park(CRequest& request, AnswerWhen when, std::function<int()> work,
                        std::function<void(int result, CPage& page)> answer, const PageFill& busy) {
  auto fillOfResult = [work = std::move(work), answer = std::move(answer)]() -> PageFill {
    const int result = work();
    return [result, answer](CPage& page) { answer(result, page); };
  };
  Park(request, when, std::function<PageFill()>(std::move(fillOfResult)), busy);
}

AccountWorkFigures CAccountWork::Figures() const {
  AccountWorkFigures figures;
  {
    std::lock_guard<std::mutex> guard(m_lock);
    figures.queued = m_waiting.size();
    figures.queueLimit = QueueLimit();
  }
  figures.refusedQueueFull = m_refusedQueueFull;
  figures.refusedAddressCap = m_refusedAddressCap;
  figures.droppedClientGone = m_droppedClientGone;
  figures.done = m_done;
  figures.workSeconds = static_cast<double>(m_workUs.load()) / 1e6;
  return figures;
}
