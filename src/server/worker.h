// One HTTP worker: accepts on the shared listening socket and drives its own
// connections with poll, each connection touched by this thread alone.
#pragma once

#include <ctime>
#include <list>
#include <memory>
#include <vector>

#include <poll.h>

#include "http/client_connection.h"

inline constexpr int kWorkerPollTimeoutMs = 30000;

class CWorker {
 public:
  // The thread body: serves until the stop event or the listening socket
  // goes; deletes its remaining connections on the way out.
  void FromClientThread();

 private:
  // Adds the connection to the poll set, or answers true when it is done and
  // must be removed.
  bool PrepareConnection(CClientConnection& connection, std::time_t now);
  void ServeConnection(CClientConnection& connection);
  void Turn();
  int PollTimeoutMs(std::time_t now) const;
  void AcceptOne();

  std::list<std::unique_ptr<CClientConnection>> m_connections;  // newest first
  std::vector<pollfd> m_pollSet;
  std::vector<CClientConnection*> m_polled;  // the connection of each poll entry after the first two
  std::time_t m_nearestDeadline = 0;
};
