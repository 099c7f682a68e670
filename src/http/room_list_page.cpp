#include "http/room_list_page.h"

#include <array>

#include "chat/room_events.h"
#include "chat/room_list.h"
#include "foundation/settings.h"
#include "foundation/text.h"
#include "http/client_connection.h"
#include "http/page_shell.h"
#include "platform/console.h"

namespace {

struct Category {
  const char* value;
  const char* loggedOnText;
  const char* logonPageText;
  const char* picture;  // the img attributes after src
};

const std::array<Category, 6> kCategories = {{
    {"系统", "系 统", "系 统", "src=\"image/system.gif\""},
    {"情感", "情 感", "情 感", "src=\"image/sensibility.gif\" width=\"31\" height=\"31\""},
    {"娱乐", "娱 乐", "娱 乐", "src=\"image/amusement.gif\" width=\"32\" height=\"28\""},
    {"体育", "体 育", "体 育", "src=\"image/sport.gif\" width=\"25\" height=\"31\""},
    {"技术", "技 术", "技 术", "src=\"image/tech.gif\" width=\"32\" height=\"32\""},
    {"其它", "其 它", "其 他", "src=\"image/other1.gif\" width=\"32\" height=\"32\""},
}};

constexpr const char* kCheckEmpty =
    "function checkempty(str){for(var i=0;i<str.length;i++){if(str.charAt(i)!=' '&&str.charAt(i)!='')return true;}"
    "return false;}";
constexpr const char* kRoomListStyle =
    "<style type=\"text/css\">body{font-size:9pt;font-family:宋体}td{font-size:10.5pt;font-family:宋体}"
    "a{color:#0000ff;font-size:9pt;text-decoration:none}a:hover{color:#ff0000}</style>";

void WriteScriptTail(CTextBuffer& body, int mode) {
  if (mode == kLoggedOnMode) {
    body.AppendString(
        "function checksays(){if(checkempty(document.login.rn.value)==false){alert('请输入新建聊天室名');return "
        "false;}return true;}");
  } else {
    body.AppendString(
        "function checksays(){if(checkempty(document.login.username.value)==false){alert('请输入昵称');return "
        "false;}if(checkempty(document.login.password.value)==false){alert('请输入口令');return false;}return "
        "true;}");
  }
  body.AppendMany(kCheckEmpty, "</script>", kRoomListStyle, "</head><body>");
}

void WriteCategoryBanner(CTextBuffer& body, int mode, const std::string& session) {
  body.AppendString(
      "<div align=\"center\"><center><table border=\"0\" width=\"704\" cellspacing=\"0\" cellpadding=\"0\">"
      "<tr><td bgcolor=\"#637dbc\" colspan=\"2\" align=\"center\" height=\"24\"><font color=\"#ffffff\"><b>"
      "…分类聊天室…</b></font></td></tr>"
      "<tr align=\"center\"><td bgColor=\"#ffc001\" colSpan=\"2\" height=\"1\" width=\"704\"><img height=\"1\" "
      "src=\"line3.gif\" width=\"200\"></td></tr>"
      "<tr><td colspan=\"2\" align=\"center\"><table border=\"0\" cellspacing=\"6\"><tr>");
  for (const Category& category : kCategories) {
    body.AppendMany("<td align=\"center\"><img ", category.picture, " align=\"absmiddle\"> ");
    if (mode == kLoggedOnMode) {
      body.AppendMany("<a href=\"/roomlist?rn=", category.value, "&session=", session, "\"><font color=#800080>",
                      category.loggedOnText, "</font></a></td>");
    } else {
      body.AppendMany("<a href=\"/logon?rn=", category.value, "\">", category.logonPageText, "</a></td>");
    }
  }
  body.AppendString("</tr>");
}

void WriteLogonForm(CTextBuffer& body) {
  body.AppendString(
      "<tr><td colspan=\"2\" align=\"center\"><table border=\"0\" cellspacing=\"0\" cellpadding=\"4\" "
      "width=\"704\" bgcolor=\"#c4ecff\"><tr><td width=\"8\" background=\"image/side1.gif\"></td><td align=\"center\">"
      "<form name=\"login\" METHOD=\"POST\" target=\"_top\" ACTION=\"logon\" onsubmit=\"return(checksays());\">"
      "注册名: <input type=\"text\" name=\"username\" size=\"11\"> "
      "密 码：<input type=\"password\" name=\"password\" size=\"11\"> "
      "<input type=\"submit\" value=\"进  入\" name=\"B1\"> "
      "[<a href=\"register.html\" target=\"_top\">注册</a>]"
      "</form></td><td width=\"8\" background=\"image/side1.gif\"></td></tr></table></td></tr>"
      "<tr><td colspan=\"2\" bgcolor=\"#637dbc\" height=\"2\"></td></tr>");
}

bool HasRoomNameForbiddenByte(const std::string& name) {
  // Quotes and backslashes would break the join links (javascript
  // popwin('...')) that carry the name.
  return name.find_first_of(" \t:<>;#%&'\"\\\x05\x06") != std::string::npos;
}

}  // namespace

