#include "support/tool_process.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <thread>

#include "support/server_process.h"
#include "support/site_files.h"

namespace {
using Clock = std::chrono::steady_clock;

// The child's exit code, or -1 (the child killed) when it runs too long.
int WaitOrKill(pid_t pid) {
  const auto end = Clock::now() + std::chrono::seconds(10);
  int status = 0;
  while (Clock::now() < end) {
    if (::waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ::kill(pid, SIGKILL);
  ::waitpid(pid, &status, 0);
  return -1;
}
}  // namespace

ToolRun RunTool(const std::string& directory, const std::vector<std::string>& arguments, const std::string& input) {
  ToolRun run;
  const std::string inputFile = directory + "/tool-input.txt";
  const std::string outputFile = directory + "/tool-output.txt";
  {
    const int in = ::open(inputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (in < 0 || ::write(in, input.data(), input.size()) != static_cast<ssize_t>(input.size())) return run;
    ::close(in);
  }
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (::chdir(directory.c_str()) != 0) ::_exit(127);
    const int in = ::open(inputFile.c_str(), O_RDONLY);
    const int out = ::open(outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::dup2(in, 0);
    ::dup2(out, 1);
    ::dup2(out, 2);
    std::string binary = TOLVANSS_BINARY;
    std::vector<std::string> copies = arguments;
    std::vector<char*> argv{binary.data()};
    for (std::string& argument : copies) argv.push_back(argument.data());
    argv.push_back(nullptr);
    ::execv(binary.c_str(), argv.data());
    ::_exit(127);
  }
  if (pid < 0) return run;
  run.exitCode = WaitOrKill(pid);
  run.output = ReadWholeFile(outputFile);
  ::unlink(inputFile.c_str());
  ::unlink(outputFile.c_str());
  return run;
}

bool SetPasswordWithTool(ServerProcess& server, const std::string& name, const std::string& password) {
  const ToolRun run = RunTool(server.Dir().Path(), {"-password", name}, password + "\n");
  return run.exitCode == 0;
}
