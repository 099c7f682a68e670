// Account work that is slow on purpose (password hashing) or waits for the
// disk runs on the worker pool, never on an event loop: the request is
// parked, the work runs on a pool thread, and the answer is written on the
// connection's loop, which meanwhile serves everybody else.
#pragma once

#include <functional>

class CPage;
class CRequest;
namespace platform {
class CWorkerPool;
}

// Parks the request, runs work on the pool, then answer(work's result, page)
// on the connection's loop. Without a pool (or once it stops) the work runs
// on the calling thread.
void ParkForAccountWork(CRequest& request, platform::CWorkerPool* pool, std::function<int()> work,
                        std::function<void(int result, CPage& page)> answer);
