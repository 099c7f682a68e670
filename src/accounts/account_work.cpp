#include "accounts/account_work.h"

#include "http/request.h"
#include "platform/worker_pool.h"

void ParkForAccountWork(CRequest& request, platform::CWorkerPool* pool, std::function<int()> work,
                        std::function<void(int result, CPage& page)> answer) {
  const CParkedRequest parked = request.Park();
  auto task = [parked, work = std::move(work), answer = std::move(answer)] {
    const int result = work();
    parked.Resume([result, answer](CPage& page) { answer(result, page); });
  };
  if (pool == nullptr || !pool->Submit(task)) task();
}
