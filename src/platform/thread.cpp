#include "platform/thread.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <thread>  // brings std::chrono durations; <chrono> itself cannot be built for GB2312 (its "µs")
#include <system_error>

#include "platform/console.h"

namespace platform {

std::thread StartThread(const char* name, std::function<void()> body) {
  try {
    return std::thread([name, body = std::move(body)] {
      try {
        body();
      } catch (...) {
        LogException(std::string("thread ") + name + " ended");
      }
    });
  } catch (const std::system_error&) {
    LogException(std::string("Can't start the thread ") + name);
    return std::thread();
  }
}

void SleepMs(int milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

unsigned long CurrentThreadId() {
  thread_local const unsigned long id = static_cast<unsigned long>(::syscall(SYS_gettid));
  return id;
}

}  // namespace platform