bool IsValidRoomName(const std::string& name) { return !name.empty() && !HasRoomNameForbiddenByte(name); }

void WriteWindowScript(CClientConnection& connection) {
  connection.Response().AppendMany(
      "<script LANGUAGE=javascript>\r\nfunction popwin(str,str1)\r\n",
      "{chat=window.open(str,str1,\"toolbar=no,location=no,directories=no,status=yes,menubar=yes,scrollbars=yes,"
      "resizable=yes\");\r\nchat.moveTo(0,0)\r\n",
      "chat.resizeTo(screen.availWidth,screen.availHeight)\r\nchat.outerWidth=screen.availWidth\r\nchat.outerHeight="
      "screen.availHeight\r\n}\r\n");
}

void DoRoomList(CClientConnection& connection, const SessionPtr& session, const std::string& category, int mode) {
  try {
    const std::string viewer = mode == kLoggedOnMode && session ? session->GetId() : kGuestSession;
    const std::string viewerName = mode == kLoggedOnMode && session ? session->GetName() : kGuestName;
    CTextBuffer body;
    body.SetGrowthStep(4096);
    WriteScriptTail(body, mode);
    if (mode == kLoggedOnMode) IncludeFile("title.html", body);
    WriteCategoryBanner(body, mode, viewer);
    body.AppendString(
        "</table></td></tr><tr align=\"center\"><td bgColor=\"#ffc001\" colSpan=\"2\" height=\"1\" "
        "width=\"704\"><img height=\"1\" src=\"line3.gif\" width=\"200\"></td></tr>");
    if (mode == kLogonPageMode) WriteLogonForm(body);
    body.AppendString("</table></center></div>");
    if (g_roomList) g_roomList->CRoomListToBuffer3(body, viewer, viewerName, category);

    connection.WriteHeader(kNoCache);
    connection.Response().AppendMany(
        "<HTML>", "<head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=gb2312\">\r\n", "<title>",
        GetSetting("general", "name"), "</title>\r\n");
    WriteWindowScript(connection);
    connection.Response().Append(body.View());
    connection.IncludeFile("tail.html");
    connection.WriteBodyEnd();
  } catch (...) {
    platform::ConsoleWrite("catch in DoRoomList\n");
  }
}

void action_newroom(CClientConnection& connection, const SessionPtr& session, const std::string& roomName,
                    const std::string& requestedCategory) {
  try {
    const std::string category =
        requestedCategory.empty() || requestedCategory == kSystemCategory ? kOtherCategory : requestedCategory;
    if (!IsValidRoomName(roomName)) {
      connection.IncludeFile("error_cr1.html");
      return;
    }
    if (roomName.size() > kRoomNameLimit) {
      connection.IncludeFile("error_cr2.html");
      return;
    }
    const int created = CreateRoom(session, roomName, category, OwnNodeId(), true);
    const std::string sessionId = session ? session->GetId().substr(0, kSessionIdCopyLimit) : std::string();
    if (sessionId.empty()) return;
    CTextBuffer& page = connection.Response();
    connection.WriteHeader(kNoCache);
    if (created) {
      connection.IncludeFile("title.html");
      connection.IncludeFile("maintop.html");
      WriteWindowScript(connection);
      page.AppendMany("</script>\r\n", "</head>\n", "<BODY>",
                      "<p align=\"center\"><font size=4>系统: 创建聊天室成功,请点[<a "
                      "href=\"javascript:popwin('/Blank?session=",
                      sessionId, "&message=/join%20", roomName, "','", sessionId, "')\">",
                      "这里</A>]进入</font><br><br><br></p>\r\n");
    } else {
      page.AppendMany("<HTML><head><title>", GetSetting("general", "name"), "</title></head><BODY>",
                      "系统: 聊天室已经存在。");
    }
    connection.IncludeFile("tail.html");
    connection.WriteBodyEnd();
  } catch (...) {
    platform::ConsoleWrite("catch in action_newroom\n");
  }
}

void DoUserSearchPage(CClientConnection& connection, const std::string& name) {
  CTextBuffer& page = connection.Response();
  connection.IncludeFile("title.html");
  connection.IncludeFile("maintop.html");
  page.AppendMany(
      "<form name=\"d\"><table bgcolor=#e9f8fe border=\"0\" width=\"60%\" height=\"40\" align=\"center\"><TR><td "
      "width=\"100%\" align=\"center\"><font color=#000077>查找(",
      CleanUserText(name), ")结果:");
  CTextBuffer found;
  if (g_roomList) g_roomList->CRoomSessionSearchUserByName(found, name, 0);
  if (!found.Empty()) {
    page.Append(found.View());
  } else {
    page.AppendString("<font color=#ff0000 size=2>(无)</font>");
  }
  page.AppendString(
      "</font></TD></TR></table><p align=\"center\"><input type=\"button\" value=\"返回\" "
      "onClick=\"history.back()\"></p>");
  connection.IncludeFile("tail.html");
  page.AppendString("</form></body></html>");
}
