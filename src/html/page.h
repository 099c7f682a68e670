// A page in the making, and the pieces every page shares: the HTTP head of
// an HTML answer, the title and body frame, and template files from the
// document directory ([Path] current), read through the file cache.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/file_cache.h"
#include "foundation/text_buffer.h"

// Every HTML answer names its character set: without it a browser guesses
// windows-1252 and every Chinese title and line turns to nonsense.
inline constexpr const char* kHtmlHead = "HTTP/1.0 200 OK\r\nContent-type: text/html; charset=gb2312\r\n";
// The same inside a page, for a page kept or passed on without its HTTP head.
inline constexpr const char* kCharsetMeta = "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=gb2312\">\r\n";
inline constexpr const char* kNoCache = "Pragma: no-cache\r\n";
inline constexpr const char* kGifContentType = "image/gif";

// The site's files: the document directory and the cache that reads it.
// Only regular files below the directory are read, never through a
// symbolic link and never a private one (see foundation/confined_folder.h).
class CSiteFiles {
 public:
  // An empty directory stands for the working directory.
  explicit CSiteFiles(std::string documentDirectory, std::vector<PrivateName> privateNames = {});
  // The file below the document directory; null when there is none.
  std::shared_ptr<const CachedFile> Read(const std::string& name) const;

 private:
  mutable CFileCache m_cache;
};

// What the head of every generated page carries: the character set, the
// viewport that lets a phone lay the page out at its own width, and the
// sizes an eye and a finger need on a touch screen (the desktop look
// unchanged).
std::string_view PageHead();

// A name that contains ".gif" names a picture, sent as it is, never a template.
bool IsPictureName(const std::string& name);

// Appends the template file (each piece followed by "\r\n"); a picture's
// name appends nothing. True when a file was read.
bool IncludeFile(const CSiteFiles& site, const std::string& name, CTextBuffer& target);

// How a typed answer goes out.
enum class AnswerForm {
  // An HTTP/1.1 head with the body's length: the connection may serve the
  // client's next request (the JSON API).
  kKeptConnection,
  // The classic pages' HTTP/1.0 head, without a length: the end of the
  // connection ends the body (the site's pictures).
  kClassic,
  // No answer at all: the connection closes without a word (a picture that
  // is missing).
  kNothing,
};

// An answer that is no HTML page made here (the JSON API's, a picture): its
// status, content type and body, or a file of the site sent as it is. The
// connection writes its head (http/typed_answer.h). Set, it is the answer,
// whatever text the page holds.
struct TypedAnswer {
  int status = 200;
  std::string contentType;  // empty for an answer without a body (204)
  std::string body;
  std::shared_ptr<const CachedFile> file;  // the body instead, when set
  AnswerForm form = AnswerForm::kKeptConnection;
};

class CPage {
 public:
  explicit CPage(const CSiteFiles& site) : m_site(site) { m_text.SetGrowthStep(4096); }

  CTextBuffer& Text() { return m_text; }
  const CSiteFiles& Site() const { return m_site; }
  bool Empty() const { return m_text.Empty(); }
  void SetTypedAnswer(TypedAnswer answer) { m_typed = std::move(answer); }
  const std::optional<TypedAnswer>& Typed() const { return m_typed; }

  template <class... Texts>
  void Append(const Texts&... texts) {
    m_text.AppendMany(texts...);
  }
  // Appends the template file; a picture's name makes the picture the
  // answer instead (nothing at all when it is missing). True when a
  // template was read.
  bool IncludeFile(const std::string& name);
  // The site's picture of that name is the answer, as it is on disk.
  void AnswerPicture(const std::string& name);

  // "HTTP/1.0 200 OK", the HTML content type, the extra header lines, blank line.
  void WriteHeader(const char* extra);
  // Appends PageHead().
  void WritePageHead();
  // The title and the body tag, with the site's name and colours.
  void writetitle(const char* subtitle, const char* bodyAttributes);
  void WriteBodyEnd();
  // A blank page in the site's background colour (the answer in the
  // hidden "goto" frame).
  void WriteBlank();

 private:
  const CSiteFiles& m_site;
  CTextBuffer m_text;
  std::optional<TypedAnswer> m_typed;
};
