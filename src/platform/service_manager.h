// What stands in for the service control manager and the event log:
// systemd's notification socket and syslog.
#pragma once

#include <string>

namespace platform {

// True when systemd started the process (it sets NOTIFY_SOCKET or
// INVOCATION_ID for its services).
bool StartedByServiceManager();

// Sends one sd_notify message ("READY=1", "STOPPING=1", "STATUS=..."). True
// when there is no notification socket (a service of Type=simple has nothing
// to report to); false when the message cannot be sent.
bool NotifyServiceManager(const std::string& message);

// Writes one error event: the formatted text first, the caller's text second.
void WriteErrorEvent(const std::string& source, const std::string& formatted, const std::string& text);

}  // namespace platform
