// CLoopGroup: the server's event loops, one thread each. Work for a
// connection goes to the loop that owns it (its id names the loop).
#pragma once

#include <memory>
#include <thread>
#include <vector>

#include "net/event_loop.h"

namespace net {

class CLoopGroup {
 public:
  explicit CLoopGroup(int count);
  ~CLoopGroup();
  CLoopGroup(const CLoopGroup&) = delete;
  CLoopGroup& operator=(const CLoopGroup&) = delete;

  int Count() const { return static_cast<int>(m_loops.size()); }
  CEventLoop& Loop(int index) { return *m_loops[static_cast<size_t>(index)]; }
  CEventLoop& LoopOf(ConnectionId id) { return Loop(LoopIndexOf(id)); }

  // Runs every loop on a thread of its own until the descriptor (the stop
  // event) becomes readable or Stop is called.
  void Start(int stopFd);
  // Ends the loops and joins their threads.
  void Stop();

 private:
  std::vector<std::unique_ptr<CEventLoop>> m_loops;
  std::vector<std::thread> m_threads;
};

}  // namespace net
