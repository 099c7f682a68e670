// ProcessRequest: every parsed request passes through here once. The
// message step (chat lines and commands of a known user) comes first, then
// the page step answers the path.
#include "commands/process_request.h"

#include "accounts/logon.h"
#include "accounts/registration.h"
#include "chat/room_events.h"
#include "commands/command_parser.h"
#include "commands/message_step.h"
#include "commands/speaker.h"
#include "foundation/settings.h"
#include "foundation/text.h"
#include "http/client_connection.h"
#include "http/frame_pages.h"
#include "http/page_shell.h"
#include "http/request_form.h"
#include "http/room_list_page.h"
#include "http/routes.h"
#include "platform/console.h"

inline constexpr size_t kStaticNameLimit = 599;

std::string StaticFileName(const std::string& path) {
  if (path.empty() || path == "/") return "logon.html";
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

void WriteLogonFile(CClientConnection& connection) {
  connection.IncludeFile(GetSetting("files", "logon_html"));
}

// The blank page for the "goto" frame, written only into an empty answer.
void WriteBlankPage(CClientConnection& connection) {
  if (!connection.Response().Empty()) return;
  connection.Response().AppendMany("<HTML><HEAD><TITLE></TITLE></HEAD><BODY bgcolor=#", GetSetting("general", "bgcolor"),
                                   ">");
  connection.WriteBodyEnd();
}

// The page step for a request whose session names a user.
void AnswerWithUser(CClientConnection& connection, const CRequestForm& form, const Speaker& speaker, int route) {
  switch (route) {
    case kRouteLogout:
      DoOut(speaker.session, OwnNodeId());
      WriteLogonFile(connection);
      break;
    case kRouteRoomList:
      DoRoomList(connection, speaker.session, form.FindField("rn"), kLoggedOnMode);
      break;
    case kRouteSpace:
      DoSpace(connection, *speaker.session);
      break;
    case kRouteGoto:
    case kRouteBlank:
      WriteBlankPage(connection);
      break;
    case kRouteNewRoom:
      action_newroom(connection, speaker.session, form.FindField("rn"), form.FindField("tp"));
      break;
    case kRouteFind:
      DoUserSearchPage(connection, form.FindField("fun"));
      break;
    case kRouteMainForm:
      DoMainForm(connection, *speaker.session, kFramed);
      break;
    case kRouteNoFrames:
      DoFramelessPage(connection, *speaker.session);
      break;
    case kRouteMessages:
      DoMessage(connection, *speaker.session, kFramed);
      connection.HandOffAsStream(speaker.session->GetId());
      break;
    case kRouteFrameSet:
      DoFrameSet(connection, *speaker.session);
      break;
    case kRouteOnline:
      DoOnline(connection, *speaker.session);
      break;
    default:
      WriteLogonFile(connection);
      break;
  }
}

void ServeStaticFile(CClientConnection& connection, const std::string& path) {
  connection.WriteHeader(kNoCache);
  connection.IncludeFile(StaticFileName(path.empty() ? "/" : path));
}

// The page step for a request that names no known user.
void AnswerWithoutUser(CClientConnection& connection, const CRequestForm& form, int route) {
  switch (route) {
    case kRouteLogon:
      DoLogon(connection, form);
      break;
    case kRouteNewAccount:
      DoNewAccount(connection, form);
      break;
    case kRouteRegister:
      if (NodeLinkOn()) {
        DoRegister(connection, form);
      } else {
        DoNewAccount(connection, form);
      }
      break;
    case kRouteChangePassword:
    case kRouteModifySecond:
    case kRouteChangePass2:
      // Password change is not built yet: no answer.
      break;
    case kRouteFind:
      DoUserSearchPage(connection, form.FindField("fun"));
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
    Speaker speaker = FindSpeaker(form);
    if (speaker.session) {
      CommandContext context{*this, form, speaker, OwnNodeId()};
      RunMessageStep(context);
    } else if (!form.FindField("session").empty() && ClassifyInput(form.FindField("message")).code == kFind) {
      platform::ConsoleWrite("find2\n");
      DoUserSearchPage(*this, form.FindField("fun"));
    }
    const int route = GetRouteCode(form.Path());
    if (speaker.session) {
      AnswerWithUser(*this, form, speaker, route);
    } else {
      AnswerWithoutUser(*this, form, route);
    }
  } catch (...) {
    platform::ConsoleWrite("catch in ProcessRequest\n");
  }
}
