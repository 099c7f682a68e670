// "-install" and "-remove", run as the real binary against a unit directory
// in the test's own directory and a stand-in systemctl that records its calls.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "service/systemctl.h"
#include "support/server_process.h"

namespace {
using namespace std::chrono_literals;

const std::string kUnit = "TolvanSService1.1.service";
const std::string kName = "Tolvan Single Seivice 1.1";

// Records each call in systemctl.calls beside itself. $STANDIN_FAILS names a
// verb that fails with a message on stderr. With $STANDIN_ACTIVE the unit is
// active at the first query, deactivating at the next two, then inactive.
const char* kStandInSystemctl = R"(#!/bin/sh
here=$(dirname "$0")
echo "$*" >> "$here/systemctl.calls"
if [ "$1" = "$STANDIN_FAILS" ]; then printf '  Failed to %s unit: Access denied\nSee the log. \n' "$1" >&2; exit 1; fi
[ "$1" = is-active ] || exit 0
if [ -z "$STANDIN_ACTIVE" ]; then echo inactive; exit 3; fi
queries=$(cat "$here/queries" 2>/dev/null || echo 0)
echo $((queries + 1)) > "$here/queries"
case $queries in
  0) echo active ;;
  1|2) echo deactivating ;;
  *) echo inactive; exit 3 ;;
esac
)";

// The system's text for an error code as the program prints it.
std::string ErrorText(int code, const char* hex) { return std::string(std::strerror(code)) + " (" + hex + ")"; }

class ServiceInstall : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directory(m_program.Dir().File("units"));
    m_program.Dir().Write("systemctl", kStandInSystemctl);
    ::chmod(m_program.Dir().File("systemctl").c_str(), 0755);
  }

  // Runs the binary with the option in the test's directory; its console.
  // Later entries of the environment replace earlier ones.
  std::string Run(const std::string& option, const std::vector<std::string>& extraEnvironment = {}) {
    std::vector<std::string> environment{"TOLVAN_UNIT_DIR=" + m_program.Dir().File("units"),
                                         "TOLVAN_SYSTEMCTL=" + m_program.Dir().File("systemctl")};
    environment.insert(environment.end(), extraEnvironment.begin(), extraEnvironment.end());
    if (!m_program.Start({option}, false, environment)) return "(not started)";
    EXPECT_EQ(m_program.WaitForExit(20s), 0) << option;
    return m_program.Console();
  }

  // The systemctl calls since the last look, one a line.
  std::string TakeCalls() {
    const std::string calls = m_program.Dir().Read("systemctl.calls");
    std::filesystem::remove(m_program.Dir().File("systemctl.calls"));
    return calls;
  }

  std::string UnitPath() { return m_program.Dir().File("units/" + kUnit); }
  bool UnitExists() { return std::filesystem::exists(UnitPath()); }
  std::string UnitText() { return m_program.Dir().Read("units/" + kUnit); }
  std::string WorkingDirectory() { return std::filesystem::canonical(m_program.Dir().Path()).string(); }

  ServerProcess m_program;
};

TEST_F(ServiceInstall, InstallWritesAndEnablesTheUnitAndRemoveTakesItAway) {
  EXPECT_EQ(Run("-install"), kName + " installed.\n");
  EXPECT_EQ(TakeCalls(), "daemon-reload\nenable " + kUnit + "\n");
  const std::string text = UnitText();
  const std::string directory = WorkingDirectory();
  for (const std::string& line :
       {"Description=" + kName, std::string("Type=notify"),
        "ExecStart=" + std::filesystem::canonical(TOLVANSS_BINARY).string(), "WorkingDirectory=" + directory,
        std::string("Restart=on-failure"), std::string("NoNewPrivileges=yes"), std::string("ProtectSystem=strict"),
        "ReadWritePaths=" + directory, std::string("PrivateTmp=yes"), std::string("WantedBy=multi-user.target")}) {
    EXPECT_NE(text.find("\n" + line + "\n"), std::string::npos) << line << "\n" << text;
  }

  EXPECT_EQ(Run("-remove"), kName + " removed.\n");
  EXPECT_EQ(TakeCalls(), "is-active " + kUnit + "\ndisable " + kUnit + "\ndaemon-reload\n");
  EXPECT_FALSE(UnitExists());
}

