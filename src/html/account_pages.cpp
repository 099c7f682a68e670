#include "html/account_pages.h"

#include "foundation/settings.h"
#include "html/escape.h"

namespace {
constexpr const char* kMessageTable =
    "<table bgcolor=#e9f8fe align=\"center\" height=\"300\" border=\"0\" cellpadding=\"0\" cellspacing=\"0\" "
    "width=\"704\">";
constexpr const char* kMessageTableEnd =
    "</td></tr><tr><td width=\"100%\" align=\"center\"><br><br><br><br></td></tr></table>\r\n";
}  // namespace

void WritePostLogonFrameset(CPage& page, const std::string& sessionId) {
  const std::string session = EscapeAttribute(EscapeUrlComponent(sessionId));
  page.Append("<HTML><head><title>", GetSetting("general", "name"),
              "</title></head>\n<frameset border=\"0\" frameborder=\"0\" framespacing=\"0\" rows=\"100%,*\">\n<frame "
              "name=\"roomlist\" src=\"/roomlist?rn=%cf%b5%cd%b3&session=",
              session, "\" marginwidth=\"0\"><frame src=\"/space?session=", session,
              "\" name=\"space\" marginwidth=\"0\"  scrolling=\"no\">\n<noframes></noframes></frameset>\n</html>\n");
  page.WriteBodyEnd();
}

void WriteRegistrationResultPage(CPage& page, RegistrationOutcome outcome, bool withBanner) {
  page.WriteHeader(kNoCache);
  page.Append("<HTML><head><title>", GetSetting("general", "name"), "</title></head>\n", "<BODY>");
  page.IncludeFile("title.html");
  page.Append(kMessageTable,
              withBanner ? "<tr><td width=\"100%\" align=\"center\"><img src=\"image/bt.gif\" width=\"380\" "
                           "height=\"40\"></td></tr>"
                         : "<tr></tr>",
              "<tr><td width=\"100%\" align=\"center\"><p>");
  if (outcome == RegistrationOutcome::kCreated) {
    page.Append("<font color=\"#FF0000\"><b>注册成功，请返回</b></font>", "[<A HREF=\"/logon.html\" TARGET=\"_top\">",
                "登录</A>]</p>\r\n");
  } else {
    page.Append("<font color=\"#FF0000\">对不起，名字已经被用，</font>", "请[<A HREF=\"/register.html\" TARGET=\"_top\">",
                "返回</A>]重新注册</p>");
  }
  page.Append(kMessageTableEnd);
  page.IncludeFile("tail.html");
  page.WriteBodyEnd();
}

void WriteInvalidSessionNotice(CPage& page) {
  page.Append("<HTML><HEAD><TITLE></TITLE></HEAD>", "<BODY>");
  page.IncludeFile("title.html");
  page.Append(
      "<table bgcolor=#e9f8fe align=\"center\" height=\"300\" border=\"0\" cellpadding=\"0\" cellspacing=\"0\" "
      "width=\"704\"><tr></tr><tr><td width=\"100%\" align=\"center\" align=\"center\"><br><br><br><font "
      "color=\"#FF0000\"><b>对不起，您的登录已经信息无效</font><br><br>请重新[<A HREF=\"/logon.html\" "
      "TARGET=\"_top\">",
      "登录</A>]</p>", kMessageTableEnd);
  page.IncludeFile("tail.html");
  page.WriteBodyEnd();
}

void WriteBlankPage(CPage& page) {
  if (!page.Empty()) return;
  page.Append("<HTML><HEAD><TITLE></TITLE></HEAD><BODY bgcolor=#", GetSetting("general", "bgcolor"), ">");
  page.WriteBodyEnd();
}
