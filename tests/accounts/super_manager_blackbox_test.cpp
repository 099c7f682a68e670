// The super manager ([general] ManagerName, "admin" in the bundled ini) is
// the operator's: no page registers or recovers that account, and the
// operator gives it a password with "tolvanss -password NAME".
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <regex>
#include <thread>

#include "support/chat_client.h"
#include "support/http_client.h"
#include "support/server_process.h"
#include "support/site_files.h"
#include "support/tool_process.h"

namespace {
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class SuperManager : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(m_server.Start()); }
  int Port() { return m_server.HttpPort(); }
  std::string TemplateAlone(const std::string& name) {
    return kStandardHead + AsTemplate(ReadWholeFile(m_server.Dir().File("htdocs/" + name)));
  }
  bool LogsOn(const std::string& name, const std::string& password) {
    const std::string answer =
        HttpPost(Port(), "/logon", "username=" + UrlEncode(name) + "&password=" + UrlEncode(password));
    return std::regex_search(answer, std::regex("session=[0-9a-z]+"));
  }
  bool AccountFileExists() { return std::filesystem::exists(m_server.Dir().File("users/admin")); }

  ServerProcess m_server;
};

TEST_F(SuperManager, RegistrationAndRecoveryRefuseTheNameInAnyLetterCase) {
  EXPECT_FALSE(LogsOn("admin", "pw")) << "the bundled site starts without a usable super manager";
  for (const char* path : {"/register", "/hyutyuy"}) {
    for (const char* name : {"admin", "ADMIN", "Admin"}) {
      EXPECT_EQ(HttpPost(Port(), path, "username=" + std::string(name) + "&password=pw"), TemplateAlone("include.html"))
          << path << " " << name;
    }
  }
  EXPECT_FALSE(AccountFileExists());
  EXPECT_FALSE(LogsOn("admin", "pw"));
  EXPECT_NE(HttpPost(Port(), "/register", "username=admins&password=pw").find("注册成功"), std::string::npos)
      << "only the name itself is reserved";

  const auto start = Clock::now();
  EXPECT_EQ(HttpPost(Port(), "/Modify_Second", "username=ADMIN"), TemplateAlone("nouser.html"));
  EXPECT_EQ(HttpPost(Port(), "/changepass2",
                     "username=Admin&email=a%40b.c&birthday=1990-01-01&answer=x&password=taken"),
            TemplateAlone("wronganswer.html"));
  EXPECT_LT(Clock::now() - start, 2s) << "refused at once, without asking any node";
}

TEST_F(SuperManager, TheOperatorSetsThePasswordWithTheCommand) {
  const ToolRun run = RunTool(m_server.Dir().Path(), {"-password", "admin"}, "first secret\n");
  EXPECT_EQ(run.exitCode, 0) << run.output;
  EXPECT_NE(run.output.find("admin"), std::string::npos) << run.output;
  EXPECT_EQ(m_server.Dir().Read("users/admin").rfind("$argon2id$", 0), 0u) << "stored as registration stores it";
  EXPECT_TRUE(LogsOn("admin", "first secret"));

  // Run again, it replaces the password.
  ASSERT_TRUE(SetPasswordWithTool(m_server, "admin", "pw"));
  EXPECT_FALSE(LogsOn("admin", "first secret"));
  ChatUser admin(m_server, "admin");
  ASSERT_TRUE(admin.LoggedOn());
  admin.Join("大厅");
  admin.OpenStream("大厅");
  admin.Say("/rm 谈天说地");
  EXPECT_NE(admin.WaitFor("删除聊天室成功").find("删除聊天室成功"), std::string::npos) << "he is the super manager";
}

