#include "html/page.h"

#include "foundation/settings.h"
#include "foundation/text.h"

namespace {

constexpr const char* kViewportMeta = "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\r\n";
// On a touch screen text reads at 16 px and every control is a finger's
// height (16 px also keeps a phone from zooming into a field it focuses);
// on a narrow screen the site's 704-pixel tables shrink to its width.
constexpr const char* kTouchStyle =
    "<style type=\"text/css\">"
    "@media (pointer:coarse){body,td,p,a,font[size=\"1\"],font[size=\"2\"],input,select,textarea,button"
    "{font-size:16px!important}input,select,button{min-height:32px}"
    "input[type=checkbox],input[type=radio]{width:32px;height:32px;vertical-align:middle}}"
    "@media (max-width:720px){table[width=\"704\"],td[width=\"704\"]{width:100%!important}img,select{max-width:100%}}"
    "</style>\r\n";

}  // namespace

CSiteFiles::CSiteFiles(std::string documentDirectory, std::vector<PrivateName> privateNames)
    : m_cache(CConfinedFolder(std::move(documentDirectory), std::move(privateNames))) {}

std::shared_ptr<const CachedFile> CSiteFiles::Read(const std::string& name) const { return m_cache.Get(name); }

bool IsPictureName(const std::string& name) { return Contains(name, ".gif"); }

bool IncludeFile(const CSiteFiles& site, const std::string& name, CTextBuffer& target) {
  if (name.empty() || IsPictureName(name)) return false;
  const std::shared_ptr<const CachedFile> file = site.Read(name);
  if (!file) return false;
  target.Append(file->templateText);
  return true;
}

bool CPage::IncludeFile(const std::string& name) {
  if (!IsPictureName(name)) return ::IncludeFile(m_site, name, m_text);
  AnswerPicture(name);
  return false;
}

void CPage::AnswerPicture(const std::string& name) {
  TypedAnswer picture;
  picture.file = m_site.Read(name);
  picture.form = picture.file ? AnswerForm::kClassic : AnswerForm::kNothing;
  picture.contentType = kGifContentType;
  m_typed = std::move(picture);
}

void CPage::WriteHeader(const char* extra) {
  m_text.AppendMany(kHtmlHead, extra != nullptr ? extra : "", "\r\n");
}

std::string_view PageHead() {
  static const std::string head = std::string(kCharsetMeta) + kViewportMeta + kTouchStyle;
  return head;
}

void CPage::WritePageHead() { m_text.Append(PageHead()); }

void CPage::writetitle(const char* subtitle, const char* bodyAttributes) {
  m_text.AppendString("<HTML><HEAD>");
  WritePageHead();
  m_text.AppendMany("<TITLE>", GetSetting("general", "name"));
  if (subtitle != nullptr) m_text.AppendMany(" - ", subtitle);
  m_text.AppendMany("</TITLE></HEAD><BODY BGCOLOR=\"", GetSetting("general", "bgcolor"), "\" ", " text=",
                    GetSetting("general", "textcolor"), bodyAttributes != nullptr ? bodyAttributes : "", ">\n");
}

void CPage::WriteBodyEnd() { m_text.AppendString("</BODY></HTML>\n\n"); }

void CPage::WriteBlank() {
  m_text.AppendMany("<HTML><HEAD>", kCharsetMeta, "<TITLE></TITLE></HEAD><BODY bgcolor=#", GetSetting("general", "bgcolor"),
                    ">");
  WriteBodyEnd();
}
