#include "server/server.h"

#include <memory>

#include "foundation/settings.h"
#include "chat/delivery.h"
#include "foundation/sockets.h"
#include "http/client_connection.h"
#include "platform/console.h"
#include "platform/process_mutexes.h"
#include "platform/stop_event.h"
#include "platform/thread.h"
#include "server/housekeeping.h"
#include "server/worker.h"
#include "streams/stream_list.h"

sock_t g_httpSocket;
sock_t g_telnetSocket;
CServer* g_server = nullptr;

namespace {
constexpr int kHousekeepingTurns = 200;  // seconds between housekeeping rounds
constexpr int kWatchdogTurns = 30;

std::string PortSetting(const char* key, const char* fallback) {
  const std::string port = GetSetting("network", key);
  return port.empty() ? fallback : port;
}
}  // namespace

CServer::CServer() {
  if (StartSockets() != 0) return;
  g_httpSocket = OpenListeningSocket(PortSetting("http_port", "8080"), kListenBacklog);
  g_telnetSocket = OpenListeningSocket(PortSetting("telnet_port", "8081"), kListenBacklog);
  PrepareHousekeeping();
  g_streamList = std::make_unique<CStreamList>();
}

CServer::~CServer() {
  SignalStop();  // a server torn down early still ends its threads
  for (std::thread& thread : m_threads) {
    if (thread.joinable()) thread.join();
  }
  g_delivery = nullptr;
  SetStreamHandOff(nullptr);
  g_streamList.reset();  // stops the writer and closes every stream
  CloseSocket(g_httpSocket);
  CloseSocket(g_telnetSocket);
  StopSockets();
}

void CServer::run() {
  g_delivery = this;
  SetStreamHandOff([](sock_t socket, const std::string& session) {
    if (g_streamList) g_streamList->HandOff(std::move(socket), session);
  });
  g_streamList->StartWriter();
  if (SocketIsAlive(g_httpSocket)) {
    for (int i = 0; i < kWorkerCount; ++i) {
      m_threads.push_back(platform::StartThread("FromClientThread", [] { CWorker().FromClientThread(); }));
    }
  }
  m_threads.push_back(platform::StartThread("SpaceThread", [this] { SpaceThread(); }));
  m_threads.push_back(platform::StartThread("JavaListWatchdog", [this] { JavaListWatchdog(); }));
  platform::ConsoleWrite("Start Accept\n");
  while (!g_stopEvent->Wait(1000)) {
  }
  platform::ConsoleWrite("The end of CServer::run()\n");
}

void CServer::SpaceThread() {
  int turn = 0;
  while (!g_stopEvent->Wait(1000)) {
    if (++turn % kHousekeepingTurns != 0) continue;
    try {
      RunHousekeeping();
    } catch (...) {
      platform::ConsoleWrite("catch in SpaceThread\n");
      platform::SleepMs(50);
    }
  }
}

// Probes the stream-list mutex every 30 seconds. A holder that keeps it
// longer than a probe is reported; the mutex is never replaced, since a
// replacement would let two threads into the stream list at once.
void CServer::JavaListWatchdog() {
  int turn = 0;
  while (!g_stopEvent->Wait(1000)) {
    if (++turn % kWatchdogTurns != 0) continue;
    platform::CMutexGuard probe(platform::GetProcessMutex(platform::ProcessMutex::kJavaList),
                                std::chrono::milliseconds(1));
    if (!probe) platform::ConsoleWrite("tolJavaList is busy\n");
  }
}
