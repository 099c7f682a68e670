// Threads of the server. Every thread body runs inside a catch-all, so no
// exception ever leaves a thread and ends the process.
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
