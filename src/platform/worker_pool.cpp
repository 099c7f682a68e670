#include "platform/worker_pool.h"

#include "platform/console.h"
#include "platform/thread.h"

namespace platform {

CWorkerPool::CWorkerPool(int threads, const char* name, OnStop onStop) : m_name(name), m_onStop(onStop) {
  for (int i = 0; i < threads; ++i) {
    std::thread thread = StartThread(name, [this] { Work(); });
    if (thread.joinable()) m_threads.push_back(std::move(thread));
  }
}

CWorkerPool::~CWorkerPool() { Stop(); }

bool CWorkerPool::Submit(Task task) {
  {
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_stopping || m_threads.empty()) return false;
    m_tasks.push_back(std::move(task));
  }
  m_wake.notify_one();
  return true;
}

void CWorkerPool::Stop() {
  std::deque<Task> dropped;  // destroyed outside the lock
  {
    std::lock_guard<std::mutex> guard(m_lock);
    m_stopping = true;
    if (m_onStop == OnStop::kDropQueued) dropped.swap(m_tasks);
  }
  m_wake.notify_all();
  for (std::thread& thread : m_threads) {
    if (thread.joinable()) thread.join();
  }
}

bool CWorkerPool::TakeTask(Task& task) {
  std::unique_lock<std::mutex> guard(m_lock);
  m_wake.wait(guard, [this] { return m_stopping || !m_tasks.empty(); });
  if (m_tasks.empty() || (m_stopping && m_onStop == OnStop::kDropQueued)) return false;
  task = std::move(m_tasks.front());
  m_tasks.pop_front();
  return true;
}

void CWorkerPool::Work() {
  Task task;
  while (TakeTask(task)) {
    try {
      task();
    } catch (...) {
      LogException(std::string(m_name) + ": task failed");
    }
    task = nullptr;  // what the task holds goes before the next wait
  }
}

}  // namespace platform
