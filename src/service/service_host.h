// The service side of the program: status reports (systemd notices), the
// error log (syslog), and the service's entry.
#pragma once

#include <string>

enum class ServiceState { kStartPending, kRunning, kStopPending, kStopped };

// Set by "-debug": nothing is reported to the service manager or the log.
void SetDebugMode(bool debug);
bool DebugMode();

bool ReportServiceStatus(ServiceState state, int exitCode, int waitHintMs);
void LogServiceError(const std::string& text);

// The service's entry: stop control on SIGTERM, status notices, main loop.
// RunMainLoop's result.
int ServiceMain(int argc, char** argv);
