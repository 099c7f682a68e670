#include "platform/signals.h"

#include <csignal>
#include <pthread.h>

#include "platform/thread.h"

namespace platform {
namespace {
sigset_t ControlSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  return set;
}
}  // namespace

void PrepareProcessSignals() {
  for (int ignored : {SIGPIPE, SIGHUP, SIGUSR1, SIGUSR2}) std::signal(ignored, SIG_IGN);
  sigset_t set = ControlSignals();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

void InstallConsoleControl(std::function<void(ConsoleEvent)> handler) {
  std::thread waiter = StartThread("console control", [handler = std::move(handler)] {
    const sigset_t set = ControlSignals();
    for (;;) {
      int signal = 0;
      if (sigwait(&set, &signal) != 0) continue;
      handler(signal == SIGINT ? ConsoleEvent::kCtrlC : ConsoleEvent::kCtrlBreak);
    }
  });
  if (waiter.joinable()) waiter.detach();
}

}  // namespace platform
