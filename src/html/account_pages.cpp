#include "html/account_pages.h"

#include "foundation/settings.h"
#include "html/escape.h"

namespace {
constexpr const char* kMessageTable =
    "<table bgcolor=#e9f8fe align=\"center\" height=\"300\" border=\"0\" cellpadding=\"0\" cellspacing=\"0\" "
    "width=\"704\">";
constexpr const char* kMessageTableEnd =
    "</td></tr><tr><td width=\"100%\" align=\"center\"><br><br><br><br></td></tr></table>\r\n";
constexpr const char* kBannerRow =
    "<tr><td width=\"100%\" align=\"center\"><img src=\"image/bt.gif\" width=\"380\" height=\"40\"></td></tr>";

// The line of both password pages, in bold red, with its way back to logging on.
void AppendPasswordChangedLine(CPage& page) {
  page.Append("<tr><td width=\"100%\" align=\"center\"><font color=\"#FF0000\"><b><p>",
              "修改口令成功，请[<A HREF=\"/logon.html\" TARGET=\"_top\">", "返回</A>]登录</p>", "</b></font>");
}

// The recovery form's table takes the whole width of a narrow screen.
constexpr const char* kRecoveryFormNarrowStyle =
    "<style type=\"text/css\">@media (max-width:600px){table{width:100%!important}}</style>";

// One row of the recovery form: its label and a text field.
void AppendRecoveryField(CPage& page, const char* label, const char* name) {
  page.Append("<tr><td width=\"45%\" align=\"right\">", label, "</td><td><input type=\"text\" name=\"", name,
              "\" size=\"12\"></td></tr>");
}
}  // namespace

void WritePostLogonFrameset(CPage& page, const std::string& sessionId) {
  const std::string session = EscapeAttribute(EscapeUrlComponent(sessionId));
  page.Append("<HTML><head>");
  page.WritePageHead();
  page.Append("<title>", GetSetting("general", "name"),
              "</title></head>\n<frameset border=\"0\" frameborder=\"0\" framespacing=\"0\" rows=\"100%,*\">\n<frame "
              "name=\"roomlist\" src=\"/roomlist?rn=%cf%b5%cd%b3&session=",
              session, "\" marginwidth=\"0\"><frame src=\"/space?session=", session,
              "\" name=\"space\" marginwidth=\"0\"  scrolling=\"no\">\n<noframes></noframes></frameset>\n</html>\n");
  page.WriteBodyEnd();
}

namespace {

// The site's message page around a message: its head, title, the message
// table opened with its first row; then the table closed and the tail.
void BeginMessagePage(CPage& page, const char* firstRow) {
  page.WriteHeader(kNoCache);
  page.Append("<HTML><head>");
  page.WritePageHead();
  page.Append("<title>", GetSetting("general", "name"), "</title></head>\n", "<BODY>");
  page.IncludeFile("title.html");
  page.Append(kMessageTable, firstRow);
}

void EndMessagePage(CPage& page) {
  page.Append(kMessageTableEnd);
  page.IncludeFile("tail.html");
  page.WriteBodyEnd();
}

}  // namespace

void WriteRegistrationResultPage(CPage& page, RegistrationOutcome outcome, bool withBanner) {
  BeginMessagePage(page, withBanner ? kBannerRow : "<tr></tr>");
  page.Append("<tr><td width=\"100%\" align=\"center\"><p>");
  if (outcome == RegistrationOutcome::kCreated) {
    page.Append("<font color=\"#FF0000\"><b>注册成功，请返回</b></font>", "[<A HREF=\"/logon.html\" TARGET=\"_top\">",
                "登录</A>]</p>\r\n");
  } else {
    page.Append("<font color=\"#FF0000\">", kNameTakenText, "，</font>", "请[<A HREF=\"/register.html\" TARGET=\"_top\">",
                "返回</A>]重新注册</p>");
  }
  EndMessagePage(page);
}

void WritePasswordChangedPage(CPage& page) {
  BeginMessagePage(page, "<tr></tr>");
  AppendPasswordChangedLine(page);
  EndMessagePage(page);
}

void WriteRecoveryForm(CPage& page, const std::string& name, const std::string& question) {
  page.WriteHeader(kNoCache);
  page.Append("<html><head>");
  page.WritePageHead();
  page.Append("<title>修改口令之二</title>", kRecoveryFormNarrowStyle, "</head><body bgcolor=\"#CFB4F1\">", "<p align=\"center\">　</p>",
              "<p align=\"center\"><font face=\"黑体\" size=\"6\" color=\"#B3563E\">修改口令之二</font></p>",
              "<p align=\"center\">　</p>",
              "<p align=\"center\"><font color=\"#FF0000\"><strong><em>请输入下列全部信息</em></strong></font></p>",
              "<form name=\"modify\" method=\"POST\" action=\"/changepass2\">");
  // The name and the question come from users: quoted and escaped.
  page.Append("<input TYPE=\"hidden\" name=\"username\" value=\"", EscapeAttribute(name), "\">",
              "<div align=\"center\"><table border=\"0\" width=\"38%\">");
  AppendRecoveryField(page, "Email:", "email");
  AppendRecoveryField(page, "出生日期:", "birthday");
  page.Append("<tr><td width=\"45%\" align=\"right\">提示问题:</td><td>",
              "<input type=\"text\" name size=\"12\" value=\"", EscapeAttribute(question), "\"></td></tr>");
  AppendRecoveryField(page, "回答:", "answer");
  AppendRecoveryField(page, "修改后的口令:", "password");
  page.Append("</table><p><input type=\"submit\" value=\"确定\" name=\"B1\"> ",
              "<input type=\"reset\" value=\"重填\" name=\"B2\"></p>", "</div></form>\t</body>\t</html>");
  page.WriteBodyEnd();
}

void WritePasswordRecoveredPage(CPage& page) {
  page.WriteHeader(kNoCache);
  page.Append("<HTML><head>");
  page.WritePageHead();
  page.Append("<title>", GetSetting("general", "name"), "</title></head>\n",
              "<BODY bgcolor=\"#E8E8E8\" background='/image/01.gif' bgproperties=\"fixed\">",
              "<table width=\"100%\" border=\"0\" cellpadding=\"0\" cellspacing=\"0\">", kBannerRow);
  AppendPasswordChangedLine(page);
  page.Append("</td></tr><tr><td width=\"100%\" align=\"center\"><br><br><br><br><img border=\"0\" "
              "src=\"image/bq.gif\" width=\"250\" height=\"25\"></td></tr></table>\r\n");
  page.WriteBodyEnd();
}

void WriteInvalidSessionNotice(CPage& page) {
  page.Append("<HTML><HEAD>");
  page.WritePageHead();
  page.Append("<TITLE></TITLE></HEAD>", "<BODY>");
  page.IncludeFile("title.html");
  page.Append(
      "<table bgcolor=#e9f8fe align=\"center\" height=\"300\" border=\"0\" cellpadding=\"0\" cellspacing=\"0\" "
      "width=\"704\"><tr></tr><tr><td width=\"100%\" align=\"center\" align=\"center\"><br><br><br><font "
      "color=\"#FF0000\"><b>",
      kInvalidSessionText, "</font><br><br>请重新[<A HREF=\"/logon.html\" TARGET=\"_top\">",
      "登录</A>]</p>", kMessageTableEnd);
  page.IncludeFile("tail.html");
  page.WriteBodyEnd();
}

void WriteBlankPage(CPage& page) {
  if (page.Empty()) page.WriteBlank();
}