TEST_F(SuperManager, TheCommandRefusesWhatItCannotStore) {
  struct Case {
    std::vector<std::string> arguments;
    std::string input;
  } cases[] = {
      {{"-password"}, "pw\n"},                       // no name
      {{"-password", "admin"}, "\n"},                // an empty password
      {{"-password", "admin"}, ""},                  // no line at all
      {{"-password", "admin"}, std::string(79, 'p') + "\n"},  // longer than an account file gives back
      {{"-password", "../admin"}, "pw\n"},           // a name that leaves the account directory
  };
  for (const Case& c : cases) {
    const ToolRun run = RunTool(m_server.Dir().Path(), c.arguments, c.input);
    EXPECT_NE(run.exitCode, 0) << c.arguments.back() << " / " << c.input.size() << ": " << run.output;
    EXPECT_FALSE(run.output.empty());
  }
  EXPECT_FALSE(AccountFileExists());

  // Away from the server's working directory there is no ini to say where
  // the accounts are: nothing is written.
  const TempDir elsewhere;
  const ToolRun lost = RunTool(elsewhere.Path(), {"-password", "admin"}, "pw\n");
  EXPECT_NE(lost.exitCode, 0);
  EXPECT_NE(lost.output.find("tolvann2.ini"), std::string::npos) << lost.output;
  EXPECT_TRUE(std::filesystem::is_empty(elsewhere.Path()));
}

// On a terminal the password is asked twice and never shown.
class TerminalRun {
 public:
  explicit TerminalRun(const std::string& directory) {
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0) return;
    const std::string terminal = ::ptsname(m_master);
    m_pid = ::fork();
    if (m_pid == 0) {
      ::setsid();
      const int slave = ::open(terminal.c_str(), O_RDWR);  // the session's controlling terminal
      if (slave < 0 || ::chdir(directory.c_str()) != 0) ::_exit(127);
      ::dup2(slave, 0);
      ::dup2(slave, 1);
      ::dup2(slave, 2);
      std::string binary = TOLVANSS_BINARY;
      std::string option = "-password";
      std::string name = "admin";
      char* argv[] = {binary.data(), option.data(), name.data(), nullptr};
      ::execv(binary.c_str(), argv);
      ::_exit(127);
    }
  }
  ~TerminalRun() {
    if (m_pid > 0) {
      ::kill(m_pid, SIGKILL);
      ::waitpid(m_pid, nullptr, 0);
    }
    if (m_master >= 0) ::close(m_master);
  }

  // Everything the terminal showed until the text (or 5 seconds).
  std::string ReadUntil(const std::string& text) {
    const auto end = Clock::now() + 5s;
    while (m_shown.find(text) == std::string::npos && Clock::now() < end) {
      pollfd entry{m_master, POLLIN, 0};
      if (::poll(&entry, 1, 50) <= 0) continue;
      char chunk[1024];
      const ssize_t got = ::read(m_master, chunk, sizeof chunk);
      if (got <= 0) break;  // the program closed the terminal
      m_shown.append(chunk, static_cast<size_t>(got));
    }
    return m_shown;
  }
  void Type(const std::string& line) { ASSERT_EQ(::write(m_master, line.data(), line.size()), ssize_t(line.size())); }
  int Exit() {
    int status = 0;
    const auto end = Clock::now() + 5s;
    while (Clock::now() < end) {
      if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
        m_pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      }
      ReadUntil(std::string(1, '\0'));  // keeps the terminal drained
    }
    return -1;
  }

 private:
  int m_master = -1;
  pid_t m_pid = -1;
  std::string m_shown;
};

TEST_F(SuperManager, OnATerminalThePasswordIsAskedTwiceAndNeverShown) {
  {
    TerminalRun differing(m_server.Dir().Path());
    differing.ReadUntil("Password");
    differing.Type("one secret\n");
    differing.ReadUntil("again");
    differing.Type("other secret\n");
    EXPECT_NE(differing.Exit(), 0);
    EXPECT_FALSE(AccountFileExists()) << "two different passwords set nothing";
  }
  TerminalRun run(m_server.Dir().Path());
  const std::string prompt = run.ReadUntil("Password");
  EXPECT_NE(run.ReadUntil(":").find("admin"), std::string::npos) << prompt;
  run.Type("hidden words\n");
  run.ReadUntil("again");
  run.Type("hidden words\n");
  EXPECT_EQ(run.Exit(), 0) << run.ReadUntil("");
  const std::string shown = run.ReadUntil("");
  EXPECT_EQ(shown.find("hidden"), std::string::npos) << shown;
  EXPECT_TRUE(LogsOn("admin", "hidden words"));
}

}  // namespace
