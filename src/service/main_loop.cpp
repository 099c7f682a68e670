#include "service/main_loop.h"

#include <memory>

#include "chat/chat_loader.h"
#include "foundation/settings.h"
#include "nodelink/node_outbox.h"
#include "platform/console.h"
#include "platform/process_mutexes.h"
#include "platform/stop_event.h"
#include "platform/thread.h"
#include "server/server.h"
#include "service/service_host.h"

namespace {

// Settings first, then the chat core with its rooms and managers. What
// fails here fails the pass (see RunMainLoop).
std::unique_ptr<CChatCore> LoadConfiguration(CNodeOutbox& outbox) {
  g_settings = LoadSettingsFile(kIniFileName);
  return LoadChatCore(outbox);
}

// One pass: load, serve until the stop event, tear down. The server ends
// every thread it started before the core it serves goes. False when the
// server cannot serve (a port it cannot open, settings it cannot follow).
bool RunPass(CNodeOutbox& outbox) {
  platform::ConsoleWrite("Start main thread\n");
  std::unique_ptr<CChatCore> core = LoadConfiguration(outbox);
  {
    CServer server(*core);
    if (!server.StartError().empty()) {
      platform::ConsoleWrite(server.StartError() + "\n");
      LogServiceError(server.StartError());
      return false;
    }
    server.run();
  }
  core.reset();
  g_settings.reset();
  platform::ConsoleWrite("Loop of while\n");
  return true;
}

}  // namespace

int RunMainLoop(int, char**) {
  if (!ReportServiceStatus(ServiceState::kStartPending, 0, 3000)) return kMainLoopStopped;
  // The stop event lives until the process ends: the console-control thread
  // may signal it at any moment.
  if (!g_stopEvent) g_stopEvent = std::make_unique<platform::CStopEvent>();
  if (!ReportServiceStatus(ServiceState::kStartPending, 0, 3000)) return kMainLoopStopped;
  if (!platform::CreateProcessMutexes()) {
    platform::ConsoleWrite("Can't create one or more Mutex\n");
    return kMainLoopStopped;
  }
  if (!ReportServiceStatus(ServiceState::kRunning, 0, 0)) return kMainLoopStopped;
  CNodeOutbox outbox;  // the serial counter and outgoing buffer outlive every pass
  // The last guard of a pass: what a pass throws is said on the console, and
  // after a pause a fresh pass rebuilds everything, the settings re-read.
  while (!g_stopEvent->Wait(5)) {
    try {
      if (!RunPass(outbox)) return kServerCannotListen;
    } catch (...) {
      platform::LogException("catch in main", "a fresh pass in 2 s");
      platform::SleepMs(2000);
      platform::ConsoleWrite("Loop of while\n");
    }
  }
  return kMainLoopStopped;
}
