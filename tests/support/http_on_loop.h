// The HTTP side of the server on one event loop, without its listeners:
// each Connect hands the loop one end of a socket pair, served by the
// request handler the test gives, and returns the other end (the client's).
#pragma once

#include <sys/socket.h>

#include <memory>
#include <utility>

#include "html/page.h"
#include "http/client_connection.h"
#include "net/loop_group.h"
#include "platform/unique_fd.h"
#include "support/temp_dir.h"

class HttpOnLoop {
 public:
  static constexpr const char* kClientAddress = "10.0.0.9";

  explicit HttpOnLoop(RequestHandler handler) : m_site(m_folder.Path()) {
    m_services.handler = std::move(handler);
    m_services.site = &m_site;
    m_services.loops = &m_loops;
    m_loops.Start(-1);
  }
  ~HttpOnLoop() { m_loops.Stop(); }
  HttpOnLoop(const HttpOnLoop&) = delete;
  HttpOnLoop& operator=(const HttpOnLoop&) = delete;

  platform::CUniqueFd Connect() {
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) return platform::CUniqueFd();
    net::CEventLoop& loop = m_loops.Loop(0);
    const int served = pair[0];
    loop.Post([this, &loop, served] {
      loop.Adopt(platform::CUniqueFd(served), kClientAddress, std::make_unique<CClientConnection>(m_services));
    });
    return platform::CUniqueFd(pair[1]);
  }

 private:
  TempDir m_folder;
  CSiteFiles m_site;
  net::CLoopGroup m_loops{1};
  CHttpServices m_services;
};
