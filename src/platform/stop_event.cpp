#include "platform/stop_event.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <thread>  // brings std::chrono durations; <chrono> itself cannot be built for GB2312 (its "µs")
#include <cstdint>

std::unique_ptr<platform::CStopEvent> g_stopEvent;

namespace platform {

CStopEvent::CStopEvent() : m_eventFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

CStopEvent::~CStopEvent() {
  if (m_eventFd >= 0) ::close(m_eventFd);
}

void CStopEvent::Set() {
  // Everything happens under the lock, so whoever sees the event set has
  // seen the whole of Set (the main loop may end the process right after).
  std::lock_guard<std::mutex> guard(m_lock);
  if (m_set) return;
  m_set = true;
  if (m_eventFd >= 0) {
    const std::uint64_t one = 1;
    [[maybe_unused]] ssize_t written = ::write(m_eventFd, &one, sizeof one);
  }
  m_changed.notify_all();
}

bool CStopEvent::IsSet() const {
  std::lock_guard<std::mutex> guard(m_lock);
  return m_set;
}

bool CStopEvent::Wait(int milliseconds) const {
  std::unique_lock<std::mutex> guard(m_lock);
  const auto deadline = std::chrono::system_clock::now() + std::chrono::milliseconds(milliseconds);
  return m_changed.wait_until(guard, deadline, [this] { return m_set; });
}

}  // namespace platform

void SignalStop() {
  if (g_stopEvent) g_stopEvent->Set();
}

bool StopRequested() { return !g_stopEvent || g_stopEvent->IsSet(); }
