#include "html/frame_pages.h"

#include <array>
#include <cstdio>

#include "chat/chat_core.h"
#include "foundation/settings.h"
#include "html/escape.h"
#include "html/room_tables.h"

namespace {

constexpr size_t kNodeDigitsLimit = 59;

struct Option {
  const char* value;
  const char* label;
};

const std::array<Option, 36> kExpressions = {{
    {kFormDefaultSays, "无表情"}, {"很高兴的说", "高兴"},       {"微微笑的说", "微微笑"},
    {"哈!哈!哈!的笑着说", "大笑叁声"}, {"毛手毛脚的说", "毛手毛脚"}, {"胡言乱语的说", "胡言乱语"},
    {"嘟着嘴的说", "嘟嘴"},       {"快要哭的说", "快要哭"},     {"拳打脚踢的说", "拳打脚踢"},
    {"不怀好意的说", "不怀好意"}, {"遗憾的说", "遗憾"},         {"瞪大了眼睛,很讶异的说", "讶异"},
    {"幸福的说", "幸福"},         {"翻箱倒柜的说", "翻箱倒柜"}, {"悲伤的说", "悲伤"},
    {"钦佩的说", "钦佩"},         {"流口水的说", "流口水"},     {"正气凛然的说", "正气凛然"},
    {"生气的说", "生气"},         {"大声的说", "大声"},         {"傻乎乎的说", "傻乎乎"},
    {"很满足的说", "很满足"},     {"手足无措的说", "手足无措"}, {"不好意思的说", "不好意思"},
    {"很无辜的说", "很无辜"},     {"手舞足蹈的说", "手舞足蹈"}, {"羞愧的说", "羞愧"},
    {"咬牙切齿的说", "咬牙切齿"}, {"柔情似水的说", "柔情似水"}, {"喃喃自语的说", "喃喃自语"},
    {"恶狠狠的瞪着眼说", "瞪眼"}, {"快要吐的说", "想吐"},       {"不舒服的说", "不舒服"},
    {"无精打采的说", "无精打采"}, {"依依不舍的说", "依依不舍"}, {"吐白沫着说", "白沫"},
}};

const std::array<Option, 23> kColours = {{
    {kFormDefaultColour, "纯正蓝色"}, {"00ff00", "纯正绿色"}, {"ff0000", "纯正红色"}, {"000000", "绝对黑色"},
    {"432dbf", "草原之蓝"}, {"e95ccd", "彩旗飘飘"}, {"4a007b", "深蓝忧郁"}, {"d90f84", "爱的暗示"},
    {"fe9420", "黄金岁月"}, {"b52b0a", "暗夜兴奋"}, {"247b2f", "橄榄树绿"}, {"a714de", "发亮蓝紫"},
    {"873f86", "紫的拘谨"}, {"ffa4d0", "紫金绣帖"}, {"696969", "伦敦灰雾"}, {"e20314", "正宗喜红"},
    {"99a0fe", "兴份过蓝"}, {"4a007b", "深蓝忧郁"}, {"006ddb", "海洋之蓝"}, {"39c63d", "卡布其诺"},
    {"9b7b40", "卡其制服"}, {"ffc659", "我不知道"}, {"316484", "灰蓝种族"},
}};

const std::array<const char*, 7> kListCategories = {"全部", "系统", "情感", "娱乐", "体育", "技术", "其它"};

constexpr size_t kSessionIdCopyLimit = 39;

// The session's room, found by its id: every page but the keep-alive needs it.
std::optional<RoomView> RoomOf(CChatCore& core, const SessionView& session, bool withMembers = false) {
  return core.FindRoomById(session.roomId, withMembers);
}

// The outer layout: four nested framesets, the picture frame and the start
// of the advertisement frame, whose address ends in "?id=" and the node id.
constexpr const char* kFramesetOpening =
    "<frameset border=\"0\" frameborder=\"0\" framespacing=\"0\" rows=\"*,56\">\n"
    "<frameset border=\"0\" frameborder=\"0\" framespacing=\"0\" cols=\"*,150\">\n"
    "<frameset border=\"0\" frameborder=\"0\" framespacing=\"0\" rows=\"44,*\">\n"
    "<frameset border=\"0\" frameborder=\"0\" framespacing=\"0\" cols=\"*,468\">\n"
    "<frame name=\"picture\" src=\"/picture.html\" marginwidth=\"0\" marginheight=\"0\" scrolling=\"no\">\n"
    "<frame name=\"advert\" marginwidth=\"0\" marginheight=\"0\" scrolling=\"no\" src=\"/advert.html?id=";

// On a narrow screen (a phone) the chat keeps its frames but lays them out
// for it: the advertisement gives way, the online list narrows, and the form
// gets the height its controls need at a finger's size; on a touch screen of
// any width the form gets that height too. The frameset's rows and columns
// are set once the frames are there, and again when the window turns.
constexpr const char* kFramesetFit =
    "<script language=\"JavaScript\"><!--\r\n"
    "function fitFrames(){var f=document.getElementsByTagName('frameset');if(f.length<4||!window.matchMedia)return;\r\n"
    "var phone=matchMedia('(max-width:600px)').matches,touch=matchMedia('(pointer:coarse)').matches;\r\n"
    "f[0].rows=phone?'*,176':touch?'*,100':'*,56';f[1].cols=phone?'*,104':'*,150';"
    "f[3].cols=phone?'*,0':'*,468';}\r\n"
    "document.addEventListener('DOMContentLoaded',fitFrames);window.addEventListener('resize',fitFrames);\r\n"
    "// --></script>";

// The form on a touch screen: the line being typed and its send button come
// first, every control wraps to the frame's width, and links are a finger high.
constexpr const char* kFormTouchStyle =
    "@media (pointer:coarse){td{white-space:normal!important}table,tbody,tr,td{display:block}"
    "tbody{display:flex;flex-direction:column-reverse}form{margin:0}"
    "td,form[name=mainform]{display:flex;flex-wrap:wrap;align-items:center;gap:2px 4px}"
    "input[name=messagetemp]{order:-2;flex:1 1 calc(100% - 80px);min-width:0}#submit1{order:-1;min-width:64px}"
    "a{display:inline-block;line-height:32px}}";

// The online list on a touch screen: each name a finger high.
constexpr const char* kOnlineTouchStyle = "@media (pointer:coarse){a{display:inline-block;line-height:32px}}";

constexpr const char* kMessageScript =
    "<script language='JavaScript'>\r\n<!--\r\nvar autoScrollOn = 1;\r\nvar scrollOnFunction;\r\nvar "
    "scrollOffFunction;\r\nfunction scrollWindow() {\r\nif (autoScrollOn == 1) {\r\nthis.scroll(0, "
    "65000);\r\nsetTimeout('scrollWindow()', 200);\r\n}\r\n}\r\nfunction scrollOn() {\r\nautoScrollOn = "
    "1;\r\nscrollWindow();\r\n}\r\nfunction scrollOff() {\r\nautoScrollOn = 0;\r\n}\r\nfunction StartUp() "
    "{\r\nthis.onblur  = scrollOnFunction;\r\nthis.onfocus = scrollOffFunction;\r\nscrollWindow();\r\n}\r\n"
    "scrollOnFunction = new Function('scrollOn( )')\r\nscrollOffFunction = new Function('scrollOff( )')\r\n"
    "StartUp();\r\n// -->\r\n</SCRIPT>\r\n";

constexpr const char* kFormScript =
    "<script language=\"JavaScript\">\r\n"
    "function checksays(){\r\n"
    "document.mainform.message.value='';\r\n"
    "if(checkempty(document.mainform.messagetemp.value)==false){document.mainform.messagetemp.value='';"
    "document.mainform.messagetemp.focus();return false;}\r\n"
    "document.mainform.addsays.value=document.object.addsays.options[document.object.addsays.selectedIndex]."
    "value;\r\n"
    "document.mainform.UserAction.value=document.object.UserAction.value;\r\n"
    "document.mainform.towho.value=document.object.towho.value;\r\n"
    "document.mainform.message.value=document.mainform.messagetemp.value;\r\n"
    "document.mainform.messagetemp.value='';\r\n"
    "window.status='谈话已送出';\r\n"
    "document.mainform.submit();\r\n"
    "return false;}\r\n"
    "function checkempty(str){for(var i=0;i<str.length;i++){if(str.charAt(i)!=' '&&str.charAt(i)!='')return "
    "true;}return false;}\r\n"
    "var scrolling = false;\r\n"
    "function lastwd(){document.mainform.messagetemp.value=document.mainform.message.value;"
    "document.mainform.messagetemp.focus();}\r\n"
    "function scrollit(){if(parent.messages.autoScrollOn==1){parent.messages.autoScrollOn=0;"
    "document.object.checkbox1.checked=false;}else{parent.messages.autoScrollOn=1;"
    "document.object.checkbox1.checked=true;parent.messages.StartUp();}}\r\n"
    "function submit1_onclick(){}\r\n"
    "</script>\r\n";

}  // namespace

