// CSendBatch: the writes of many sockets handed to the kernel in one system
// call (io_uring). When a loop has a line for thousands of streams in one
// turn, a send per socket costs a system call each; one submission for
// dozens of them costs a third less CPU a write. Each write is offered
// without waiting, as send(MSG_DONTWAIT) would: a socket that takes nothing
// or part says so in its result, and nothing is left in flight when SendAll
// returns. Where io_uring is missing (an old kernel, a sandbox that forbids
// it) Available() is false and the caller sends one by one.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <memory>
#include <vector>

namespace net {

class CSendBatch {
 public:
  struct Write {
    int fd = -1;
    const char* data = nullptr;
    size_t size = 0;
    ssize_t result = 0;  // bytes the socket took, or -errno
  };

  CSendBatch();
  ~CSendBatch();
  CSendBatch(const CSendBatch&) = delete;
  CSendBatch& operator=(const CSendBatch&) = delete;

  bool Available() const { return m_ring != nullptr; }
  // Offers every write to its socket; fills in each result. The buffers
  // are read only until this returns.
  void SendAll(std::vector<Write>& writes);

 private:
  class CRing;
  // Submits writes [first, first + count) and reaps their completions.
  void SendChunk(std::vector<Write>& writes, size_t first, unsigned count);

  std::unique_ptr<CRing> m_ring;  // null without io_uring
};

}  // namespace net
