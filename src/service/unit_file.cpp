#include "service/unit_file.h"

#include <cstdlib>
#include <string_view>

#include "service/service_names.h"

namespace {

// systemd takes ASCII letters, digits and ":-_.\" in a unit name, up to 255
// bytes with the suffix; the service name needs no escaping.
constexpr bool IsUnitNameCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         std::string_view(":-_.\\").find(c) != std::string_view::npos;
}
constexpr bool IsPlainUnitName(std::string_view name) {
  for (char c : name) {
    if (!IsUnitNameCharacter(c)) return false;
  }
  return !name.empty() && name.size() + std::string_view(".service").size() <= 255;
}
static_assert(IsPlainUnitName(kServiceName), "the service name must be escaped for systemd");

// '%' starts a specifier in every value written here.
std::string WithoutSpecifiers(const std::string& text) {
  std::string result;
  for (char c : text) {
    if (c == '%') result += c;
    result += c;
  }
  return result;
}

// ExecStart= and ReadWritePaths= split their value into words and undo
// quotes and backslash escapes, so a path with blanks is quoted.
std::string OneWord(const std::string& path) {
  if (path.find_first_of(" \t\"'\\") == std::string::npos) return path;
  std::string quoted = "\"";
  for (char c : path) {
    if (c == '"' || c == '\\') quoted += '\\';
    quoted += c;
  }
  return quoted + "\"";
}

bool HasControlCharacter(const std::string& text) {
  for (unsigned char c : text) {
    if (c < 0x20 || c == 0x7f) return true;
  }
  return false;
}

}  // namespace

std::string UnitName() { return std::string(kServiceName) + ".service"; }

std::string UnitDirectory() {
  const char* directory = std::getenv("TOLVAN_UNIT_DIR");
  return directory != nullptr && directory[0] != '\0' ? directory : "/etc/systemd/system";
}

std::string UnitFilePath() { return UnitDirectory() + "/" + UnitName(); }

bool UnitCanName(const std::string& executable, const std::string& workingDirectory) {
  // systemd refuses quotes and backslashes in the name of the program it runs.
  return !HasControlCharacter(executable) && !HasControlCharacter(workingDirectory) &&
         executable.find_first_of("\"'\\") == std::string::npos;
}

std::string UnitFileText(const std::string& executable, const std::string& workingDirectory) {
  const std::string directory = WithoutSpecifiers(workingDirectory);
  // The program's path is not subject to "$" variables; it takes no arguments.
  const std::string command = OneWord(WithoutSpecifiers(executable));
  return "[Unit]\n"
         "Description=" + WithoutSpecifiers(kDisplayName) + "\n"
         "\n"
         "[Service]\n"
         "Type=notify\n"
         "ExecStart=" + command + "\n"
         "WorkingDirectory=" + directory + "\n"
         "Restart=on-failure\n"
         "NoNewPrivileges=yes\n"
         "ProtectSystem=strict\n"
         "ReadWritePaths=" + OneWord(directory) + "\n"
         "PrivateTmp=yes\n"
         "\n"
         "[Install]\n"
         "WantedBy=multi-user.target\n";
}
