#include "accounts/user_database.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "foundation/file.h"
#include "foundation/text.h"
#include "platform/clock.h"

void UserRecord::SetPassword(const std::string& text) {
  password = text;
  timestamp = static_cast<std::int32_t>(platform::Now());
}

bool UserRecord::CheckPassword(const std::string& text) {
  timestamp = static_cast<std::int32_t>(platform::Now());
  return text == password;
}

bool IsSafeAccountName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find_first_of(std::string("/\\\0", 3)) == std::string::npos;
}

std::string AccountPath(const std::string& directory, const std::string& name) { return directory + AsciiLower(name); }

bool LoadUser(UserRecord& record, const std::string& directory, const std::string& name) {
  try {
    if (name.empty() || !IsSafeAccountName(name)) return false;
    UniqueFile file = OpenFile(AccountPath(directory, name), "rb");
    if (!file) return false;
    std::string line;
    ReadTextPiece(file.get(), line, kAccountLineArea);
    record.name = name;
    record.password = line.substr(0, line.find('\n'));
    ReadTextPiece(file.get(), line, kAccountLineArea);
    record.timestamp = static_cast<std::int32_t>(std::strtol(line.c_str(), nullptr, 10));
    return record.timestamp != 0;
  } catch (...) {
    return false;
  }
}

bool SaveUser(const UserRecord& record, const std::string& directory) {
  if (record.name.empty() || record.password.empty() || record.timestamp == 0 || !IsSafeAccountName(record.name)) {
    return false;
  }
  const std::string path = AccountPath(directory, record.name);
  const std::string temporary = path + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(::gettid());
  const std::string content =
      record.password + "\n" + std::to_string(record.timestamp) + "\n" + record.address + "\n";
  auto writeTemporary = [&] {
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    const bool written = ::write(fd, content.data(), content.size()) == static_cast<ssize_t>(content.size()) &&
                         ::fsync(fd) == 0;
    ::close(fd);
    return written;
  };
  if (!writeTemporary()) {
    // The account directory may not exist yet: make it, then try once more.
    std::error_code ignored;
    const std::filesystem::path parent = std::filesystem::path(path).parent_path();
    if (!parent.empty()) std::filesystem::create_directories(parent, ignored);
    if (!writeTemporary()) {
      ::unlink(temporary.c_str());
      return false;
    }
  }
  if (::rename(temporary.c_str(), path.c_str()) != 0) {
    ::unlink(temporary.c_str());
    return false;
  }
  return true;
}

int CreateAccount(const UserDatabase& database, const std::string& name, const std::string& password,
                  const std::string& address) {
  try {
    UserRecord record;
    if (LoadUser(record, database.directory, name)) return 0;
    record = UserRecord();
    record.name = name;
    record.SetPassword(password);
    record.address = address;
    return SaveUser(record, database.directory) ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

int CheckAccount(const UserDatabase& database, const std::string& address, const std::string& name,
                 const std::string& password, const std::string& newPassword) {
  try {
    if (name.empty() || password.empty()) return -2;
    UserRecord record;
    if (!LoadUser(record, database.directory, name)) return -2;
    if (!record.CheckPassword(password)) return -2;
    record.address = address;
    if (!newPassword.empty()) {
      record.SetPassword(newPassword);
      return SaveUser(record, database.directory) ? 1 : -2;
    }
    SaveUser(record, database.directory);
    return 1;
  } catch (...) {
    return -2;
  }
}
