// CServer: made, run and deleted by each pass of the main loop. It opens the
// HTTP and telnet listening sockets, runs twenty HTTP workers, the
// housekeeping thread and the watchdog, and returns from run() once the stop
// event is set. Its destructor joins every thread it started.
#pragma once

#include <thread>
#include <vector>

#include "platform/socket_object.h"
#include "streams/stream_delivery.h"

inline constexpr int kWorkerCount = 20;
inline constexpr int kListenBacklog = 1024;

extern sock_t g_httpSocket;
extern sock_t g_telnetSocket;

// The server is the chat core's delivery: lines reach users through its
// message streams.
class CServer : public CStreamDelivery {
 public:
  CServer();
  ~CServer() override;
  CServer(const CServer&) = delete;
  CServer& operator=(const CServer&) = delete;

  // Starts the threads and waits for the stop event.
  virtual void run();

 private:
  void SpaceThread();
  void JavaListWatchdog();

  std::vector<std::thread> m_threads;
};

// The server of the current pass; null between passes.
extern CServer* g_server;
