#include "foundation/whole_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "foundation/file.h"
#include "platform/unique_fd.h"

namespace {

// A name beside the target that no other writer uses. It holds a blank,
// which keeps it from ever being taken for a user's account file (user names
// never hold one).
std::string TemporaryName(const std::string& path) {
  static std::atomic<unsigned long> sequence{0};
  return path + ".tmp " + std::to_string(::getpid()) + "-" + std::to_string(++sequence);
}

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(written));
  }
  return true;
}

}  // namespace

CPendingFile::CPendingFile(const std::string& path, std::string_view bytes, mode_t mode, Durability durability)
    : m_path(path), m_durability(durability) {
  // Written unnamed where the file system allows (O_TMPFILE): it then takes
  // its name with one link, and nothing is left to remove when it is never
  // placed. Elsewhere under a temporary name beside the target.
  platform::CUniqueFd fd(::open(FolderOf(path).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode));
  if (!fd && errno != ENOENT) {
    m_temporary = TemporaryName(path);
    fd.Reset(::open(m_temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode));
  }
  if (!fd) return;
  m_written = WriteAll(fd.Get(), bytes) && (durability == Durability::kBestEffort || ::fsync(fd.Get()) == 0);
  const int error = errno;
  if (!m_written && !m_temporary.empty()) ::unlink(m_temporary.c_str());
  if (m_written && m_temporary.empty()) m_unnamed = std::move(fd);
  errno = error;
}

CPendingFile::~CPendingFile() {
  if (m_written && !m_placed && !m_temporary.empty()) ::unlink(m_temporary.c_str());
}

bool CPendingFile::LinkUnnamedTo(const std::string& name) const {
  const std::string self = "/proc/self/fd/" + std::to_string(m_unnamed.Get());
  return ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0;
}

bool CPendingFile::Replace() {
  if (!m_written || m_placed) return false;
  if (m_temporary.empty()) {  // an unnamed file needs a name to be renamed over the target
    m_temporary = TemporaryName(m_path);
    if (!LinkUnnamedTo(m_temporary)) {
      m_temporary.clear();
      return false;
    }
  }
  if (::rename(m_temporary.c_str(), m_path.c_str()) != 0) return false;
  m_placed = true;
  FlushFolder();
  return true;
}

bool CPendingFile::Create() {
  if (!m_written || m_placed) return false;
  if (m_temporary.empty()) {
    if (!LinkUnnamedTo(m_path)) return false;
  } else {
    if (::link(m_temporary.c_str(), m_path.c_str()) != 0) return false;
    ::unlink(m_temporary.c_str());
  }
  m_placed = true;
  FlushFolder();
  return true;
}

void CPendingFile::FlushFolder() const {
  if (m_durability != Durability::kDurable) return;
  platform::CUniqueFd folder(::open(FolderOf(m_path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder) ::fsync(folder.Get());
}

bool WriteWholeFile(const std::string& path, std::string_view bytes, mode_t mode, Durability durability) {
  CPendingFile file(path, bytes, mode, durability);
  return file && file.Replace();
}

bool AppendToFile(const std::string& path, std::string_view bytes) {
  platform::CUniqueFd fd(
      ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0644));
  if (!fd) return false;
  struct stat info {};
  if (::fstat(fd.Get(), &info) != 0) return false;
  if (!S_ISREG(info.st_mode)) {
    errno = EINVAL;
    return false;
  }
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
