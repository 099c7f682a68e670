#include "foundation/confined_folder.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <optional>

#include "foundation/file.h"

namespace {

// The parts of a name, without empty and "." parts; none when a part is
// ".." or holds a NUL, or when nothing is left.
std::optional<std::vector<std::string>> NameParts(std::string_view name) {
  std::vector<std::string> parts;
  while (!name.empty()) {
    const size_t slash = name.find('/');
    const std::string_view part = name.substr(0, slash);
    name = slash == std::string_view::npos ? std::string_view() : name.substr(slash + 1);
    if (part.empty() || part == ".") continue;
    if (part == ".." || part.find('\0') != std::string_view::npos) return std::nullopt;
    parts.emplace_back(part);
  }
  if (parts.empty()) return std::nullopt;
  return parts;
}

bool SameInode(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

}  // namespace

PrivateName::PrivateName(const std::string& path)
    : folder(FolderOf(path)), namePrefix(path.substr(path.rfind('/') + 1)) {}  // npos + 1: the whole path

CConfinedFolder::CConfinedFolder(std::string folder, std::vector<PrivateName> privateNames)
    : m_folder(folder.empty() ? "." : std::move(folder)), m_privateNames(std::move(privateNames)) {}

platform::CUniqueFd CConfinedFolder::OpenFile(std::string_view name) const {
  const std::optional<std::vector<std::string>> parts = NameParts(name);
  if (!parts) return {};
  // The folder itself is the operator's choice and may be reached through links.
  platform::CUniqueFd folder(::open(m_folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  for (size_t i = 0; folder && i + 1 < parts->size(); ++i) {
    folder.Reset(::openat(folder.Get(), (*parts)[i].c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  }
  if (!folder || IsPrivate(folder.Get(), parts->back())) return {};
  // Non-blocking, so that a pipe put in the folder cannot hold the open.
  platform::CUniqueFd file(
      ::openat(folder.Get(), parts->back().c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  struct stat info {};
  if (!file || ::fstat(file.Get(), &info) != 0 || !S_ISREG(info.st_mode)) return {};
  return file;
}

bool CConfinedFolder::IsPrivate(int folder, std::string_view fileName) const {
  struct stat opened {};
  if (::fstat(folder, &opened) != 0) return true;
  for (const PrivateName& name : m_privateNames) {
    struct stat privateFolder {};
    // Looked at on every open: a folder made later (the account folder at
    // the first registration) is private all the same.
    if (::stat(name.folder.c_str(), &privateFolder) == 0 && SameInode(opened, privateFolder) &&
        fileName.substr(0, name.namePrefix.size()) == name.namePrefix) {
      return true;
    }
  }
  return false;
}