std::string NodeIdDigits(const std::string& nodeId) {
  std::string digits;
  for (char byte : nodeId) {
    char value[8];
    std::snprintf(value, sizeof value, "%d", static_cast<int>(static_cast<signed char>(byte)));
    if (digits.size() + std::string_view(value).size() > kNodeDigitsLimit) break;
    digits += value;
  }
  return digits;
}

void DoFrameSet(CPage& page, CChatCore& core, const SessionView& session) {
  const std::optional<RoomView> room = RoomOf(core, session);
  if (!room) return;
  const std::string s = EscapeAttribute(EscapeUrlComponent(session.id));
  const std::string r = EscapeAttribute(EscapeUrlComponent(session.roomName));
  page.WriteHeader(kNoCache);
  page.Append("<HTML><head>");
  page.WritePageHead();
  page.Append(
      "<title>", EscapeText(room->name),
      "</title><script language=\"JavaScript\"><!--\r\nfunction choose(str){\r\nthis.form.document.mainform.towho."
      "value = str;\r\nthis.form.document.object.towho.value = str;\r\nthis.form.document.mainform.messagetemp."
      "focus();}\r\n// --></script>",
      kFramesetFit, "</head>\n", kFramesetOpening, NodeIdDigits(core.NodeId()), "\"></frameset>",
      "\n<frame name=\"messages\" marginheight=\"1\" src=\"/messages?session=", s, "&RoomName=", r,
      "\"></frameset>\n<frame src=\"/online?session=", s, "&RoomName=", r,
      "\" name=\"online\" marginwidth=\"0\"  scrolling=\"auto\">\n</frameset>\n<frameset border=\"0\" "
      "frameborder=\"0\" framespacing=\"0\" cols=\"*,100%\">\n<frame src=\"/goto?session=",
      s, "&RoomName=", r, "\" name=\"goto\" marginwidth=\"0\" scrolling=\"no\">\n<frame name=\"form\" "
      "src=\"/mainform?&session=", s, "&RoomName=", r,
      "\" marginwidth=\"0\" scrolling=\"auto\">\n</frameset><noframes>\n<BODY></BODY></noframes></frameset>"
      "</html>\n");
  page.WriteBodyEnd();
}

