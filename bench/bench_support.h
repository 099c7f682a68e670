// Small pieces shared by the benchmark programs (loopback only): owned
// descriptors, loopback sockets (from 127.0.0.1, or from another address of
// 127.0.0.0/8 so that the server sees several clients), percentiles, a
// process's CPU time and resident memory from /proc, and the chat server
// started by PID in a scratch copy of the site on free ports.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <thread>  // brings std::chrono durations; <chrono> itself cannot be built for GB2312 (its "µs")
#include <vector>

namespace bench {

using Clock = std::chrono::steady_clock;

inline double MsBetween(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double, std::milli>(to - from).count();
}

inline double MsSince(Clock::time_point from) { return MsBetween(from, Clock::now()); }

// A descriptor that closes itself.
class Descriptor {
 public:
  Descriptor() = default;
  explicit Descriptor(int fd) : m_fd(fd) {}
  ~Descriptor() { Reset(); }
  Descriptor(Descriptor&& other) noexcept : m_fd(other.m_fd) { other.m_fd = -1; }
  Descriptor& operator=(Descriptor&& other) noexcept {
    if (this != &other) {
      Reset();
      m_fd = other.m_fd;
      other.m_fd = -1;
    }
    return *this;
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;

  int Get() const { return m_fd; }
  bool Valid() const { return m_fd >= 0; }
  // Gives the descriptor up without closing it.
  int Release() {
    const int fd = m_fd;
    m_fd = -1;
    return fd;
  }
  void Reset() {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
  }

 private:
  int m_fd = -1;
};

// Thousands of sockets need more than the default 1024 descriptors.
inline void RaiseOpenFileLimit() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);
  }
}

