// The unit text for paths that systemd would otherwise read differently.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "service/systemctl.h"
#include "service/unit_file.h"
#include "support/temp_dir.h"

namespace {

bool HasLine(const std::string& text, const std::string& line) {
  return text.find("\n" + line + "\n") != std::string::npos;
}

TEST(UnitFile, NameIsTheServiceName) { EXPECT_EQ(UnitName(), "TolvanSService1.1.service"); }

// '%' is doubled everywhere; the words of ExecStart= and ReadWritePaths= are
// quoted when they hold blanks or quotes.
TEST(UnitFile, PathsAreWrittenSoSystemdReadsThemBack) {
  struct Case {
    std::string executable, directory;
    std::string execStart, workingDirectory, readWritePaths;
  };
  const Case cases[] = {
      {"/usr/sbin/tolvanss", "/srv/chat", "/usr/sbin/tolvanss", "/srv/chat", "/srv/chat"},
      {"/opt/chat 1/tolvan%ss$", "/srv/50% \"q\" 'a\\b'", "\"/opt/chat 1/tolvan%%ss$\"",
       "/srv/50%% \"q\" 'a\\b'", "\"/srv/50%% \\\"q\\\" 'a\\\\b'\""},
  };
  for (const Case& test : cases) {
    const std::string text = UnitFileText(test.executable, test.directory);
    EXPECT_TRUE(HasLine(text, "ExecStart=" + test.execStart)) << text;
    EXPECT_TRUE(HasLine(text, "WorkingDirectory=" + test.workingDirectory)) << text;
    EXPECT_TRUE(HasLine(text, "ReadWritePaths=" + test.readWritePaths)) << text;
  }
}

TEST(UnitFile, RefusesPathsSystemdCannotTake) {
  EXPECT_TRUE(UnitCanName("/opt/chat 1/tolvan%ss$", "/srv/50% \"q\" 'a\\b'"));
  for (const char* executable : {"/opt/\"q\"/tolvanss", "/opt/it's/tolvanss", "/opt/a\\b/tolvanss", "/opt/a\nb"}) {
    EXPECT_FALSE(UnitCanName(executable, "/srv/chat")) << executable;
  }
  EXPECT_FALSE(UnitCanName("/usr/sbin/tolvanss", "/srv/a\nb"));
}

// systemd-analyze finds the program only if it read ExecStart= back as the
// path that was written.
TEST(UnitFile, SystemdFindsAProgramWithBlanksAndPercentInItsPath) {
  if (RunProgram("systemd-analyze", {"--version"}).startError != 0) GTEST_SKIP() << "no systemd-analyze here";
  TempDir dir;
  const std::string directory = dir.File("chat 50% $HOME");
  const std::string program = directory + "/tolvan ss";
  dir.Write("chat 50% $HOME/tolvan ss", "#!/bin/sh\n");
  ::chmod(program.c_str(), 0755);
  dir.Write("TolvanSService1.1.service", UnitFileText(program, directory));
  const ProgramRun verify = RunProgram("systemd-analyze", {"verify", dir.File("TolvanSService1.1.service")});
  EXPECT_TRUE(verify.Succeeded()) << verify.errors;
  EXPECT_EQ(verify.errors.find("TolvanSService1.1.service:"), std::string::npos) << verify.errors;
}

}  // namespace
