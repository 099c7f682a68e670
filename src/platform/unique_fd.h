// An owned file descriptor: closed once, by its owner, and never looked at
// again after its close (the kernel hands closed numbers out again at once).
#pragma once

#include <unistd.h>

#include <utility>

namespace platform {

class CUniqueFd {
 public:
  CUniqueFd() = default;
  explicit CUniqueFd(int fd) : m_fd(fd) {}
  ~CUniqueFd() { Reset(); }
  CUniqueFd(CUniqueFd&& other) noexcept : m_fd(other.Release()) {}
  CUniqueFd& operator=(CUniqueFd&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }
  CUniqueFd(const CUniqueFd&) = delete;
  CUniqueFd& operator=(const CUniqueFd&) = delete;

  int Get() const { return m_fd; }
  bool Valid() const { return m_fd >= 0; }
  explicit operator bool() const { return Valid(); }
  int Release() { return std::exchange(m_fd, -1); }
  void Reset(int fd = -1) {
    const int old = std::exchange(m_fd, fd);
    if (old >= 0) ::close(old);
  }

 private:
  int m_fd = -1;
};

}  // namespace platform