TEST_F(ServiceInstall, InstallingTwiceFailsAndKeepsTheFirstUnit) {
  Run("-install");
  const std::string first = UnitText();
  TakeCalls();
  EXPECT_EQ(Run("/INSTALL"), "CreateService failed - " + ErrorText(EEXIST, "0x11") + "\n");
  EXPECT_EQ(TakeCalls(), "");
  EXPECT_EQ(UnitText(), first);
}

TEST_F(ServiceInstall, RemovingWhatIsNotInstalledFails) {
  EXPECT_EQ(Run("-remove"), "OpenService failed - " + ErrorText(ENOENT, "0x2") + "\n");
  EXPECT_EQ(TakeCalls(), "");
}

TEST_F(ServiceInstall, RemovingARunningServiceStopsItFirst) {
  Run("-install");
  TakeCalls();
  EXPECT_EQ(Run("-remove", {"STANDIN_ACTIVE=1"}),
            "Stopping " + kName + "...\n" + kName + " stopped.\n" + kName + " removed.\n");
  const std::string query = "is-active " + kUnit + "\n";
  EXPECT_EQ(TakeCalls(), query + "stop --no-block " + kUnit + "\n" + query + query + query + "disable " + kUnit +
                             "\ndaemon-reload\n");
  EXPECT_FALSE(UnitExists());
}

TEST_F(ServiceInstall, AMissingUnitDirectoryFailsBothOperations) {
  for (const char* option : {"-install", "-remove"}) {
    EXPECT_EQ(Run(option, {"TOLVAN_UNIT_DIR=" + m_program.Dir().File("absent")}),
              "OpenSCManager failed - " + ErrorText(ENOENT, "0x2") + "\n")
        << option;
  }
  EXPECT_EQ(TakeCalls(), "");
}

// A failing systemctl is reported with its exit status and its words.
TEST_F(ServiceInstall, SystemctlFailuresEndTheStepThatRanIt) {
  struct Case {
    const char* option;
    bool installedBefore;
    std::string environment;
    std::string console;
    bool unitAfter;
  };
  const Case cases[] = {
      {"-install", false, "STANDIN_FAILS=enable",
       "CreateService failed - systemctl enable failed with exit status 1: Failed to enable unit: Access denied See the log.\n",
       false},
      {"-install", false, "TOLVAN_SYSTEMCTL=" + m_program.Dir().File("no-such-program"),
       "CreateService failed - systemctl daemon-reload could not be run: " + ErrorText(ENOENT, "0x2") + "\n", false},
      {"-remove", true, "STANDIN_FAILS=disable",
       "DeleteService failed - systemctl disable failed with exit status 1: Failed to disable unit: Access denied See the log.\n",
       true},
  };
  for (const Case& test : cases) {
    std::filesystem::remove(UnitPath());
    if (test.installedBefore) Run("-install");
    EXPECT_EQ(Run(test.option, {test.environment}), test.console) << test.environment;
    EXPECT_EQ(UnitExists(), test.unitAfter) << test.environment;
  }
}

TEST_F(ServiceInstall, SystemdAcceptsTheInstalledUnit) {
  if (RunProgram("systemd-analyze", {"--version"}).startError != 0) GTEST_SKIP() << "no systemd-analyze here";
  Run("-install");
  const ProgramRun verify = RunProgram("systemd-analyze", {"verify", UnitPath()});
  EXPECT_TRUE(verify.Succeeded()) << verify.errors;
  EXPECT_EQ(verify.errors.find(kUnit + ":"), std::string::npos) << verify.errors;
}

}  // namespace
