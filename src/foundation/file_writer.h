// The file writer: one thread that does the disk work the event loops must
// not wait for (rewriting "managerlist.txt", appending to the evidence log).
// Jobs run one after another in the order they were handed in, so the last
// rewrite of a file is the one that stays. It lives for the whole process
// and finishes the jobs it was given before the process ends.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

class CFileWriter {
 public:
  static CFileWriter& Instance();

  // Queues the job; the thread starts with the first one. A job's failure
  // is its own to report; an exception from it is caught and printed.
  void Submit(std::function<void()> job);

  CFileWriter() = default;
  ~CFileWriter();
  CFileWriter(const CFileWriter&) = delete;
  CFileWriter& operator=(const CFileWriter&) = delete;

 private:
  void Run();

  std::mutex m_lock;
  std::condition_variable m_wake;
  std::deque<std::function<void()>> m_jobs;
  bool m_stopping = false;
  std::thread m_thread;
};
