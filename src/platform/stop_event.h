// The stop event: manual reset, created unset, set once and then stays set.
// Loops wait on it with a time-out; poll loops add its descriptor to their
// set, so a stop wakes them at once.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>

namespace platform {

class CStopEvent {
 public:
  CStopEvent();
  ~CStopEvent();
  CStopEvent(const CStopEvent&) = delete;
  CStopEvent& operator=(const CStopEvent&) = delete;

  void Set();
  bool IsSet() const;
  // Waits up to the given time; true when the event is (or becomes) set.
  bool Wait(int milliseconds) const;
  // Readable once the event is set; never read, so it stays readable.
  int PollFd() const { return m_eventFd; }

 private:
  mutable std::mutex m_lock;
  mutable std::condition_variable m_changed;
  bool m_set = false;
  int m_eventFd = -1;
};

}  // namespace platform

// The stop event of the running main loop; null before it is created.
extern std::unique_ptr<platform::CStopEvent> g_stopEvent;

// Sets g_stopEvent if it exists. Safe from any thread.
void SignalStop();
// True when the stop event exists and is set, or when it does not exist.
bool StopRequested();
