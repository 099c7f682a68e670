#include "html/room_list_page.h"

#include <array>

#include "chat/chat_core.h"
#include "foundation/settings.h"
#include "foundation/text.h"
#include "html/escape.h"
#include "html/room_tables.h"

namespace {

struct Category {
  const char* value;
  const char* loggedOnText;
  const char* logonPageText;
  const char* picture;  // the img attributes after src
};

// The room lists' categories (chat/chat_views.h), in their order.
const std::array<Category, kRoomCategories.size()> kCategories = {{
    {kRoomCategories[0], "系 统", "系 统", "src=\"image/system.gif\""},
    {kRoomCategories[1], "情 感", "情 感", "src=\"image/sensibility.gif\" width=\"31\" height=\"31\""},
    {kRoomCategories[2], "娱 乐", "娱 乐", "src=\"image/amusement.gif\" width=\"32\" height=\"28\""},
    {kRoomCategories[3], "体 育", "体 育", "src=\"image/sport.gif\" width=\"25\" height=\"31\""},
    {kRoomCategories[4], "技 术", "技 术", "src=\"image/tech.gif\" width=\"32\" height=\"32\""},
    {kRoomCategories[5], "其 它", "其 他", "src=\"image/other1.gif\" width=\"32\" height=\"32\""},
}};

constexpr const char* kCheckEmpty =
    "function checkempty(str){for(var i=0;i<str.length;i++){if(str.charAt(i)!=' '&&str.charAt(i)!='')return true;}"
    "return false;}";
// On a narrow screen the categories flow over two lines instead of breaking
// their names, and the rooms' columns share the width.
constexpr const char* kRoomListStyle =
    "<style type=\"text/css\">body{font-size:9pt;font-family:宋体}td{font-size:10.5pt;font-family:宋体}"
    "a{color:#0000ff;font-size:9pt;text-decoration:none}a:hover{color:#ff0000}"
    "@media (max-width:720px){.categories td{display:inline-block;white-space:nowrap}"
    "form[name=ogin] table{table-layout:fixed}}</style>";

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
      "<tr><td colspan=\"2\" align=\"center\"><table class=\"categories\" border=\"0\" cellspacing=\"6\"><tr>");
  for (const Category& category : kCategories) {
    body.AppendMany("<td align=\"center\"><img ", category.picture, " align=\"absmiddle\"> ");
    if (mode == kLoggedOnMode) {
      body.AppendMany("<a href=\"/roomlist?rn=", category.value, "&session=", EscapeAttribute(EscapeUrlComponent(session)),
                      "\"><font color=#800080>",
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

}  // namespace

void WriteWindowScript(CPage& page) {
  page.Append(
      "<script LANGUAGE=javascript>\r\nfunction popwin(str,str1)\r\n",
      "{chat=window.open(str,str1,\"toolbar=no,location=no,directories=no,status=yes,menubar=yes,scrollbars=yes,"
      "resizable=yes\");\r\nchat.moveTo(0,0)\r\n",
      "chat.resizeTo(screen.availWidth,screen.availHeight)\r\nchat.outerWidth=screen.availWidth\r\nchat.outerHeight="
      "screen.availHeight\r\n}\r\n");
}

void DoRoomList(CPage& page, CChatCore& core, const SessionView* session, const std::string& category, int mode) {
  const std::string viewer = mode == kLoggedOnMode && session != nullptr ? session->id : kGuestSession;
  CTextBuffer body;
  body.SetGrowthStep(4096);
  WriteScriptTail(body, mode);
  if (mode == kLoggedOnMode) IncludeFile(page.Site(), "title.html", body);
  WriteCategoryBanner(body, mode, viewer);
  body.AppendString(
      "</table></td></tr><tr align=\"center\"><td bgColor=\"#ffc001\" colSpan=\"2\" height=\"1\" "
      "width=\"704\"><img height=\"1\" src=\"line3.gif\" width=\"200\"></td></tr>");
  if (mode == kLogonPageMode) WriteLogonForm(body);
  body.AppendString("</table></center></div>");
  CRoomListToBuffer3(body, viewer, category, core.RoomsOfCategory(category, true), core.TotalMembers());

  page.WriteHeader(kNoCache);
  page.Append("<HTML>", "<head>");
  page.WritePageHead();
  page.Append("<title>", GetSetting("general", "name"), "</title>\r\n");
  WriteWindowScript(page);
  page.Append(body.View());
  page.IncludeFile("tail.html");
  page.WriteBodyEnd();
}

void WriteRoomCreatedPage(CPage& page, const std::string& sessionId, const std::string& roomName) {
  page.WriteHeader(kNoCache);
  page.WritePageHead();
  page.IncludeFile("title.html");
  page.IncludeFile("maintop.html");
  WriteWindowScript(page);
  page.Append("</script>\r\n", "</head>\n", "<BODY>",
              "<p align=\"center\"><font size=4>系统: 创建聊天室成功,请点[<a "
              "href=\"javascript:popwin('",
              JoinLinkInScript(sessionId, roomName), "','",
              EscapeJsString(sessionId), "')\">", "这里</A>]进入</font><br><br><br></p>\r\n");
  page.IncludeFile("tail.html");
  page.WriteBodyEnd();
}

void WriteRoomNotCreatedPage(CPage& page) {
  page.WriteHeader(kNoCache);
  page.Append("<HTML><head>");
  page.WritePageHead();
  page.Append("<title>", GetSetting("general", "name"), "</title></head><BODY>", "系统: 聊天室已经存在。");
  page.IncludeFile("tail.html");
  page.WriteBodyEnd();
}

void DoUserSearchPage(CPage& page, CChatCore& core, const std::string& name) {
  page.WritePageHead();
  page.IncludeFile("title.html");
  page.IncludeFile("maintop.html");
  page.Append(
      "<form name=\"d\"><table bgcolor=#e9f8fe border=\"0\" width=\"60%\" height=\"40\" align=\"center\"><TR><td "
      "width=\"100%\" align=\"center\"><font color=#000077>查找(",
      EscapeText(CleanUserText(name)), ")结果:");
  const std::string found = SearchResultText(core.SearchUserByName(name), 0);
  page.Append(found.empty() ? std::string("<font color=#ff0000 size=2>(无)</font>") : found);
  page.Append(
      "</font></TD></TR></table><p align=\"center\"><input type=\"button\" value=\"返回\" "
      "onClick=\"history.back()\"></p>");
  page.IncludeFile("tail.html");
  page.Append("</form></body></html>");
}
