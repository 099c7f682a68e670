#include "html/page.h"

#include "foundation/settings.h"
#include "foundation/text.h"
#include "platform/console.h"

CSiteFiles::CSiteFiles(std::string documentDirectory, std::vector<PrivateName> privateNames)
    : m_cache(CConfinedFolder(std::move(documentDirectory), std::move(privateNames))) {}

std::shared_ptr<const CachedFile> CSiteFiles::Read(const std::string& name) const { return m_cache.Get(name); }

bool IncludeFile(const CSiteFiles& site, const std::string& name, CTextBuffer& target, bool* gifMarked) {
  if (name.empty()) return false;
  if (Contains(name, ".gif")) {
    target.AppendMany(kGifMarker, name, "=");
    if (gifMarked != nullptr) *gifMarked = true;
    return false;
  }
  const std::shared_ptr<const CachedFile> file = site.Read(name);
  if (!file) return false;
  target.Append(file->templateText);
  return true;
}

void CPage::WriteHeader(const char* extra) {
  try {
    m_text.AppendMany(kHtmlHead, extra != nullptr ? extra : "", "\r\n");
  } catch (...) {
    platform::ConsoleWrite("catch in write header\n");
  }
}

void CPage::writetitle(const char* subtitle, const char* bodyAttributes) {
  try {
    m_text.AppendMany("<HTML><HEAD><TITLE>", GetSetting("general", "name"));
    if (subtitle != nullptr) m_text.AppendMany(" - ", subtitle);
    m_text.AppendMany("</TITLE></HEAD><BODY BGCOLOR=\"", GetSetting("general", "bgcolor"), "\" ", " text=",
                      GetSetting("general", "textcolor"), bodyAttributes != nullptr ? bodyAttributes : "", ">\n");
  } catch (...) {
    platform::ConsoleWrite("catch in writetitle\n");
  }
}

void CPage::WriteBodyEnd() { m_text.AppendString("</BODY></HTML>\n\n"); }
