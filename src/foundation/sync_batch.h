// CSyncBatch: group commit. Work whose writes must be on disk before it is
// answered (a new account, a new password) hands its answer to the batch;
// one thread syncs the file system for everything that waits at once and
// then lets the answers go. Each write costs a share of one sync instead of
// a sync of its own (a sync takes most of a millisecond on a plain disk).
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class CSyncBatch {
 public:
  // The path names the file system to sync (a folder on it).
  explicit CSyncBatch(std::string path);
  // Syncs once more for what still waits, lets it go, and ends the thread.
  ~CSyncBatch();
  CSyncBatch(const CSyncBatch&) = delete;
  CSyncBatch& operator=(const CSyncBatch&) = delete;

  // Runs done on the batch's thread once everything written before this
  // call is on disk.
  void AfterSync(std::function<void()> done);
  // Syncs done so far (for tests and figures).
  long Syncs() const { return m_syncs; }

 private:
  void Run();
  void SyncFileSystem();

  const std::string m_path;
  std::mutex m_lock;
  std::condition_variable m_wake;
  std::vector<std::function<void()>> m_waiting;  // guarded by m_lock
  bool m_stopping = false;                      // guarded by m_lock
  std::atomic<long> m_syncs{0};
  std::thread m_thread;
};
