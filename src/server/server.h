// CServer: made, run and deleted by each pass of the main loop. It opens the
// HTTP and telnet listening sockets, runs the event loops (one per core
// unless [network] loops says otherwise; each owns its HTTP connections and
// message streams, and accepts on a listening socket of its own) and the
// housekeeping thread, the worker pool for slow account work (hashing,
// account files) and, with the node link over Redis, its transport; and
// returns from run() once the stop event is set. Its destructor ends every
// thread it started.
#pragma once

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "accounts/account_work.h"
#include "accounts/registration_rate.h"
#include "commands/process_request.h"
#include "foundation/metrics.h"
#include "html/page.h"
#include "http/client_connection.h"
#include "net/admission.h"
#include "net/listener.h"
#include "net/loop_group.h"
#include "nodelink/node_transport.h"
#include "foundation/sync_batch.h"
#include "platform/worker_pool.h"
#include "streams/stream_delivery.h"

class CChatCore;

// As long as the system allows (the kernel cuts it to net.core.somaxconn):
// after a proxy restarts, thousands of streams reconnect at once, and a
// connect dropped from a full queue waits a second or more to try again.
inline constexpr int kListenBacklog = 65535;
inline constexpr int kDefaultHashThreads = 2;

class CServer {
 public:
  explicit CServer(CChatCore& core);
  ~CServer();
  CServer(const CServer&) = delete;
  CServer& operator=(const CServer&) = delete;

  // Why the server cannot serve (its HTTP port cannot be opened, its
  // settings say something it cannot do), for the console; empty when it serves.
  const std::string& StartError() const { return m_startError; }
  // Starts the threads and waits for the stop event.
  void run();

  // The connections taken in, open and turned away (for the metrics); null
  // when the server cannot serve.
  const net::CAdmission* Admission() const { return m_admission.get(); }

 private:
  bool ReadTrustedProxies();
  void OpenListeners();
  // [network] metrics_port on 127.0.0.1 (none when 0 or not set), served by
  // the first loop.
  void OpenMetricsListener();
  // Everything the metrics port shows (server_metrics.cpp).
  void AddMetrics();
  // The limits on connections, once the listeners hold their descriptors.
  void StartAdmission();
  void Accept(net::CEventLoop& loop, platform::CUniqueFd socket, std::string peerAddress);
  void SpaceThread();

  CChatCore& m_core;
  // Read by the metrics port's connections, on the first loop.
  CMetricRegistry m_metrics;
  // Outlives the loops: their connections give back what they take up of it.
  std::unique_ptr<net::CAdmission> m_admission;
  CSiteFiles m_site;
  net::CLoopGroup m_loops;
  CStreamDelivery m_delivery;
  platform::CWorkerPool m_accountPool;
  // Answers of writes that must be on disk wait here for one shared sync.
  std::unique_ptr<CSyncBatch> m_accountSyncs;
  // What account work the pool takes, and what it has done.
  std::unique_ptr<CAccountWork> m_accountWork;
  CRegistrationRate m_registrations;
  RequestServices m_services;
  CHttpServices m_http;
  std::vector<std::unique_ptr<net::CListener>> m_listeners;
  // The telnet port: opened with the server; its clients are accepted and
  // closed at once (nothing is served there).
  std::unique_ptr<net::CListener> m_telnet;
  std::unique_ptr<net::CListener> m_metricsListener;
  std::string m_startError;
  std::thread m_housekeeping;
  std::unique_ptr<CNodeTransport> m_nodeTransport;  // the node link over Redis, when configured
};

// The number of event loops: [network] loops, or one per core.
int LoopCount();
// The threads of the account work pool: [user_database] hash_threads, or 2.
int HashThreadCount();
