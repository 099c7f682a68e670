#include "support/redis_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>
#include <vector>

#include "support/http_client.h"

RedisProcess::RedisProcess() : m_port(FreePort()) {}

RedisProcess::~RedisProcess() { Kill(); }

bool RedisProcess::Start() {
  m_pid = ::fork();
  if (m_pid == 0) {
    const int out = ::open(m_dir.File("redis.log").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::dup2(out, 1);
    ::dup2(out, 2);
    std::vector<std::string> arguments = {"redis-server", "--port", std::to_string(m_port), "--bind", "127.0.0.1",
                                          "--dir", m_dir.Path(), "--save", "", "--appendonly", "no"};
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    ::execvp("redis-server", argv.data());
    ::_exit(127);
  }
  for (int attempt = 0; attempt < 250 && m_pid > 0; ++attempt) {
    const std::optional<RedisValue> pong = Command({"PING"});
    if (pong && pong->text == "PONG") return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

void RedisProcess::Kill() {
  if (m_pid <= 0) return;
  ::kill(m_pid, SIGKILL);
  ::waitpid(m_pid, nullptr, 0);
  m_pid = -1;
}

std::optional<RedisValue> RedisProcess::Command(const RedisArgs& args) const {
  CRedisConnection connection(Address(), 1000);
  if (!connection.Connect()) return std::nullopt;
  return connection.Call(args);
}
