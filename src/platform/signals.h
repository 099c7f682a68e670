// Console control: SIGINT and SIGTERM arrive on a thread of their own (never
// inside a signal handler), where they are handed to the given handler as
// Ctrl+C and Ctrl+Break. SIGPIPE is ignored: a peer that goes away shows as
// a failed send, never as the end of the process. SIGHUP (a closed terminal,
// a reload), SIGUSR1 and SIGUSR2 are ignored too: none of them stops the
// server, and the settings are read again only by a restart.
#pragma once

#include <functional>

namespace platform {

enum class ConsoleEvent { kCtrlC, kCtrlBreak };

// Must run before any other thread starts: it blocks SIGINT and SIGTERM for
// every thread the process will create, and ignores the signals above.
void PrepareProcessSignals();

// Starts the thread that waits for the two signals and calls the handler.
void InstallConsoleControl(std::function<void(ConsoleEvent)> handler);

}  // namespace platform
