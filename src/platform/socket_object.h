// A socket the system holds: one object per open descriptor, shared by every
// holder. Closing it marks the object closed before the number goes back to
// the kernel, so no holder can ever test, use or close that number again
// (the kernel hands closed numbers out again at once).
#pragma once

#include <memory>

namespace platform {

class CSocketObject {
 public:
  explicit CSocketObject(int fd) : m_fd(fd) {}
  ~CSocketObject() { Close(); }
  CSocketObject(const CSocketObject&) = delete;
  CSocketObject& operator=(const CSocketObject&) = delete;

  // -1 once closed. Holders on several threads serialise use and Close.
  int Fd() const { return m_fd; }
  bool IsOpen() const { return m_fd >= 0; }
  // Shuts both directions down and closes; does nothing the second time.
  void Close();

 private:
  int m_fd;
};

}  // namespace platform

// The socket handle of the system; null stands for no socket.
using sock_t = std::shared_ptr<platform::CSocketObject>;
