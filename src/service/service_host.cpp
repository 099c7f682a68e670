#include "service/service_host.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <string>

#include "platform/service_manager.h"
#include "platform/signals.h"
#include "platform/stop_event.h"
#include "service/main_loop.h"
#include "service/service_names.h"

namespace {
std::atomic<bool> g_debugMode{false};
std::atomic<int> g_lastError{0};
std::atomic<unsigned> g_checkpoint{1};
std::atomic<ServiceState> g_currentState{ServiceState::kStopped};

std::string StatusText(ServiceState state, int exitCode, int waitHintMs) {
  switch (state) {
    case ServiceState::kStartPending:
      return "STATUS=Starting (checkpoint " + std::to_string(g_checkpoint++) + ", wait hint " +
             std::to_string(waitHintMs) + " ms)";
    case ServiceState::kRunning:
      return "READY=1\nSTATUS=Running";
    case ServiceState::kStopPending:
      return "STOPPING=1\nSTATUS=Stopping (checkpoint " + std::to_string(g_checkpoint++) + ")";
    case ServiceState::kStopped:
      return "STATUS=Stopped\nERRNO=" + std::to_string(exitCode);
  }
  return "";
}

// SIGTERM from systemd is the stop control; SIGINT behaves the same.
void ServiceCtrlHandler(platform::ConsoleEvent) {
  ReportServiceStatus(ServiceState::kStopPending, 0, 0);
  SignalStop();
}
}  // namespace

void SetDebugMode(bool debug) { g_debugMode = debug; }
bool DebugMode() { return g_debugMode; }

bool ReportServiceStatus(ServiceState state, int exitCode, int waitHintMs) {
  if (DebugMode()) return true;
  g_currentState = state;
  const bool sent = platform::NotifyServiceManager(StatusText(state, exitCode, waitHintMs));
  if (!sent) LogServiceError("SetServiceStatus");
  return sent;
}

void LogServiceError(const std::string& text) {
  if (DebugMode()) return;
  g_lastError = errno;
  char formatted[256];
  std::snprintf(formatted, sizeof formatted, "%s error: %d", kServiceName, g_lastError.load());
  platform::WriteErrorEvent(kServiceName, formatted, text);
}

int ServiceMain(int argc, char** argv) {
  platform::InstallConsoleControl(ServiceCtrlHandler);
  int result = kMainLoopStopped;
  if (ReportServiceStatus(ServiceState::kStartPending, 0, 3000)) result = RunMainLoop(argc, argv);
  ReportServiceStatus(ServiceState::kStopped, g_lastError, 0);
  return result;
}
