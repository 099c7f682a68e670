// The file writer: one thread that does the disk work the event loops must
// not wait for (rewriting "managerlist.txt", appending to the evidence log).
// Jobs run one after another in the order they were handed in, so the last
// rewrite of a file is the one that stays. It lives for the whole process
// and finishes the jobs it was given before the process ends.
#pragma once

#include <functional>

#include "platform/worker_pool.h"

class CFileWriter {
 public:
  static CFileWriter& Instance();

  // Queues the job. A job's failure is its own to report; an exception
  // from it is caught and said on the console with its cause.
  void Submit(const std::function<void()>& job);

 private:
  platform::CWorkerPool m_pool{1, "file writer", platform::CWorkerPool::OnStop::kFinishQueued};
};
