// Linked nodes for the benchmark programs: a private redis-server on a free
// loopback port (nothing saved to disk), stopped by PID when the object
// goes, and the ini lines that make a scratch chat server one node of the
// cluster it carries (docs/cluster.md).
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>

#include "bench_support.h"

namespace bench {

class ScratchRedis {
 public:
  ScratchRedis() {
    char pattern[] = "/tmp/tolvan-redis-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) return;
    m_dir = pattern;
    // A port free a moment ago may have been taken since: try fresh ones.
    for (int attempt = 0; attempt < 3 && m_pid < 0; ++attempt) {
      m_port = FreePort();
      Launch();
      if (!WaitForListen(m_pid, m_port)) Stop();
    }
  }
  ~ScratchRedis() {
    Stop();
    if (!m_dir.empty()) {
      std::error_code ignored;
      std::filesystem::remove_all(m_dir, ignored);
    }
  }
  ScratchRedis(const ScratchRedis&) = delete;
  ScratchRedis& operator=(const ScratchRedis&) = delete;

  bool Running() const { return m_pid > 0; }
  int Port() const { return m_port; }
  pid_t Pid() const { return m_pid; }

  // SIGTERM, then SIGKILL if it has not ended within five seconds.
  void Stop() {
    StopProcess(m_pid, SIGTERM);
    m_pid = -1;
  }

 private:
  void Launch() {
    m_pid = ::fork();
    if (m_pid != 0) return;
    if (::chdir(m_dir.c_str()) != 0 || !std::freopen("redis.log", "w", stdout)) ::_exit(127);
    ::dup2(STDOUT_FILENO, STDERR_FILENO);
    const std::string port = std::to_string(m_port);
    ::execlp("redis-server", "redis-server", "--port", port.c_str(), "--bind", "127.0.0.1", "--save", "",
             "--appendonly", "no", "--dir", m_dir.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }

  std::string m_dir;
  int m_port = 0;
  pid_t m_pid = -1;
};

// The ini lines that link a scratch server to the Redis as node nodeId.
inline std::string ClusterNodeIni(const std::string& nodeId, int redisPort) {
  return "[general]\nnodeid = " + nodeId + "\nifconnect = 1\n[cluster]\nredis = 127.0.0.1:" +
         std::to_string(redisPort) + "\n";
}

}  // namespace bench