void DoMessage(CPage& page, CChatCore& core, const SessionView& session, int framed) {
  if (framed != kFramed) return;
  const std::optional<RoomView> room = RoomOf(core, session);
  if (!room) return;
  const std::string& background = room->background;
  page.Append(kHtmlHead, "\r\n", "<HTML><head>");
  page.WritePageHead();
  page.Append(
      "<title>look</title><STYLE type=text/css>"
      "body{font-family:宋体;font-size:11pt;line-height:15pt}select{font-size:10.5pt}"
      "a{font-size:11pt}a:hover{color:#ff0000;text-decoration:none}",
      "</style>\r\n</head>\r\n", kMessageScript, "<BODY  background='/image/",
      background.empty() ? "other.gif" : EscapeAttribute(background),
      "' bgproperties=\"fixed\"><!--This is a comment.--><P>\r\n<br>", GetSetting("text", "MSG_WELCOME"));
  if (!session.approved) {
    page.Append(
        "<font color=#000077>系统: ", kNotApprovedText,
        "<br>没获批准前除了不能聊天各种命令均可用，也可以跳转到其它聊天室</font><br>");
  }
}

void DoOnline(CPage& page, CChatCore& core, const SessionView& session) {
  const std::optional<RoomView> room = RoomOf(core, session);
  if (!room) return;
  const std::string s = EscapeUrlComponent(session.id);
  page.Append(kHtmlHead, "\r\n", "<html><head>");
  page.WritePageHead();
  page.Append(
      "</head><META HTTP-EQUIV='refresh' CONTENT='68 URL=\"/online?session=", s,
      "\"'>\r\n<style type=\"text/css\"><!--",
      "body,select,a{font-family:宋体;font-size:9pt}a{text-decoration:none}a:hover{text-decoration:underline;"
      "color:#FF0000}", kOnlineTouchStyle,
      "--></style><BODY  bgcolor=#", GetSetting("general", "bgcolor1"),
      " link=\"blue\" vlink=\"blue\"><br><center><font color=", GetSetting("general", "color1"), " size=4><strong>",
      EscapeText(room->name), "</strong></font><br></center></font><center><font size=2>[<em>在线",
      std::to_string(room->memberCount),
      "人</em>]</font></center><br><center><A href=\"/online?session=", s,
      "\"><font size=2 color=\"#ff0000\">[刷新名单]</font></a></center><br>\r\n&nbsp;[<a "
      "href=\"javascript:parent.choose('大家');\" target=form><font color=red>全部</font></a>]<br>\r\n");
  CTextBuffer people;
  if (const std::optional<RoomView> named = core.FindRoom(session.roomName, true)) {
    OnlineToBuffer(people, *named, core.NodeLink().On());
  }
  page.Append(people.View(), "<hr><p>&nbsp;</p></body></html>");
}

