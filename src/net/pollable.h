// Something an event loop waits on: a connection, a listening socket, the
// loop's own wake-up descriptor.
#pragma once

#include <cstdint>

namespace net {

class CPollable {
 public:
  virtual ~CPollable() = default;
  // The epoll events that arrived for this descriptor.
  virtual void OnEvents(std::uint32_t events) = 0;
};

}  // namespace net
