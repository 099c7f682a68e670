// Site files read whole and kept in memory while their size and
// modification time stay the same: templates and pictures are served from
// memory. A kept file is looked at on disk again at most once a second, so
// a file changed on disk is served changed within a second. Files are read
// only from below the cache's folder (see confined_folder.h).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <unordered_map>

#include "foundation/confined_folder.h"

inline constexpr size_t kTemplatePiece = 2048;  // a template is read in pieces of at most 2047 bytes

// A template as the page builders append it: read the way a text-mode
// reader with a 2048-byte line area reads it (a CR before an LF is dropped,
// a line longer than 2047 bytes comes in pieces), each piece followed by
// "\r\n".
std::string TemplateText(std::string_view fileBytes, size_t pieceArea = kTemplatePiece);

struct CachedFile {
  std::string bytes;         // the file as it is on disk
  std::string templateText;  // TemplateText(bytes)
};

class CFileCache {
 public:
  explicit CFileCache(CConfinedFolder folder) : m_folder(std::move(folder)) {}

  // Files larger than this are read each time and not kept.
  static constexpr std::uint64_t kLargestKept = 4 * 1024 * 1024;
  // Beyond this many bytes in all, the cache starts again empty.
  static constexpr std::uint64_t kMostKept = 64 * 1024 * 1024;

  // The file of that name below the folder, or null when there is none
  // that may be read.
  std::shared_ptr<const CachedFile> Get(const std::string& name);

 private:
  struct Entry {
    std::uint64_t size = 0;
    std::int64_t modifiedNs = 0;
    std::uint64_t inode = 0;
    std::shared_ptr<const CachedFile> file;
    std::shared_ptr<std::atomic<std::int64_t>> checkedMs;  // when the disk was last looked at
  };
  static constexpr std::int64_t kRecheckMs = 1000;
  const CConfinedFolder m_folder;
  std::shared_mutex m_lock;
  std::unordered_map<std::string, Entry> m_entries;
  std::uint64_t m_keptBytes = 0;
};
