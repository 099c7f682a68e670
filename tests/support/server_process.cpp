#include "support/server_process.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "support/http_client.h"

namespace {
using Clock = std::chrono::steady_clock;

std::string ReadWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}
}  // namespace

std::string SiteIni(int httpPort, int telnetPort, const std::string& extra) {
  return ReadWhole(std::string(TOLVAN_SITE_DIR) + "/tolvann2.ini") + "\n[network]\nhttp_port = " +
         std::to_string(httpPort) + "\ntelnet_port = " + std::to_string(telnetPort) + "\n" + kCheapHashIni + kLimitsOffIni +
         extra;
}

ServerProcess::ServerProcess(const std::string& extraIni) : m_extraIni(extraIni) {
  std::filesystem::copy(std::string(TOLVAN_SITE_DIR) + "/htdocs", m_dir.File("htdocs"),
                        std::filesystem::copy_options::recursive);
  ChoosePorts();
}

void ServerProcess::ChoosePorts() {
  m_httpPort = FreePort();
  do {
    m_telnetPort = FreePort();
  } while (m_telnetPort == m_httpPort);
  m_dir.Write("tolvann2.ini", SiteIni(m_httpPort, m_telnetPort, m_extraIni));
}

ServerProcess::~ServerProcess() {
  if (m_pid > 0) Stop(SIGINT);
  // A server built with a sanitizer reports on its console; any report fails
  // the test that ran it.
  const std::string console = Console();
  for (const char* report : {"WARNING: ThreadSanitizer", "ERROR: AddressSanitizer", "ERROR: LeakSanitizer",
                             "runtime error:"}) {
    if (console.find(report) != std::string::npos) ADD_FAILURE() << "sanitizer report from the server";
  }
  if (::testing::Test::HasFailure()) {
    std::cerr << "---- server console (" << m_dir.Path() << ") ----\n" << Console() << "---- end ----\n";
  }
}

bool ServerProcess::Start(const std::vector<std::string>& arguments, bool waitForListen,
                          const std::vector<std::string>& environment) {
  // A port that was free a moment ago may have been taken by a test running
  // beside this one: then the server never listens, and it is tried again
  // on other ports.
  for (int attempt = 0; attempt < 3; ++attempt) {
    if (StartOnce(arguments, waitForListen, environment)) return true;
    if (!waitForListen) return false;
    Stop(SIGKILL);
    ChoosePorts();
  }
  return false;
}

bool ServerProcess::StartOnce(const std::vector<std::string>& arguments, bool waitForListen,
                              const std::vector<std::string>& environment) {
  const std::string console = m_dir.File("console.txt");
  m_pid = ::fork();
  if (m_pid == 0) {
    if (::chdir(m_dir.Path().c_str()) != 0) ::_exit(127);
    const int out = ::open(console.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::dup2(out, 1);
    ::dup2(out, 2);
    for (const std::string& variable : environment) ::putenv(const_cast<char*>(variable.c_str()));
    if (m_descriptorLimit > 0) {
      const rlimit limit{static_cast<rlim_t>(m_descriptorLimit), static_cast<rlim_t>(m_descriptorLimit)};
      if (::setrlimit(RLIMIT_NOFILE, &limit) != 0) ::_exit(127);
    }
    std::vector<char*> argv;
    std::string binary = TOLVANSS_BINARY;
    argv.push_back(binary.data());
    std::vector<std::string> copies = arguments;
    for (std::string& argument : copies) argv.push_back(argument.data());
    argv.push_back(nullptr);
    ::execv(binary.c_str(), argv.data());
    ::_exit(127);
  }
  if (m_pid < 0 || !waitForListen) return m_pid > 0;
  const auto end = Clock::now() + std::chrono::seconds(5);
  while (Clock::now() < end) {
    const int fd = ConnectLoopback(m_httpPort);
    if (fd >= 0) {
      ::close(fd);
      // The telnet port is opened after the pages' port; a server that
      // could not take it says so before it starts accepting.
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
      return WaitForConsole("Start Accept", left) && Console().find("Can't listen") == std::string::npos;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

int ServerProcess::WaitForExit(std::chrono::milliseconds timeout) {
  if (m_pid <= 0) return -1;
  const auto end = Clock::now() + timeout;
  while (Clock::now() < end) {
    int status = 0;
    if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
      m_pid = -1;
      return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return -1;
}

int ServerProcess::Stop(int signal, std::chrono::milliseconds timeout) {
  if (m_pid <= 0) return -1;
  ::kill(m_pid, signal);
  const int code = WaitForExit(timeout);
  if (m_pid > 0) {
    ::kill(m_pid, SIGKILL);
    ::waitpid(m_pid, nullptr, 0);
    m_pid = -1;
    return -1;
  }
  return code;
}

std::string ServerProcess::Console() const { return ReadWhole(m_dir.File("console.txt")); }

bool ServerProcess::WaitForConsole(const std::string& text, std::chrono::milliseconds timeout) const {
  const auto end = Clock::now() + timeout;
  while (Clock::now() < end) {
    if (Console().find(text) != std::string::npos) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}
