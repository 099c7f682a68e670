// A client of the chat server's JSON API for the benchmark programs: one
// HTTP/1.1 connection kept open, a request at a time, each answer read by
// its head and Content-Length before the next request goes. When the
// server closes it (it answers a bounded number of requests a connection),
// the next request opens another, as a browser would.
#pragma once

#include <netinet/tcp.h>

#include <string>

#include "bench_support.h"

namespace bench {

class KeptApiConnection {
 public:
  explicit KeptApiConnection(int port) : m_port(port) {}

  // POSTs the JSON body; the answer's status, 0 when none came.
  int Post(const std::string& path, const std::string& json) {
    if (!m_fd.Valid() && !Connect()) return 0;
    const std::string request = "POST " + path + " HTTP/1.1\r\nHost: bench\r\nContent-Type: application/json\r\n"
                                "Content-Length: " + std::to_string(json.size()) + "\r\n\r\n" + json;
    if (!SendAll(m_fd.Get(), request)) return Fail();
    return ReadAnswer();
  }

  int Answers() const { return m_answers; }
  int Connections() const { return m_connections; }

 private:
  bool Connect() {
    m_fd = ConnectLoopback(m_port);
    m_input.clear();
    if (!m_fd.Valid()) return false;
    const int on = 1;
    ::setsockopt(m_fd.Get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    ++m_connections;
    return true;
  }

  int Fail() {
    m_fd = Descriptor();
    return 0;
  }

  int ReadAnswer() {
    size_t headEnd;
    while ((headEnd = m_input.find("\r\n\r\n")) == std::string::npos) {
      if (!ReadMore()) return Fail();
    }
    const int status = m_input.compare(0, 9, "HTTP/1.1 ") == 0 ? std::atoi(m_input.c_str() + 9) : 0;
    size_t length = 0;
    const size_t declared = m_input.find("Content-Length: ");
    if (declared != std::string::npos && declared < headEnd) length = std::stoul(m_input.substr(declared + 16));
    while (m_input.size() < headEnd + 4 + length) {
      if (!ReadMore()) return Fail();
    }
    const bool closing = m_input.substr(0, headEnd).find("Connection: close") != std::string::npos;
    m_input.erase(0, headEnd + 4 + length);
    ++m_answers;
    if (closing) m_fd = Descriptor();
    return status;
  }

  bool ReadMore() {
    char buffer[4096];
    const ssize_t n = ::recv(m_fd.Get(), buffer, sizeof buffer, 0);
    if (n <= 0) return false;
    m_input.append(buffer, static_cast<size_t>(n));
    return true;
  }

  const int m_port;
  Descriptor m_fd;
  std::string m_input;
  int m_answers = 0;
  int m_connections = 0;
};

}  // namespace bench
