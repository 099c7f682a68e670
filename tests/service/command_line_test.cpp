// The program's modes, run as the real binary.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <poll.h>
#include <unistd.h>

#include <cstring>
#include <thread>

#include "support/http_client.h"
#include "support/server_process.h"
#include "support/site_files.h"

namespace {
using namespace std::chrono_literals;

TEST(DebugMode, RunsUntilInterruptedThenExitsCleanly) {
  for (int signal : {SIGINT, SIGTERM}) {
    ServerProcess server;
    ASSERT_TRUE(server.Start({"-debug"}));
    EXPECT_TRUE(server.WaitForConsole("Start Accept\n", 5s));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(server.Stop(signal, 5s), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    const std::string console = server.Console();
    EXPECT_EQ(console.rfind("Debugging Tolvan Single Seivice 1.1.\nStart main thread\n", 0), 0u) << console;
    EXPECT_NE(console.find("Stopping Tolvan Single Seivice 1.1.\n"), std::string::npos) << console;
    EXPECT_NE(console.find("The end of CServer::run()\nLoop of while\n"), std::string::npos) << console;
  }
}

TEST(DebugMode, OptionWordIgnoresCaseAndFollowingArguments) {
  for (const char* option : {"/DEBUG", "-Debug"}) {
    ServerProcess server;
    ASSERT_TRUE(server.Start({option, "extra", "words"})) << option;
    EXPECT_EQ(server.Stop(SIGINT), 0) << option;
  }
}

TEST(DebugMode, MissingIniRunsWithDefaults) {
  ServerProcess server;
  std::remove(server.Dir().File("tolvann2.ini").c_str());
  ASSERT_TRUE(server.Start({"-debug"}, false));
  EXPECT_TRUE(server.WaitForConsole("Start Accept\n", 5s));
  EXPECT_EQ(server.Stop(SIGINT), 0);
}

// A hang-up (a closed terminal, a "reload") and the two user signals are
// no reason to end: the server goes on serving, in the console and under
// the service manager alike, and still stops cleanly afterwards.
TEST(DebugMode, HangUpAndUserSignalsAreIgnored) {
  for (const std::vector<std::string>& environment :
       {std::vector<std::string>{}, std::vector<std::string>{"INVOCATION_ID=0123456789abcdef"}}) {
    ServerProcess server;
    ASSERT_TRUE(server.Start(environment.empty() ? std::vector<std::string>{"-debug"} : std::vector<std::string>{},
                             true, environment));
    for (int signal : {SIGHUP, SIGUSR1, SIGUSR2}) {
      ASSERT_EQ(::kill(server.Pid(), signal), 0);
      std::this_thread::sleep_for(100ms);
      EXPECT_EQ(HttpGet(server.HttpPort(), "/nothing.html"), kStandardHead) << strsignal(signal);
    }
    EXPECT_EQ(server.Stop(SIGTERM), 0);
  }
}

TEST(ServicePath, WithoutServiceManagerPrintsUsageAndEnds) {
  for (const char* argument : {"", "debug", "-other"}) {
    ServerProcess server;
    std::vector<std::string> arguments;
    if (*argument != '\0') arguments.push_back(argument);
    ASSERT_TRUE(server.Start(arguments, false));
    EXPECT_EQ(server.WaitForExit(5s), 0) << argument;
    EXPECT_EQ(server.Console(),
              "tolvanss1.1 -install          to install the service\n"
              "tolvanss1.1 -remove           to remove the service\n"
              "tolvanss1.1 -debug <params>   to run as a console app for debugging\n"
              "\nStartServiceCtrlDispatcher being called.\n"
              "This may take several seconds.  Please wait.\n")
        << argument;
  }
}

TEST(ServicePath, UnderTheServiceManagerServesUntilSigterm) {
  ServerProcess server;
  ASSERT_TRUE(server.Start({}, true, {"INVOCATION_ID=0123456789abcdef"}));
  EXPECT_TRUE(server.WaitForConsole("Start Accept\n", 5s));
  EXPECT_EQ(server.Stop(SIGTERM), 0);
  EXPECT_NE(server.Console().find("Loop of while\n"), std::string::npos);
}

TEST(ServicePath, ReportsReadyAndStoppingToSystemd) {
  ServerProcess server;
  const std::string socketPath = server.Dir().File("notify.sock");
  const int fd = ::socket(AF_UNIX, SOCK_DGRAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, socketPath.c_str(), sizeof address.sun_path - 1);
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_TRUE(server.Start({}, true, {"NOTIFY_SOCKET=" + socketPath}));
  EXPECT_EQ(server.Stop(SIGTERM), 0);
  std::string notices;
  char message[512];
  pollfd entry{fd, POLLIN, 0};
  while (::poll(&entry, 1, 100) == 1) {
    const ssize_t got = ::recv(fd, message, sizeof message, 0);
    if (got <= 0) break;
    notices.append(message, static_cast<size_t>(got)).append("|");
  }
  ::close(fd);
  EXPECT_NE(notices.find("READY=1"), std::string::npos) << notices;
  EXPECT_LT(notices.find("READY=1"), notices.find("STOPPING=1")) << notices;
  EXPECT_NE(notices.find("STATUS=Stopped"), std::string::npos) << notices;
}

}  // namespace
