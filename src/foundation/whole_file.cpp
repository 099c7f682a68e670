#include "foundation/whole_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/unique_fd.h"

namespace {

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(written));
  }
  return true;
}

std::string DirectoryOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// The rename itself reaches the disk only with its directory.
void SyncDirectory(const std::string& directory) {
  platform::CUniqueFd fd(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd) ::fsync(fd.Get());
}

}  // namespace

bool WriteWholeFile(const std::string& path, std::string_view bytes) {
  const std::string temporary = path + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(::gettid());
  {
    platform::CUniqueFd fd(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (!fd) return false;
    if (!WriteAll(fd.Get(), bytes) || ::fsync(fd.Get()) != 0) {
      const int error = errno;
      ::unlink(temporary.c_str());
      errno = error;
      return false;
    }
  }
  if (::rename(temporary.c_str(), path.c_str()) != 0) {
    const int error = errno;
    ::unlink(temporary.c_str());
    errno = error;
    return false;
  }
  SyncDirectory(DirectoryOf(path));
  return true;
}

bool AppendToFile(const std::string& path, std::string_view bytes) {
  platform::CUniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644));
  if (!fd) return false;
  ssize_t written;
  do {
    written = ::write(fd.Get(), bytes.data(), bytes.size());
  } while (written < 0 && errno == EINTR);
  if (written < 0) return false;
  if (static_cast<size_t>(written) != bytes.size()) {
    errno = ENOSPC;
    return false;
  }
  return true;
}
