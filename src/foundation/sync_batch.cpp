#include "foundation/sync_batch.h"

#include <fcntl.h>
#include <unistd.h>

#include "platform/console.h"
#include "platform/thread.h"
#include "platform/unique_fd.h"

CSyncBatch::CSyncBatch(std::string path) : m_path(std::move(path)) {
  m_thread = platform::StartThread("the sync batch", [this] { Run(); });
}

CSyncBatch::~CSyncBatch() {
  {
    std::lock_guard<std::mutex> guard(m_lock);
    m_stopping = true;
  }
  m_wake.notify_one();
  if (m_thread.joinable()) m_thread.join();
}

void CSyncBatch::AfterSync(std::function<void()> done) {
  {
    std::lock_guard<std::mutex> guard(m_lock);
    m_waiting.push_back(std::move(done));
  }
  m_wake.notify_one();
}

void CSyncBatch::SyncFileSystem() {
  // The folder may not exist yet (accounts make it when the first comes):
  // any path on the same file system will do, the working directory too.
  platform::CUniqueFd fd(::open(m_path.empty() ? "." : m_path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!fd) fd.Reset(::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd && ::syncfs(fd.Get()) != 0) platform::ConsoleWrite("cannot sync the file system of the account files\n");
  ++m_syncs;
}

void CSyncBatch::Run() {
  for (;;) {
    std::vector<std::function<void()>> batch;
    {
      std::unique_lock<std::mutex> guard(m_lock);
      m_wake.wait(guard, [this] { return m_stopping || !m_waiting.empty(); });
      if (m_waiting.empty()) return;  // stopping, nothing left
      batch.swap(m_waiting);
    }
    SyncFileSystem();
    // The last guard of each answer: one that fails keeps none of the
    // others waiting.
    for (std::function<void()>& done : batch) {
      try {
        done();
      } catch (...) {
        platform::LogException("sync batch: letting an answer go failed");
      }
    }
  }
}