inline sockaddr_in LoopbackAddress(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

// Binds a client socket to a source address ("127.0.0.2"; empty: left to
// connect). The port is chosen at connect, by the whole address pair, so
// many connections from one source do not run out of ports at bind.
inline bool BindSource(int fd, const std::string& source) {
  if (source.empty()) return true;
  const int yes = 1;
  ::setsockopt(fd, IPPROTO_IP, IP_BIND_ADDRESS_NO_PORT, &yes, sizeof yes);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  if (::inet_pton(AF_INET, source.c_str(), &address.sin_addr) != 1) return false;
  return ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
}

// A port on 127.0.0.1 that was free a moment ago.
inline int FreePort() {
  Descriptor probe(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in address = LoopbackAddress(0);
  ::bind(probe.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t size = sizeof address;
  ::getsockname(probe.Get(), reinterpret_cast<sockaddr*>(&address), &size);
  return ntohs(address.sin_port);
}

// A blocking connection to 127.0.0.1:port (invalid on failure), from the
// source address when one is given. A receive buffer size, when given, is
// set before the connection so the window stays small.
inline Descriptor ConnectLoopback(int port, int receiveBuffer = 0, const std::string& source = "") {
  Descriptor fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (receiveBuffer > 0) ::setsockopt(fd.Get(), SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
  if (!BindSource(fd.Get(), source)) return Descriptor();
  const sockaddr_in address = LoopbackAddress(port);
  if (::connect(fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) return Descriptor();
  return fd;
}

inline bool SendAll(int fd, const std::string& bytes) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return false;
    sent += static_cast<size_t>(n);
  }
  return true;
}

// Reads until the text has arrived, the peer closed or the time is up
// (an empty text reads until close); returns all that was read.
inline std::string ReadUntil(int fd, const std::string& text, int timeoutMs = 10000) {
  std::string got;
  char buffer[16384];
  const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (text.empty() || got.find(text) == std::string::npos) {
    pollfd wait{fd, POLLIN, 0};
    const int left = static_cast<int>(MsBetween(Clock::now(), end));
    if (left <= 0 || ::poll(&wait, 1, left) <= 0) break;
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    got.append(buffer, static_cast<size_t>(n));
  }
  return got;
}

// One request on a fresh connection (from the source address, when one is
// given); the whole answer, or what came of it within the time.
inline std::string Exchange(int port, const std::string& request, const std::string& source = "",
                            int timeoutMs = 10000) {
  const Descriptor fd = ConnectLoopback(port, 0, source);
  if (!fd.Valid() || !SendAll(fd.Get(), request)) return "";
  return ReadUntil(fd.Get(), "", timeoutMs);
}

// Nearest-rank percentile, p in [0, 1]; 0 for no values.
inline double Percentile(std::vector<double> values, double p) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const size_t rank = static_cast<size_t>(std::ceil(p * static_cast<double>(values.size())));
  return values[std::clamp<size_t>(rank, 1, values.size()) - 1];
}

// User plus system CPU seconds from a "stat" file of /proc: a process's
// (all its threads) or one thread's (/proc/PID/task/TID/stat).
inline double CpuSecondsOfStat(const std::string& path) {
  std::ifstream stat(path);
  const std::string text((std::istreambuf_iterator<char>(stat)), {});
  const size_t close = text.rfind(')');
  if (close == std::string::npos) return 0;
  // Fields after the name start at 3 (state); utime and stime are 14 and 15.
  std::istringstream fields(text.substr(close + 2));
  std::string field;
  long ticks = 0;
  for (int i = 3; i <= 15 && fields >> field; ++i) {
    if (i >= 14) ticks += std::atol(field.c_str());
  }
  return static_cast<double>(ticks) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

inline double CpuSeconds(pid_t pid) { return CpuSecondsOfStat("/proc/" + std::to_string(pid) + "/stat"); }

// The CPU seconds of each thread of a process, by thread id.
inline std::map<int, double> ThreadCpuSeconds(pid_t pid) {
  std::map<int, double> threads;
  std::error_code error;
  for (const auto& task : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task", error)) {
    threads[std::atoi(task.path().filename().c_str())] = CpuSecondsOfStat(task.path().string() + "/stat");
  }
  return threads;
}

inline long ResidentKb(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
  }
  return 0;
}

// The largest resident memory of a process while the object lives, sampled
// every periodMs.
class RssSampler {
 public:
  explicit RssSampler(pid_t pid, int periodMs = 100)
      : m_thread([this, pid, periodMs] {
          while (m_running) {
            m_most = std::max(m_most.load(), ResidentKb(pid));
            std::this_thread::sleep_for(std::chrono::milliseconds(periodMs));
          }
        }) {}
  ~RssSampler() { Stop(); }
  RssSampler(const RssSampler&) = delete;
  RssSampler& operator=(const RssSampler&) = delete;

  long Stop() {
    m_running = false;
    if (m_thread.joinable()) m_thread.join();
    return m_most;
  }

 private:
  std::atomic<bool> m_running{true};
  std::atomic<long> m_most{0};
  std::thread m_thread;
};

// A child process stopped: the signal, then SIGKILL if it has not ended
// within five seconds; reaped either way. Nothing for pid <= 0.
inline void StopProcess(pid_t pid, int signal) {
  if (pid <= 0) return;
  ::kill(pid, signal);
  for (int i = 0; i < 500; ++i) {
    if (::waitpid(pid, nullptr, WNOHANG) == pid) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ::kill(pid, SIGKILL);
  ::waitpid(pid, nullptr, 0);
}

// Waits up to five seconds for a child process to listen on the port; a
// child that ended meanwhile is reaped and its pid set to -1.
inline bool WaitForListen(pid_t& pid, int port) {
  for (int i = 0; i < 250 && pid > 0; ++i) {
    if (ConnectLoopback(port).Valid()) return true;
    if (::waitpid(pid, nullptr, WNOHANG) == pid) {
      pid = -1;
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

// The per-address and per-account limits the bundled ini turns on, off:
// the benchmarks' clients all come from 127.0.0.1. A run that measures them
// turns them on again in its lines or in BENCH_SERVER_INI.
inline const std::string kLimitsOffIni =
    "[network]\nmax_connections_per_address = 0\n"
    "[general]\nmax_sessions_per_account = 0\nline_burst = 0\nlines_per_minute = 0\n"
    "[user_database]\nmax_pending_per_address = 0\nregistrations_per_minute = 0\n";

// How a scratch server differs from the benchmarks' usual one.
struct ScratchOptions {
  bool limitsOn = false;    // keep the bundled ini's limits per address and per account
  int descriptorLimit = 0;  // the server's open-file limit (soft and hard); 0: this process's
};

// The chat server binary in a scratch copy of the site directory, on free
// loopback ports, with the limits off (every client of most benchmarks comes
// from 127.0.0.1) unless the options keep them, and lines appended to its
// ini (a later key replaces an earlier one), then the lines of the
// environment variable BENCH_SERVER_INI (for a run with other settings,
// e.g. "[network]\nloops = 1").
// Stopped by PID and removed when the object goes.
class ScratchServer {
 public:
  ScratchServer(const std::string& binary, const std::string& site, const std::string& extraIni,
                ScratchOptions options = {})
      : m_options(options) {
    char pattern[] = "/tmp/tolvan-bench-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) return;
    m_dir = pattern;
    std::filesystem::copy(site, m_dir, std::filesystem::copy_options::recursive);
    const std::string bundledIni = ReadFile(m_dir + "/tolvann2.ini");
    const std::string program = std::filesystem::absolute(binary).string();
    // A port free a moment ago may have been taken since: try fresh ones.
    for (int attempt = 0; attempt < 3 && m_pid < 0; ++attempt) {
      m_port = FreePort();
      int telnetPort = FreePort();
      while (telnetPort == m_port) telnetPort = FreePort();
      std::ofstream(m_dir + "/tolvann2.ini", std::ios::binary | std::ios::trunc)
          << bundledIni << "\n[network]\nhttp_port = " << m_port << "\ntelnet_port = " << telnetPort << "\n"
          << (options.limitsOn ? "" : kLimitsOffIni) << extraIni << "\n"
          << (std::getenv("BENCH_SERVER_INI") ? std::getenv("BENCH_SERVER_INI") : "") << "\n";
      Launch(program);
      if (!WaitForListen(m_pid, m_port)) Stop();
    }
  }
  ~ScratchServer() {
    Stop();
    if (!m_dir.empty()) {
      std::error_code ignored;
      std::filesystem::remove_all(m_dir, ignored);
    }
  }
  ScratchServer(const ScratchServer&) = delete;
  ScratchServer& operator=(const ScratchServer&) = delete;

  bool Running() const { return m_pid > 0; }
  int Port() const { return m_port; }
  pid_t Pid() const { return m_pid; }
  // What the server printed (its stdout and stderr).
  std::string ConsolePath() const { return m_dir + "/console.txt"; }

  // SIGINT, then SIGKILL if it has not ended within five seconds.
  void Stop() {
    StopProcess(m_pid, SIGINT);
    m_pid = -1;
  }

 private:
  static std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
  }

  void Launch(const std::string& program) {
    m_pid = ::fork();
    if (m_pid != 0) return;
    if (::chdir(m_dir.c_str()) != 0 || !std::freopen("console.txt", "w", stdout)) ::_exit(127);
    ::dup2(STDOUT_FILENO, STDERR_FILENO);
    if (m_options.descriptorLimit > 0) {
      const rlimit limit{static_cast<rlim_t>(m_options.descriptorLimit), static_cast<rlim_t>(m_options.descriptorLimit)};
      if (::setrlimit(RLIMIT_NOFILE, &limit) != 0) ::_exit(126);
    }
    ::execl(program.c_str(), program.c_str(), "-debug", static_cast<char*>(nullptr));
    ::_exit(127);
  }

  const ScratchOptions m_options;
  std::string m_dir;
  int m_port = 0;
  pid_t m_pid = -1;
};

}  // namespace bench
