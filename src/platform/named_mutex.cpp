#include "platform/named_mutex.h"

#include <map>

#include "platform/console.h"
#include "platform/thread.h"

namespace platform {
namespace {

struct WaitRule {
  std::chrono::milliseconds base{10000};
  std::chrono::milliseconds step{1000};
};

WaitRule& Rule() {
  static WaitRule rule;
  return rule;
}

struct Registry {
  std::mutex lock;
  std::map<std::string, std::weak_ptr<CNamedMutex>> byName;
  unsigned creations = 0;
};

Registry& TheRegistry() {
  static Registry registry;
  return registry;
}

}  // namespace

bool CNamedMutex::TryLockFor(std::chrono::milliseconds timeout) {
  const std::thread::id self = std::this_thread::get_id();
  std::unique_lock<std::mutex> state(m_state);
  if (m_depth != 0 && m_owner == self) {
    ++m_depth;
    return true;
  }
  // A system-clock deadline keeps the wait on pthread_cond_timedwait.
  const auto deadline = std::chrono::system_clock::now() + timeout;
  if (!m_released.wait_until(state, deadline, [this] { return m_depth == 0; })) return false;
  m_owner = self;
  m_depth = 1;
  return true;
}

void CNamedMutex::Unlock() {
  std::lock_guard<std::mutex> state(m_state);
  if (m_depth == 0 || --m_depth != 0) return;
  m_owner = std::thread::id();
  m_released.notify_one();
}

NamedMutexPtr OpenNamedMutex(const std::string& name) {
  if (name.empty()) return std::make_shared<CNamedMutex>(name);
  Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> guard(registry.lock);
  std::weak_ptr<CNamedMutex>& slot = registry.byName[name];
  if (NamedMutexPtr existing = slot.lock()) return existing;
  auto created = std::make_shared<CNamedMutex>(name);
  slot = created;
  // Now and then drop the names of mutexes nobody holds any more, so the
  // registry stays about as small as the set of live mutexes.
  if (++registry.creations % 256 == 0) {
    for (auto it = registry.byName.begin(); it != registry.byName.end();) {
      it = it->second.expired() ? registry.byName.erase(it) : std::next(it);
    }
  }
  return created;
}

std::chrono::milliseconds WaitRuleTimeout() {
  const WaitRule& rule = Rule();
  return rule.step * static_cast<long>(CurrentThreadId() % 5) + rule.base;
}

void SetWaitRuleForTests(std::chrono::milliseconds base, std::chrono::milliseconds step) {
  Rule().base = base;
  Rule().step = step;
}

CMutexGuard::CMutexGuard(CNamedMutex& mutex) : m_mutex(mutex), m_held(mutex.TryLockFor(WaitRuleTimeout())) {
  if (!m_held) ConsolePrintf("wait for mutex %s timed out\n", mutex.Name().c_str());
}

CMutexGuard::CMutexGuard(CNamedMutex& mutex, std::chrono::milliseconds timeout)
    : m_mutex(mutex), m_held(mutex.TryLockFor(timeout)) {}

CMutexGuard::~CMutexGuard() {
  if (m_held) m_mutex.Unlock();
}

}  // namespace platform
