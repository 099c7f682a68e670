#include "accounts/registration.h"

#include "accounts/node_answer.h"
#include "accounts/user_database.h"
#include "foundation/settings.h"
#include "http/client_connection.h"
#include "http/page_shell.h"
#include "http/request_form.h"
#include "platform/console.h"

namespace {

constexpr const char* kEverybody = "大家";

enum class Outcome { kCreated, kNameTaken };

bool HasBoth(const std::string& name, char first, char second) {
  return name.find(first) != std::string::npos && name.find(second) != std::string::npos;
}

// A password that the account file's 80-byte line reader gives back whole.
bool IsStorablePassword(const std::string& password) {
  return password.size() <= kMaxPasswordLength && password.find_first_of("\r\n") == std::string::npos;
}

void WriteResultPage(CClientConnection& connection, Outcome outcome, bool withBanner) {
  CTextBuffer& page = connection.Response();
  connection.WriteHeader(kNoCache);
  page.AppendMany("<HTML><head><title>", GetSetting("general", "name"), "</title></head>\n", "<BODY>");
  connection.IncludeFile("title.html");
  page.AppendMany(
      "<table bgcolor=#e9f8fe align=\"center\" height=\"300\" border=\"0\" cellpadding=\"0\" cellspacing=\"0\" "
      "width=\"704\">",
      withBanner ? "<tr><td width=\"100%\" align=\"center\"><img src=\"image/bt.gif\" width=\"380\" "
                   "height=\"40\"></td></tr>"
                 : "<tr></tr>",
      "<tr><td width=\"100%\" align=\"center\"><p>");
  if (outcome == Outcome::kCreated) {
    page.AppendMany("<font color=\"#FF0000\"><b>注册成功，请返回</b></font>",
                    "[<A HREF=\"/logon.html\" TARGET=\"_top\">", "登录</A>]</p>\r\n");
  } else {
    page.AppendMany("<font color=\"#FF0000\">对不起，名字已经被用，</font>",
                    "请[<A HREF=\"/register.html\" TARGET=\"_top\">", "返回</A>]重新注册</p>");
  }
  page.AppendString("</td></tr><tr><td width=\"100%\" align=\"center\"><br><br><br><br></td></tr></table>\r\n");
  connection.IncludeFile("tail.html");
  connection.WriteBodyEnd();
}

}  // namespace

bool BreaksNameRules(const std::string& name, NameRules rules) {
  if (name.find_first_of(" \xFF\t\x7F\x80:<>&%'") != std::string::npos) return true;
  if (name.find(rules == NameRules::kLocal ? '#' : '+') != std::string::npos) return true;
  if (HasBoth(name, '\xA1', '\xEF') || HasBoth(name, '\xA1', '\xEE')) return true;
  if (name == kEverybody) return true;
  return rules == NameRules::kLocal && !IsSafeAccountName(name);
}

void DoNewAccount(CClientConnection& connection, const CRequestForm& form) {
  try {
    const std::string& name = form.FindField("username");
    const std::string& password = form.FindField("password");
    if (name.empty() || password.empty() || !IsStorablePassword(password)) {
      connection.IncludeFile("register.html");
      return;
    }
    if (BreaksNameRules(name, NameRules::kLocal)) {
      connection.IncludeFile("include.html");
      return;
    }
    if (name.size() > kMaxUserNameLength) {
      connection.IncludeFile("nametoolong.html");
      return;
    }
    const UserDatabase database(GetSetting("user_database", "directory"));
    const int created = CreateAccount(database, name, password, connection.PeerAddress());
    WriteResultPage(connection, created == 1 ? Outcome::kCreated : Outcome::kNameTaken, false);
  } catch (...) {
    platform::ConsoleWrite("catch in DoNewAccount\n");
  }
}

void DoRegister(CClientConnection& connection, const CRequestForm& form) {
  try {
    const std::string& name = form.FindField("username");
    const std::string& password = form.FindField("password");
    if (name.empty() || BreaksNameRules(name, NameRules::kNodeLink)) {
      connection.IncludeFile("include.html");
      return;
    }
    if (name.size() > kMaxUserNameLength) {
      connection.IncludeFile("nametoolong.html");
      return;
    }
    if (password.empty()) {
      connection.IncludeFile("register.html");
      return;
    }
    const int result = AskNodeAndWait(RecordLayout::kRegister, {{"UN", name}, {"PW", password}}, kRegistrationResends);
    if (result == kNodeAnswerFailed) {
      connection.IncludeFile("errorr.html");
      return;
    }
    WriteResultPage(connection, result == 1 ? Outcome::kCreated : Outcome::kNameTaken, true);
  } catch (...) {
    platform::ConsoleWrite("catch in DoRegister\n");
  }
}
