#include "foundation/whole_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

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

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

CPendingFile::CPendingFile(const std::string& path, std::string_view bytes, mode_t mode, Durability durability)
    : m_path(path), m_temporary(TemporaryName(path)), m_durability(durability) {
  platform::CUniqueFd fd(::open(m_temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode));
  if (!fd) return;
  m_written = WriteAll(fd.Get(), bytes) && (durability == Durability::kBestEffort || ::fsync(fd.Get()) == 0);
  const int error = errno;
  if (!m_written) ::unlink(m_temporary.c_str());
  errno = error;
}

CPendingFile::~CPendingFile() {
  if (m_written && !m_placed) ::unlink(m_temporary.c_str());
}

bool CPendingFile::Replace() {
  if (!m_written || m_placed) return false;
  if (::rename(m_temporary.c_str(), m_path.c_str()) != 0) return false;
  m_placed = true;
  FlushFolder();
  return true;
}

bool CPendingFile::Create() {
  if (!m_written || m_placed) return false;
  if (::link(m_temporary.c_str(), m_path.c_str()) != 0) return false;
  m_placed = true;
  ::unlink(m_temporary.c_str());
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
