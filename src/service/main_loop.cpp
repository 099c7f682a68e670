#include "service/main_loop.h"

#include <memory>

#include "foundation/settings.h"
#include "platform/console.h"
#include "platform/process_mutexes.h"
#include "platform/stop_event.h"
#include "platform/thread.h"
#include "server/server.h"
#include "chat/chat_loader.h"
#include "service/service_host.h"

namespace {

// One pass: load, serve until the stop event, tear down. The server's
// destructor joins every thread it started, so nothing still runs when the
// globals go.
void RunPass() {
  platform::ConsoleWrite("Start main thread\n");
  LoadConfiguration();
  {
    auto server = std::make_unique<CServer>();
    g_server = server.get();
    server->run();
    g_server = nullptr;
  }
  DestroyGlobals();
  platform::ConsoleWrite("Loop of while\n");
}

}  // namespace

void LoadConfiguration() {
  try {
    g_settings = LoadSettingsFile(kIniFileName);
    LoadChatCore();
  } catch (...) {
    platform::ConsoleWrite("catch in ini\n");
  }
}

void DestroyGlobals() {
  DestroyChatCore();
  g_settings.reset();
}

int RunMainLoop(int, char**) {
  if (!ReportServiceStatus(ServiceState::kStartPending, 0, 3000)) return 1;
  // The stop event lives until the process ends: the console-control thread
  // may signal it at any moment.
  if (!g_stopEvent) g_stopEvent = std::make_unique<platform::CStopEvent>();
  if (!ReportServiceStatus(ServiceState::kStartPending, 0, 3000)) return 1;
  if (!platform::CreateProcessMutexes()) {
    platform::ConsoleWrite("Can't create one or more Mutex\n");
    return 1;
  }
  if (!ReportServiceStatus(ServiceState::kRunning, 0, 0)) return 1;
  while (!g_stopEvent->Wait(5)) {
    try {
      RunPass();
    } catch (...) {
      g_server = nullptr;
      platform::ConsoleWrite("catch in main\n");
      platform::SleepMs(2000);
      platform::ConsoleWrite("Loop of while\n");
    }
  }
  return 1;
}