void DoMainForm(CPage& page, CChatCore& core, const SessionView& session, int framed, bool posted) {
  const std::string s = EscapeUrlComponent(session.id.substr(0, kSessionIdCopyLimit));
  if (s.empty()) return;
  const std::optional<RoomView> room = RoomOf(core, session);
  if (!room) return;
  if (posted) {
    page.WriteHeader(kNoCache);
    page.WriteBlank();
    return;
  }
  std::string links;
  std::string action;
  if (framed == kFramed) {
    page.WriteHeader(kNoCache);
    links = "/goto?session=" + s + "&RoomName=" + EscapeUrlComponent(room->name);
    action = "/mainform";
  } else {
    links = "/noframes?session=" + s;
    action = "/noframes";
  }
  page.Append("<html><head>");
  page.WritePageHead();
  page.Append("<title>type</title>", kFormScript,
                  "<style type=\"text/css\">body,select{font-family:宋体;font-size:8pt}"
                  "A {text-decoration: none; color: #",
                  GetSetting("general", "color4"), "; font-size: 8pt}A:hover {color: #",
                  GetSetting("general", "color5"), "; font-size: 9pt}", kFormTouchStyle, "</style>",
                  "</head><body bgcolor=",
                  GetSetting("general", "bgcolor"), " text=", GetSetting("general", "textcolor"), ">",
                  "<div align=\"center\"><TABLE border=\"0\" cellpadding=\"0\" cellspacing=\"0\">"
                  "<TR><form name=\"object\"><TD nowrap><b>",
                  EscapeText(session.name),
                  "</b>对<input type=\"text\" name=\"towho\" size=\"10\" maxLength=\"20\" value=\"大家\" "
                  "readonly> 动作:<input type=\"text\" name=\"UserAction\" size=\"8\" maxlength=\"40\"> "
                  "表情:<select name=\"addsays\">");
  for (const Option& option : kExpressions) {
    page.Append("<option value=\"", option.value, "\">", option.label, "</option>");
  }
  page.Append(
      "</select> <input type=\"checkbox\" name=\"checkbox1\" checked onclick=\"scrollit()\">滚屏 ");
  for (const char* category : kListCategories) {
    page.Append("<A HREF=\"", links, "&message=/list%20", category, "\" TARGET=\"goto\">[", category, "]</A>");
  }
  page.Append("</TD></form></TR><TR><TD nowrap>", "<FORM NAME=mainform ACTION=\"", action,
                  "\" METHOD=POST onsubmit='return(checksays());' TARGET=\"", "goto",
                  "\">\n<INPUT TYPE=\"hidden\" name=\"session\" value=\"", EscapeAttribute(session.id.substr(0, kSessionIdCopyLimit)),
                  "\"><INPUT TYPE=\"hidden\" name=\"towho\"><INPUT TYPE=\"hidden\" name=\"addsays\">"
                  "<INPUT TYPE=\"hidden\" name=\"UserAction\">颜色:<select name=\"addwordcolor\">");
  for (const Option& option : kColours) {
    page.Append("<option value=\"", option.value, "\" style=\"color:#", option.value, "\">", option.label,
                    "</option>");
  }
  page.Append(
      "</select><input type=\"checkbox\" name=\"towhoway\" value=\"private\">密谈"
      "<INPUT TYPE=\"hidden\" name=\"message\"><input type=\"button\" value=\"&gt;&gt;\" onclick=\"lastwd()\">"
      "<input type=\"text\" name=\"messagetemp\" size=\"38\" maxlength=\"80\">"
      "<INPUT TYPE=\"hidden\" name=\"UserName\" value=\"",
      EscapeAttribute(session.name), "\"><INPUT TYPE=\"hidden\" name=\"RoomName\" value=\"", EscapeAttribute(room->name),
      "\"><input type=\"submit\" value=\"发 言\" id=\"submit1\" name=\"submit1\" "
      "onclick=\"return submit1_onclick()\"> ",
      "<A HREF=\"", links, "&message=/users\" TARGET=\"goto\">[", GetSetting("text", "MSG_USERS"), "]</A>",
      "<A HREF=\"", links, "&message=/MLIST\" TARGET=\"goto\">[管理员]</A>", "<A HREF=\"", links,
      "&message=/help\" TARGET=\"goto\">[", GetSetting("text", "MSG_HELP"), "]</A>",
      "<A HREF=\"/logout?session=", s, "\" TARGET=\"_top\">[", GetSetting("text", "MSG_LOGOUT"), "]</A>",
      "</TD></form></TR></TABLE>\r\n</div></body>\r\n<script Language='JavaScript'>\r\n"
      "document.mainform.messagetemp.focus();\r\n</script>\r\n</html>\n");
}

void DoFramelessPage(CPage& page, CChatCore& core, const SessionView& session, bool posted) {
  page.WriteHeader(kNoCache);
  page.writetitle(nullptr, "");
  DoMainForm(page, core, session, kFrameless, posted);
  page.Append("<HR>");
  DoMessage(page, core, session, kFrameless);
  page.WriteBodyEnd();
}

void DoSpace(CPage& page, const SessionView& session) {
  page.WriteHeader(kNoCache);
  page.Append(
      "<HTML><head>", kCharsetMeta, "<title>",
      GetSetting("general", "name"), "</title></head>\n", "<BODY BGCOLOR=#22ffff>",
      "<META HTTP-EQUIV=\"Refresh\" CONTENT=\"70; URL=/space?session=", EscapeAttribute(EscapeUrlComponent(session.id)), "\">");
  page.WriteBodyEnd();
}
