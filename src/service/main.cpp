// The entry point: "-debug" runs in the console; "-install" and "-remove"
// manage the systemd unit; "-password NAME" sets an account's password;
// anything else takes the service path.
#include <sys/resource.h>

#include <cstdio>
#include <string>
#include <vector>

#include "foundation/text.h"
#include "platform/console.h"
#include "platform/service_manager.h"
#include "platform/signals.h"
#include "platform/stop_event.h"
#include "service/main_loop.h"
#include "service/password_command.h"
#include "service/service_host.h"
#include "service/service_install.h"
#include "service/service_names.h"

namespace {

void ConsoleCtrlHandler(platform::ConsoleEvent) {
  platform::ConsolePrintf("Stopping %s.\n", kDisplayName);
  SignalStop();
}

int RunDebugConsole(int argc, char** argv) {
  platform::ConsolePrintf("Debugging %s.\n", kDisplayName);
  platform::InstallConsoleControl(ConsoleCtrlHandler);
  return RunMainLoop(argc, argv);
}

// Thousands of browsers hold connections open at once: take every descriptor
// the system allows.
void RaiseOpenFileLimit() {
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
  }
}

// The option word after '-' or '/', or "" when the first argument has none.
std::string OptionWord(int argc, char** argv) {
  if (argc < 2 || (argv[1][0] != '-' && argv[1][0] != '/')) return "";
  return AsciiLower(argv[1] + 1);
}

int RunServicePath(int argc, char** argv) {
  platform::ConsolePrintf("%s -install          to install the service\n", kProgramName);
  platform::ConsolePrintf("%s -remove           to remove the service\n", kProgramName);
  platform::ConsolePrintf("%s -debug <params>   to run as a console app for debugging\n", kProgramName);
  platform::ConsoleWrite("\nStartServiceCtrlDispatcher being called.\n");
  platform::ConsoleWrite("This may take several seconds.  Please wait.\n");
  if (!platform::StartedByServiceManager()) {
    LogServiceError("StartServiceCtrlDispatcher failed.");
    return kMainLoopStopped;
  }
  return ServiceMain(argc, argv);
}

}  // namespace

int main(int argc, char** argv) {
  // "-install", "-remove" and "-password" keep the default signal handling,
  // so Ctrl+C ends them (and the systemctl they run) like any console program.
  const std::string word = OptionWord(argc, argv);
  if (word == "install") {
    InstallService();
    return 0;
  }
  if (word == "remove") {
    RemoveService();
    return 0;
  }
  if (word == "password") return RunPasswordCommand(std::vector<std::string>(argv + 2, argv + argc));
  platform::PrepareProcessSignals();
  RaiseOpenFileLimit();
  if (word == "debug") {
    SetDebugMode(true);
    return RunDebugConsole(argc, argv) == kServerCannotListen ? 1 : 0;
  }
  return RunServicePath(argc, argv) == kServerCannotListen ? 1 : 0;
}
