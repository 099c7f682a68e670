#include "accounts/account_work.h"

#include "foundation/sync_batch.h"
#include "http/request.h"
#include "platform/worker_pool.h"

void ParkForAccountWork(CRequest& request, const CAccountWork& where, AnswerWhen when, std::function<PageFill()> work) {
  const CParkedRequest parked = request.Park();
  CSyncBatch* syncs = when == AnswerWhen::kOnDisk ? where.syncs : nullptr;
  auto task = [parked, syncs, work = std::move(work)] {
    PageFill fill = work();
    auto resume = [parked, fill = std::move(fill)] { parked.Resume(fill); };
    if (syncs != nullptr) {
      syncs->AfterSync(resume);  // one sync of the file system for every write that waits
    } else {
      resume();
    }
  };
  if (where.pool == nullptr || !where.pool->Submit(task)) task();
}

void ParkForAccountWork(CRequest& request, const CAccountWork& where, AnswerWhen when, std::function<int()> work,
                        std::function<void(int result, CPage& page)> answer) {
  auto fillOfResult = [work = std::move(work), answer = std::move(answer)]() -> PageFill {
    const int result = work();
    return [result, answer](CPage& page) { answer(result, page); };
  };
  ParkForAccountWork(request, where, when, std::function<PageFill()>(std::move(fillOfResult)));
}
