#include "foundation/file_cache.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <mutex>

#include "platform/clock.h"
#include "platform/unique_fd.h"

std::string TemplateText(std::string_view bytes, size_t pieceArea) {
  std::string text;
  text.reserve(bytes.size() + bytes.size() / 16 + 2);
  const size_t pieceLimit = pieceArea - 1;
  size_t i = 0;
  while (i < bytes.size()) {
    size_t pieceLength = 0;
    while (pieceLength < pieceLimit && i < bytes.size()) {
      const char c = bytes[i++];
      if (c == '\r' && i < bytes.size() && bytes[i] == '\n') {
        ++i;
        text += '\n';
        ++pieceLength;
        break;
      }
      text += c;
      ++pieceLength;
      if (c == '\n') break;
    }
    text += "\r\n";
  }
  return text;
}

namespace {

bool ReadWhole(int fd, std::uint64_t size, std::string& bytes) {
  bytes.resize(size);
  size_t done = 0;
  while (done < size) {
    const ssize_t got = ::read(fd, bytes.data() + done, size - done);
    if (got <= 0) break;
    done += static_cast<size_t>(got);
  }
  bytes.resize(done);
  return true;
}

}  // namespace

std::shared_ptr<const CachedFile> CFileCache::Get(const std::string& name) {
  const std::int64_t now = platform::MonotonicMs();
  {
    std::shared_lock<std::shared_mutex> guard(m_lock);
    const auto found = m_entries.find(name);
    if (found != m_entries.end() && now - found->second.checkedMs->load(std::memory_order_relaxed) < kRecheckMs) {
      return found->second.file;
    }
  }
  const platform::CUniqueFd fd = m_folder.OpenFile(name);
  struct stat info {};
  if (!fd || ::fstat(fd.Get(), &info) != 0) return nullptr;
  const std::int64_t modified = static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
  const auto sameFile = [&](const Entry& entry) {
    return entry.size == static_cast<std::uint64_t>(info.st_size) && entry.modifiedNs == modified &&
           entry.inode == static_cast<std::uint64_t>(info.st_ino);
  };
  {
    std::shared_lock<std::shared_mutex> guard(m_lock);
    const auto found = m_entries.find(name);
    if (found != m_entries.end() && sameFile(found->second)) {
      found->second.checkedMs->store(now, std::memory_order_relaxed);
      return found->second.file;
    }
  }
  auto file = std::make_shared<CachedFile>();
  ReadWhole(fd.Get(), static_cast<std::uint64_t>(info.st_size), file->bytes);
  file->templateText = TemplateText(file->bytes);
  if (file->bytes.size() > kLargestKept) return file;
  std::unique_lock<std::shared_mutex> guard(m_lock);
  if (m_keptBytes + file->bytes.size() > kMostKept) {
    m_entries.clear();
    m_keptBytes = 0;
  }
  Entry& entry = m_entries[name];
  if (entry.file) m_keptBytes -= entry.file->bytes.size();
  entry = Entry{static_cast<std::uint64_t>(info.st_size), modified, static_cast<std::uint64_t>(info.st_ino), file,
                std::make_shared<std::atomic<std::int64_t>>(now)};
  m_keptBytes += file->bytes.size();
  return file;
}
