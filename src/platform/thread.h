// Threads of the server. Every thread body runs inside a last guard, so no
// exception ever leaves a thread and ends the process; the console names the
// thread and the cause. (The loops of the bodies guard each turn, so a
// thread ends this way only for a fault outside its turns.)
#pragma once

#include <functional>
#include <thread>

namespace platform {

// Starts a thread on the body; an empty std::thread when it cannot start.
std::thread StartThread(const char* name, std::function<void()> body);

void SleepMs(int milliseconds);

// The kernel's id of the calling thread (what the wait rule is keyed on).
unsigned long CurrentThreadId();

}  // namespace platform
