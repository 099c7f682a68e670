// Account work that is slow on purpose (password hashing) or waits for the
// disk runs on the worker pool, never on an event loop: the request is
// parked, the work runs on a pool thread, and the answer is written on the
// connection's loop, which meanwhile serves everybody else.
#pragma once

#include <functional>

class CPage;
class CRequest;
class CSyncBatch;
namespace platform {
class CWorkerPool;
}

// Where account work runs: the worker pool, and the group commit through
// which the answer of a write that must be on disk waits for the next sync.
struct CAccountWork {
  platform::CWorkerPool* pool = nullptr;  // null: the work runs in place
  CSyncBatch* syncs = nullptr;            // null: answers wait for no sync
};

// When the answer may go: once the work is done, or once its writes are on
// disk too (a new account, a new password).
enum class AnswerWhen { kDone, kOnDisk };

// How to write the answer page, decided by the work.
using PageFill = std::function<void(CPage& page)>;

// Parks the request, runs work on the pool, then the page fill it returned
// on the connection's loop. Without a pool (or once it stops) the work runs
// on the calling thread.
void ParkForAccountWork(CRequest& request, const CAccountWork& where, AnswerWhen when, std::function<PageFill()> work);
// The same for work whose result is a number: answer(result, page) writes the page.
void ParkForAccountWork(CRequest& request, const CAccountWork& where, AnswerWhen when, std::function<int()> work,
                        std::function<void(int result, CPage& page)> answer);
