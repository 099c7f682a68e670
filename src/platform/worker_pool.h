// CWorkerPool: a fixed number of threads for slow work that must not run on
// an event loop (password hashing, account files, the file writer). Tasks
// run in the order they were submitted, each inside a last guard that says
// on the console which pool's task failed and why. Stop ends
// the threads: a task already running finishes; tasks not yet started are
// dropped, or run first when the pool was made to finish them.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace platform {

class CWorkerPool {
 public:
  using Task = std::function<void()>;
  enum class OnStop { kDropQueued, kFinishQueued };

  CWorkerPool(int threads, const char* name, OnStop onStop = OnStop::kDropQueued);
  ~CWorkerPool();
  CWorkerPool(const CWorkerPool&) = delete;
  CWorkerPool& operator=(const CWorkerPool&) = delete;

  // Queues the task; false (and the task is not run) when the pool has
  // stopped or has no thread.
  bool Submit(Task task);
  // Ends the threads and waits for them; later submissions are refused.
  void Stop();
  int ThreadCount() const { return static_cast<int>(m_threads.size()); }

 private:
  void Work();
  // The next task, or nothing once the pool stops.
  bool TakeTask(Task& task);

  const char* m_name;
  const OnStop m_onStop;
  std::mutex m_lock;
  std::condition_variable m_wake;
  std::deque<Task> m_tasks;  // guarded by m_lock
  bool m_stopping = false;   // guarded by m_lock
  std::vector<std::thread> m_threads;
};

}  // namespace platform
