// The real server binary as a child process, in a temporary working
// directory of its own: the bundled site's documents, an ini made from the
// bundled one with free loopback ports, and whatever a test adds. The
// process is stopped by PID when the object goes; a failed test shows the
// server's console output.
#pragma once

#include <sys/types.h>

#include <thread>  // brings std::chrono durations; <chrono> itself cannot be built for GB2312 (its "µs")
#include <csignal>
#include <string>
#include <vector>

#include "support/temp_dir.h"

// The cheapest password hash, so that tests register and log on quickly;
// a test that wants another cost says so in its extra lines.
inline constexpr const char* kCheapHashIni = "[user_database]\nhash_memory_kib = 8\nhash_passes = 1\n";
// The per-address and per-account limits the bundled ini turns on, off:
// tests make many sessions, registrations and logons from 127.0.0.1. A test
// of a limit turns it on again in its extra lines.
inline constexpr const char* kLimitsOffIni =
    "[network]\nmax_connections_per_address = 0\n"
    "[general]\nmax_sessions_per_account = 0\nline_burst = 0\nlines_per_minute = 0\n"
    "[user_database]\nmax_pending_per_address = 0\nregistrations_per_minute = 0\n";

// The bundled ini with the given ports, the cheap hash, the limits off and
// extra lines appended (a later line of the same section and key replaces the earlier one).
std::string SiteIni(int httpPort, int telnetPort, const std::string& extra = "");

class ServerProcess {
 public:
  // extraIni is appended to the bundled ini.
  explicit ServerProcess(const std::string& extraIni = "");
  ~ServerProcess();
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;

  TempDir& Dir() { return m_dir; }
  // The server starts with at most this many descriptors (its soft and hard
  // limit), so a test can take it to its ceiling; 0: as the test has.
  void LimitDescriptors(int count) { m_descriptorLimit = count; }
  int HttpPort() const { return m_httpPort; }
  int TelnetPort() const { return m_telnetPort; }

  // Starts the binary with the arguments; with waitForListen, returns once
  // the HTTP port accepts connections (false if it never does).
  bool Start(const std::vector<std::string>& arguments = {"-debug"}, bool waitForListen = true,
             const std::vector<std::string>& environment = {});
  // Sends the signal and waits for the exit; the exit code, or -1 when the
  // process had to be killed.
  int Stop(int signal = SIGINT, std::chrono::milliseconds timeout = std::chrono::seconds(5));
  // Waits for the process to end by itself; its exit code or -1.
  int WaitForExit(std::chrono::milliseconds timeout);
  bool Running() const { return m_pid > 0; }
  pid_t Pid() const { return m_pid; }

  std::string Console() const;
  bool WaitForConsole(const std::string& text, std::chrono::milliseconds timeout) const;

 private:
  // Picks free ports and writes the ini with them.
  void ChoosePorts();
  bool StartOnce(const std::vector<std::string>& arguments, bool waitForListen,
                 const std::vector<std::string>& environment);

  TempDir m_dir;
  std::string m_extraIni;
  int m_httpPort;
  int m_telnetPort;
  pid_t m_pid = -1;
  int m_descriptorLimit = 0;
};
