#include "html/as_is_files.h"

#include <array>

namespace {

struct FileType {
  std::string_view extension;
  std::string_view mediaType;
  bool text;  // text carries the folder's character set
};

constexpr std::array<FileType, 10> kFileTypes = {{
    {".html", "text/html", true},
    {".css", "text/css", true},
    {".js", "text/javascript", true},
    {".json", "application/json", true},
    {".webmanifest", "application/manifest+json", true},
    {".svg", "image/svg+xml", true},
    {".png", "image/png", false},
    {".gif", "image/gif", false},
    {".ico", "image/x-icon", false},
    {".txt", "text/plain", true},
}};

constexpr const char* kIndexPage = "index.html";
constexpr const char* kNotFoundText = "not found\n";

bool InAppFolder(std::string_view name) {
  return name.starts_with(kAppFolder) && name.size() > kAppFolder.size() && name[kAppFolder.size()] == '/';
}

const FileType* TypeOf(std::string_view name) {
  for (const FileType& type : kFileTypes) {
    if (name.ends_with(type.extension)) return &type;
  }
  return nullptr;
}

}  // namespace

std::string AsIsFileName(std::string_view name) {
  if (name == kAppFolder) return std::string(name) + "/" + kIndexPage;
  if (InAppFolder(name) && name.ends_with('/')) return std::string(name) + kIndexPage;
  return std::string(name);
}

std::optional<std::string> AsIsContentType(std::string_view name) {
  const FileType* type = TypeOf(name);
  const bool inApp = InAppFolder(name);
  // Outside the client's folder only style sheets and scripts leave the
  // template path: every classic page, picture and text stays as it was.
  if (!inApp && (type == nullptr || (type->extension != ".css" && type->extension != ".js"))) return std::nullopt;
  if (type == nullptr) return std::string("application/octet-stream");
  if (!type->text) return std::string(type->mediaType);
  return std::string(type->mediaType) + (inApp ? "; charset=utf-8" : "; charset=gb2312");
}

std::optional<TypedAnswer> AsIsFileAnswer(const CSiteFiles& site, std::string_view name) {
  const std::string fileName = AsIsFileName(name);
  std::optional<std::string> contentType = AsIsContentType(fileName);
  if (!contentType) return std::nullopt;
  const std::shared_ptr<const CachedFile> file = site.Read(fileName);
  if (!file) return TypedAnswer{404, "text/plain; charset=utf-8", kNotFoundText};
  return TypedAnswer{200, std::move(*contentType), file->bytes};
}
