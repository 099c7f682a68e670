#include "foundation/file_writer.h"

#include "platform/console.h"
#include "platform/thread.h"

namespace {
void RunJob(const std::function<void()>& job) {
  try {
    job();
  } catch (...) {
    platform::ConsoleWrite("catch in file writer\n");
  }
}
}  // namespace

CFileWriter& CFileWriter::Instance() {
  static CFileWriter writer;
  return writer;
}

void CFileWriter::Submit(std::function<void()> job) {
  {
    std::lock_guard<std::mutex> guard(m_lock);
    if (!m_thread.joinable() && !m_stopping) m_thread = platform::StartThread("file writer", [this] { Run(); });
    if (m_thread.joinable()) {
      m_jobs.push_back(std::move(job));
      m_wake.notify_one();
      return;
    }
  }
  RunJob(job);  // no thread could be started: better late on this thread than never
}

void CFileWriter::Run() {
  std::unique_lock<std::mutex> guard(m_lock);
  for (;;) {
    m_wake.wait(guard, [this] { return m_stopping || !m_jobs.empty(); });
    if (m_jobs.empty()) return;  // stopping, and everything is written
    std::function<void()> job = std::move(m_jobs.front());
    m_jobs.pop_front();
    guard.unlock();
    RunJob(job);
    guard.lock();
  }
}

CFileWriter::~CFileWriter() {
  {
    std::lock_guard<std::mutex> guard(m_lock);
    m_stopping = true;
    m_wake.notify_one();
  }
  if (m_thread.joinable()) m_thread.join();
}
