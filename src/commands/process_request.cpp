// ProcessRequest: every parsed request passes through here once. The
// message step (chat lines and commands of a known user) comes first, then
// the page step answers the path.
#include "commands/process_request.h"

#include "foundation/text.h"
#include "http/client_connection.h"
#include "http/page_shell.h"
#include "http/request_form.h"
#include "http/routes.h"
#include "platform/console.h"

inline constexpr size_t kStaticNameLimit = 599;

std::string StaticFileName(const std::string& path) {
  if (path == "/") return "logon.html";
  const std::string upper = AsciiUpper(path);
  if (Contains(upper, "USERS") || Contains(upper, ".INI") || Contains(path, "..")) return "logon.html";
  return path.substr(1, kStaticNameLimit);
}

void WriteInvalidSessionNotice(CClientConnection& connection) {
  CTextBuffer& page = connection.Response();
  page.AppendMany("<HTML><HEAD><TITLE></TITLE></HEAD>", "<BODY>");
  connection.IncludeFile("title.html");
  page.AppendMany(
      "<table bgcolor=#e9f8fe align=\"center\" height=\"300\" border=\"0\" cellpadding=\"0\" cellspacing=\"0\" "
      "width=\"704\"><tr></tr><tr><td width=\"100%\" align=\"center\" align=\"center\"><br><br><br><font "
      "color=\"#FF0000\"><b>对不起，您的登录已经信息无效</font><br><br>请重新[<A HREF=\"/logon.html\" "
      "TARGET=\"_top\">",
      "登录</A>]</p>",
      "</td></tr><tr><td width=\"100%\" align=\"center\"><br><br><br><br></td></tr></table>\r\n");
  connection.IncludeFile("tail.html");
  connection.WriteBodyEnd();
}

namespace {

void ServeStaticFile(CClientConnection& connection, const std::string& path) {
  connection.WriteHeader(kNoCache);
  connection.IncludeFile(StaticFileName(path.empty() ? "/" : path));
}

// The page step for a request that names no known user.
void AnswerWithoutUser(CClientConnection& connection, const CRequestForm& form, int route) {
  switch (route) {
    case kRouteLogon:
    case kRouteNewAccount:
    case kRouteChangePassword:
    case kRouteModifySecond:
    case kRouteChangePass2:
    case kRouteRegister:
    case kRouteFind:
      // The account and search pages are not built yet: no answer.
      break;
    case kRouteGoto:
    case kRouteBlank:
      WriteInvalidSessionNotice(connection);
      break;
    default:
      ServeStaticFile(connection, form.Path().value_or("/"));
      break;
  }
}

}  // namespace

void CClientConnection::ProcessRequest() {
  try {
    CRequestForm form;
    form.Parse(m_path ? m_path->c_str() : nullptr, m_queryOrBody ? m_queryOrBody->c_str() : nullptr);
    AnswerWithoutUser(*this, form, GetRouteCode(form.Path()));
  } catch (...) {
    platform::ConsoleWrite("catch in ProcessRequest\n");
  }
}
