// CConfinedFolder: files read from below one folder and never from outside
// it. A name is walked one part at a time from the folder, each part opened
// without following a symbolic link, so neither a link nor ".." leads out of
// the folder, whatever is swapped on the disk meanwhile (the walk does what
// openat2's RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS does, on every kernel).
// Only regular files are opened, never a device or a pipe. Private files
// (the settings, the account files, the logs) are not opened either, even
// when they lie below the folder.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/unique_fd.h"

// The files of one folder that are never served: those whose names begin
// with the last part of the path ("users/" stands for every file of the
// folder "users"; "evidence.log" for that file of the working directory and
// any name made from it, such as a temporary "evidence.log.tmp 12-3").
struct PrivateName {
  explicit PrivateName(const std::string& path);
  std::string folder;      // "." for a bare name
  std::string namePrefix;  // "" for a path ending in '/'
};

class CConfinedFolder {
 public:
  // An empty folder stands for the working directory.
  explicit CConfinedFolder(std::string folder, std::vector<PrivateName> privateNames = {});

  // The regular file at the name (parts separated by '/'), open for reading
  // (non-blocking); an empty descriptor when the name leaves the folder
  // (a ".." part), passes a symbolic link, names no regular file, or names a
  // private one.
  platform::CUniqueFd OpenFile(std::string_view name) const;

 private:
  // True when the file of that name in the open folder is private.
  bool IsPrivate(int folder, std::string_view fileName) const;

  std::string m_folder;
  std::vector<PrivateName> m_privateNames;
};
