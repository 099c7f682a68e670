#include "http/page_shell.h"

#include "foundation/file.h"
#include "foundation/settings.h"
#include "foundation/text.h"
#include "http/client_connection.h"
#include "platform/console.h"

std::string DocumentPath(const std::string& name) {
  const char* directory = GetSetting("Path", "current");
  std::string path(*directory != '\0' ? directory : ".");
  path.append("/").append(name);
  return path;
}

bool IncludeFile(const std::string& name, CTextBuffer& target, bool* gifMarked) {
  if (name.empty()) return false;
  if (Contains(name, ".gif")) {
    target.AppendMany(kGifMarker, name, "=");
    if (gifMarked != nullptr) *gifMarked = true;
    return false;
  }
  UniqueFile file = OpenFile(DocumentPath(name), "rb");
  if (!file) return false;
  std::string piece;
  while (ReadTextPiece(file.get(), piece, kTemplatePiece)) target.AppendMany(piece, "\r\n");
  return true;
}

void CClientConnection::WriteHeader(const char* extra) {
  try {
    m_buffer.AppendMany(kHtmlHead, extra != nullptr ? extra : "", "\r\n");
  } catch (...) {
    platform::ConsoleWrite("catch in write header\n");
  }
}

void CClientConnection::writetitle(const char* subtitle, const char* bodyAttributes) {
  try {
    m_buffer.AppendMany("<HTML><HEAD><TITLE>", GetSetting("general", "name"));
    if (subtitle != nullptr) m_buffer.AppendMany(" - ", subtitle);
    m_buffer.AppendMany("</TITLE></HEAD><BODY BGCOLOR=\"", GetSetting("general", "bgcolor"), "\" ", " text=",
                        GetSetting("general", "textcolor"), bodyAttributes != nullptr ? bodyAttributes : "", ">\n");
  } catch (...) {
    platform::ConsoleWrite("catch in writetitle\n");
  }
}

void CClientConnection::WriteBodyEnd() { m_buffer.AppendString("</BODY></HTML>\n\n"); }

bool CClientConnection::IncludeFile(const std::string& name) { return ::IncludeFile(name, m_buffer, &m_gifMarked); }
