// A private redis-server for black-box tests of linked nodes: on a free
// loopback port, its files in a temporary directory, nothing saved to disk
// (a restart comes back empty, as after a crash). Stopped by PID.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

#include "nodelink/redis_connection.h"
#include "support/temp_dir.h"

class RedisProcess {
 public:
  RedisProcess();
  ~RedisProcess();
  RedisProcess(const RedisProcess&) = delete;
  RedisProcess& operator=(const RedisProcess&) = delete;

  int Port() const { return m_port; }
  std::string Address() const { return "127.0.0.1:" + std::to_string(m_port); }
  // The [cluster] lines that point a node at this Redis.
  std::string IniLines() const { return "[cluster]\nredis = " + Address() + "\n"; }

  // Starts it and waits until it answers; false if it never does.
  bool Start();
  // Kills it at once (its data is gone).
  void Kill();

  // One command on a fresh connection; none when Redis does not answer.
  std::optional<RedisValue> Command(const RedisArgs& args) const;

 private:
  TempDir m_dir;
  int m_port;
  pid_t m_pid = -1;
};
