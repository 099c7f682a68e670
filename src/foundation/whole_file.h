// Whole files written safely. The bytes go to a temporary file beside the
// target, which then takes the target's name in one step: by rename over
// what is there, or by link when the name must still be free. A reader, or
// the disk after a crash, sees the old file or the new one, never a part.
// A durable write also flushes the file before it is named and the folder
// after, so the new name and its bytes survive a power loss as well.
#pragma once

#include <sys/types.h>

#include "platform/unique_fd.h"

#include <string>
#include <string_view>

enum class Durability { kBestEffort, kDurable };

// A temporary file written whole and not yet named; removed when it is
// never placed.
class CPendingFile {
 public:
  // Writes the bytes beside path; check with operator bool (errno tells why not).
  CPendingFile(const std::string& path, std::string_view bytes, mode_t mode, Durability durability);
  ~CPendingFile();
  CPendingFile(const CPendingFile&) = delete;
  CPendingFile& operator=(const CPendingFile&) = delete;

  explicit operator bool() const { return m_written; }
  // Takes the target's name, replacing the file that has it.
  bool Replace();
  // Takes the target's name only while no file has it; false with errno
  // EEXIST when one does.
  bool Create();

 private:
  void FlushFolder() const;
  bool LinkUnnamedTo(const std::string& name) const;

  std::string m_path;
  std::string m_temporary;     // empty while the file has no name
  platform::CUniqueFd m_unnamed;  // the file written with O_TMPFILE, until it is placed
  Durability m_durability;
  bool m_written = false;
  bool m_placed = false;
};

// Appends the bytes with one write to the file (made when missing), so that
// appends from several threads or processes never interleave. A symbolic
// link at the path is not followed, and only a regular file is written.
// False, with errno set, when the file cannot be opened or takes fewer bytes.
bool AppendToFile(const std::string& path, std::string_view bytes);

// Writes the whole file in place of the old one.
bool WriteWholeFile(const std::string& path, std::string_view bytes, mode_t mode, Durability durability);
