// Named mutexes: one process-wide registry of re-entrant timed mutexes, and
// the guard through which every lock of the system is taken.
//
// The wait rule: a thread waits at most (thread id mod 5) x 1000 + 10000 ms.
// A wait that times out does not run the guarded block: the guard reports
// that it holds nothing, the caller fails its operation as if its object were
// absent, and the console names the mutex that timed out.
#pragma once

#include <thread>  // brings std::chrono durations; <chrono> itself cannot be built for GB2312 (its "µs")
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>

namespace platform {

// A re-entrant mutex with a timed wait, built on a plain mutex and a
// condition variable (the library's timed mutexes use a lock call that the
// thread sanitizer cannot follow).
class CNamedMutex {
 public:
  explicit CNamedMutex(std::string name) : m_name(std::move(name)) {}
  CNamedMutex(const CNamedMutex&) = delete;
  CNamedMutex& operator=(const CNamedMutex&) = delete;

  const std::string& Name() const { return m_name; }
  bool TryLockFor(std::chrono::milliseconds timeout);
  // Only by the holder.
  void Unlock();

 private:
  std::string m_name;
  std::mutex m_state;
  std::condition_variable m_released;
  std::thread::id m_owner;
  unsigned m_depth = 0;
};

using NamedMutexPtr = std::shared_ptr<CNamedMutex>;

// Opens the mutex of that name, creating it when nobody holds it open. Two
// callers that open one name while either still holds it share one mutex.
// An empty name gives a fresh unnamed mutex.
NamedMutexPtr OpenNamedMutex(const std::string& name);

// The time-out the wait rule gives the calling thread.
std::chrono::milliseconds WaitRuleTimeout();
// Test hook: the rule becomes (thread id mod 5) x step + base.
void SetWaitRuleForTests(std::chrono::milliseconds base, std::chrono::milliseconds step);

// RAII lock. Test it before touching the guarded object:
//   CMutexGuard guard(*mutex);
//   if (!guard) return failure;
class CMutexGuard {
 public:
  explicit CMutexGuard(CNamedMutex& mutex);
  explicit CMutexGuard(const NamedMutexPtr& mutex) : CMutexGuard(*mutex) {}
  // A probe with its own time-out that reports nothing when it fails.
  CMutexGuard(CNamedMutex& mutex, std::chrono::milliseconds timeout);
  ~CMutexGuard();
  CMutexGuard(const CMutexGuard&) = delete;
  CMutexGuard& operator=(const CMutexGuard&) = delete;

  explicit operator bool() const { return m_held; }

 private:
  CNamedMutex& m_mutex;
  bool m_held;
};

}  // namespace platform
