#include "service/service_install.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "platform/console.h"
#include "platform/thread.h"
#include "service/service_names.h"
#include "service/systemctl.h"
#include "service/unit_file.h"

// Installing writes the unit file and enables it; removing stops, disables
// and deletes it. Each step that fails prints its line with the system's text
// (or what systemctl said) and ends the operation.
namespace {

// The system's text for an error code and the code in hex: "File exists (0x11)".
std::string FormatLastError(int code) {
  std::string buffer(256, '\0');
  std::ostringstream text;
  text << strerror_r(code, buffer.data(), buffer.size()) << " (0x" << std::hex << code << ")";
  return text.str();
}

// What a failed systemctl call said, in place of the system's text.
std::string DescribeFailure(const std::string& verb, const ProgramRun& run) {
  const std::string command = "systemctl " + verb;
  if (run.startError != 0) return command + " could not be run: " + FormatLastError(run.startError);
  if (run.signal != 0) return command + " was ended by signal " + std::to_string(run.signal);
  std::string text = command + " failed with exit status " + std::to_string(run.exitStatus);
  const size_t first = run.errors.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return text;
  const size_t last = run.errors.find_last_not_of(" \t\r\n");
  std::string said = run.errors.substr(first, last - first + 1);
  std::replace(said.begin(), said.end(), '\n', ' ');  // one line on the console
  return text + ": " + said;
}

// "" when systemctl succeeded, otherwise what went wrong.
std::string Systemctl(const std::vector<std::string>& arguments) {
  const ProgramRun run = RunSystemctl(arguments);
  return run.Succeeded() ? "" : DescribeFailure(arguments.front(), run);
}

// The place of the service control manager: the unit directory, which the
// operations must be able to write.
bool CanWriteUnitDirectory() { return ::access(UnitDirectory().c_str(), W_OK) == 0; }

// The executable and the working directory the unit will name; errno is set
// when either cannot be read or cannot stand in a unit file.
bool ReadServicePaths(std::string& executable, std::string& directory) {
  std::error_code error;
  executable = std::filesystem::read_symlink("/proc/self/exe", error).string();
  if (!error) directory = std::filesystem::current_path(error).string();
  if (error) {
    errno = error.value();
    return false;
  }
  if (!UnitCanName(executable, directory)) {
    errno = EINVAL;
    return false;
  }
  return true;
}

// Writes the unit file, refusing to replace one that exists.
std::string WriteUnitFile(const std::string& text) {
  const std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(UnitFilePath().c_str(), "wx"), std::fclose);
  if (!file) return FormatLastError(errno);
  if (std::fwrite(text.data(), 1, text.size(), file.get()) == text.size() && std::fflush(file.get()) == 0) {
    return "";
  }
  const int error = errno;
  std::remove(UnitFilePath().c_str());
  return FormatLastError(error);
}

// Writes the unit and enables it for boot without starting it. A unit that
// cannot be enabled is taken away again, so a later "-install" can succeed.
std::string CreateUnit(const std::string& executable, const std::string& directory) {
  if (std::string failure = WriteUnitFile(UnitFileText(executable, directory)); !failure.empty()) return failure;
  std::string failure = Systemctl({"daemon-reload"});
  if (failure.empty()) failure = Systemctl({"enable", UnitName()});
  if (failure.empty()) return "";
  std::remove(UnitFilePath().c_str());
  Systemctl({"daemon-reload"});
  return failure;
}

// The unit's state as systemctl is-active prints it; "" when it cannot tell.
std::string ActiveState() {
  const ProgramRun run = RunSystemctl({"is-active", UnitName()});
  const size_t end = run.output.find_first_of("\r\n");
  return run.output.substr(0, end);
}

bool IsStopped(const std::string& state) { return state == "inactive" || state == "failed"; }

// Asks systemd to stop the unit without waiting for it, then shows a dot for
// every second it is still stopping. A unit that does not run, or a stop that
// systemd refuses, prints nothing.
void StopIfRunning() {
  const std::string state = ActiveState();
  if (state.empty() || IsStopped(state)) return;
  if (!Systemctl({"stop", "--no-block", UnitName()}).empty()) return;
  platform::ConsolePrintf("Stopping %s.", kDisplayName);
  std::string last;
  for (;;) {
    platform::SleepMs(1000);
    last = ActiveState();
    if (last != "deactivating") break;
    platform::ConsoleWrite(".");
  }
  platform::ConsolePrintf(IsStopped(last) ? "\n%s stopped.\n" : "\n%s failed to stop.\n", kDisplayName);
}

std::string DeleteUnit() {
  if (std::string failure = Systemctl({"disable", UnitName()}); !failure.empty()) return failure;
  if (std::remove(UnitFilePath().c_str()) != 0) return FormatLastError(errno);
  return Systemctl({"daemon-reload"});
}

}  // namespace

void InstallService() {
  std::string executable;
  std::string directory;
  if (!ReadServicePaths(executable, directory)) {
    platform::ConsolePrintf("Unable to install %s - %s\n", kDisplayName, FormatLastError(errno).c_str());
    return;
  }
  if (!CanWriteUnitDirectory()) {
    platform::ConsolePrintf("OpenSCManager failed - %s\n", FormatLastError(errno).c_str());
    return;
  }
  const std::string failure = CreateUnit(executable, directory);
  if (failure.empty()) {
    platform::ConsolePrintf("%s installed.\n", kDisplayName);
  } else {
    platform::ConsolePrintf("CreateService failed - %s\n", failure.c_str());
  }
}

void RemoveService() {
  if (!CanWriteUnitDirectory()) {
    platform::ConsolePrintf("OpenSCManager failed - %s\n", FormatLastError(errno).c_str());
    return;
  }
  if (::access(UnitFilePath().c_str(), F_OK) != 0) {
    platform::ConsolePrintf("OpenService failed - %s\n", FormatLastError(errno).c_str());
    return;
  }
  StopIfRunning();
  const std::string failure = DeleteUnit();
  if (failure.empty()) {
    platform::ConsolePrintf("%s removed.\n", kDisplayName);
  } else {
    platform::ConsolePrintf("DeleteService failed - %s\n", failure.c_str());
  }
}
