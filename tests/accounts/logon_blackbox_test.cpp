// Logon and registration against the real server.
#include <gtest/gtest.h>

#include <future>
#include <regex>
#include <thread>

#include "accounts/password_hash.h"
#include "html/page.h"
#include "support/http_client.h"
#include "support/server_process.h"
#include "support/site_files.h"

namespace {
using namespace std::chrono_literals;

class AccountsServer : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(m_server.Start()); }
  int Port() { return m_server.HttpPort(); }
  std::string Site(const std::string& name) { return ReadWholeFile(m_server.Dir().File("htdocs/" + name)); }
  std::string TemplateAlone(const std::string& name) { return kStandardHead + AsTemplate(Site(name)); }
  std::string Register(const std::string& name, const std::string& password, const std::string& path = "/register") {
    return HttpPost(Port(), path, "username=" + UrlEncode(name) + "&password=" + UrlEncode(password));
  }
  std::string LogOn(const std::string& name, const std::string& password) {
    return HttpPost(Port(), "/logon", "username=" + UrlEncode(name) + "&password=" + UrlEncode(password));
  }
  static std::string SessionOf(const std::string& frameset) {
    std::smatch match;
    return std::regex_search(frameset, match, std::regex("session=([0-9a-z]+)")) ? match[1].str() : "";
  }

  ServerProcess m_server;
};

TEST_F(AccountsServer, RegistrationNameRules) {
  const std::string created = "注册成功，请返回";
  struct Case {
    std::string name;
    std::string password;
    std::string answer;  // a template name, or "created"
  } cases[] = {
      {"", "pw", "register.html"},
      {"tom", "", "register.html"},
      {"a b", "pw", "include.html"},
      {"a#b", "pw", "include.html"},
      {"a+b", "pw", "created"},
      {"大家", "pw", "include.html"},
      {"大家好", "pw", "created"},
      {"★星", "pw", "include.html"},
      {"☆", "pw", "include.html"},
      {"a:b", "pw", "include.html"},
      {"../x", "pw", "include.html"},
      {std::string(20, 'n'), "pw", "created"},
      {std::string(21, 'n'), "pw", "nametoolong.html"},
      {std::string(20, 'n') + " ", "pw", "include.html"},
      {"longpass", std::string(79, 'p'), "register.html"},
  };
  for (const Case& c : cases) {
    const std::string answer = Register(c.name, c.password);
    if (c.answer == "created") {
      EXPECT_NE(answer.find(created), std::string::npos) << c.name;
      EXPECT_EQ(answer.rfind(kStandardHead, 0), 0u) << c.name;
    } else {
      EXPECT_EQ(answer, TemplateAlone(c.answer)) << c.name << " -> " << c.answer;
    }
  }
}

TEST_F(AccountsServer, TakenNameLeavesTheAccountAlone) {
  EXPECT_NE(Register("Tom", "first").find("注册成功"), std::string::npos);
  const std::string before = m_server.Dir().Read("users/tom");
  const std::string taken = Register("tom", "second", "/hyutyuy");
  EXPECT_NE(taken.find("对不起，名字已经被用，"), std::string::npos);
  EXPECT_NE(taken.find("请[<A HREF=\"/register.html\" TARGET=\"_top\">返回</A>]重新注册</p>"), std::string::npos);
  EXPECT_EQ(m_server.Dir().Read("users/tom"), before);
}

TEST_F(AccountsServer, LogonGivesThePostLogonFramesetAndRewritesTheAccount) {
  Register("tom", "secret");
  m_server.Dir().Write("users/tom", "secret\n1000\n9.9.9.9\n");
  const std::string answer = LogOn("TOM", "secret");
  const std::string id = SessionOf(answer);
  ASSERT_GE(id.size(), 2u) << answer;
  EXPECT_EQ(answer, kStandardHead + "<HTML><head>" + std::string(PageHead()) +
                        "<title>聊天天地</title></head>\n<frameset border=\"0\" frameborder=\"0\" "
                        "framespacing=\"0\" rows=\"100%,*\">\n<frame name=\"roomlist\" "
                        "src=\"/roomlist?rn=%cf%b5%cd%b3&session=" +
                        id + "\" marginwidth=\"0\"><frame src=\"/space?session=" + id +
                        "\" name=\"space\" marginwidth=\"0\"  scrolling=\"no\">\n<noframes></noframes></frameset>\n"
                        "</html>\n</BODY></HTML>\n\n");
  const std::string account = m_server.Dir().Read("users/tom");
  EXPECT_TRUE(VerifyPassword(account.substr(0, account.find('\n')), "secret"))
      << "the clear password was replaced by its hash: " << account;
  EXPECT_EQ(account.find("\n1000\n"), std::string::npos);
  EXPECT_EQ(account.substr(account.size() - 10), "127.0.0.1\n");

  // The keep-alive frame answers for the session; logging out ends it.
  const std::string space = HttpGet(Port(), "/space?session=" + id);
  EXPECT_NE(space.find("CONTENT=\"70; URL=/space?session=" + id + "\">"), std::string::npos) << space;
  EXPECT_EQ(HttpGet(Port(), "/logout?session=" + id), TemplateAlone("logon.html"));
  EXPECT_EQ(HttpGet(Port(), "/space?session=" + id), kStandardHead) << "no user: a static file that is not there";
}

TEST_F(AccountsServer, WrongPasswordOrNoAccountGetsNameError) {
  Register("tom", "secret");
  const std::string before = m_server.Dir().Read("users/tom");
  EXPECT_EQ(LogOn("tom", "wrong"), TemplateAlone("nameerror.html"));
  EXPECT_EQ(LogOn("nobody", "pw"), TemplateAlone("nameerror.html"));
  EXPECT_EQ(m_server.Dir().Read("users/tom"), before);
}

TEST_F(AccountsServer, RefusedNamesGetTheLogonPage) {
  for (const std::string name : {"", "a b", "a\tb", "a:b", "a<b", "a>b", "a'b", "a\x7f", "a\xff"}) {
    const std::string answer = LogOn(name, "pw");
    EXPECT_EQ(answer.rfind(kStandardHead + "<HTML><head><meta http-equiv=\"Content-Type\"", 0), 0u) << name;
    EXPECT_NE(answer.find("ACTION=\"logon\""), std::string::npos) << name;
  }
  const std::string page = HttpGet(Port(), "/logon");
  EXPECT_NE(page.find("<a href=\"/logon?rn=其它\">其 他</a>"), std::string::npos);
  EXPECT_NE(page.find("类聊天室(<font color=#ff0000 size=2>暂无</font>)"), std::string::npos)
      << "no category: the empty category lists nothing";
  EXPECT_EQ(page.find("ACTION=\"newroom\""), std::string::npos);
}

TEST_F(AccountsServer, RoomListForGuestsAndUsers) {
  const std::string guest = HttpGet(Port(), "/logon?rn=" + UrlEncode("系统"));
  EXPECT_NE(guest.find("\">大厅<br><select"), std::string::npos) << "bare names for visitors";
  EXPECT_EQ(guest.find("popwin('/Blank"), std::string::npos);
  EXPECT_NE(guest.find(AsTemplate(Site("tail.html")) + "</BODY></HTML>\n\n"), std::string::npos);

  Register("tom", "pw");
  const std::string id = SessionOf(LogOn("tom", "pw"));
  const std::string user = HttpGet(Port(), "/roomlist?rn=" + UrlEncode("系统") + "&session=" + id);
  EXPECT_NE(user.find("popwin('/Blank?session=" + id + "&message=/join%20"), std::string::npos);
  EXPECT_NE(user.find("<a href=\"/roomlist?rn=其它&session=" + id + "\"><font color=#800080>其 它</font></a>"),
            std::string::npos);
  EXPECT_NE(user.find("<input type=\"hidden\" name=\"session\" value=\"" + id + "\">"), std::string::npos);
  EXPECT_NE(user.find(AsTemplate(Site("title.html"))), std::string::npos);
}

TEST_F(AccountsServer, RoomCreationAnswers) {
  Register("tom", "pw");
  const std::string id = SessionOf(LogOn("tom", "pw"));
  auto create = [&](const std::string& name, const std::string& category) {
    return HttpPost(Port(), "/newroom", "rn=" + UrlEncode(name) + "&tp=" + UrlEncode(category) + "&session=" + id);
  };
  const std::string made = create("Den", "系统");
  EXPECT_NE(made.find("系统: 创建聊天室成功,请点[<a href=\"javascript:popwin('/Blank?session=" + id +
                      "&message=/join%20Den','" + id + "')\">这里</A>]进入</font>"),
            std::string::npos)
      << made;
  const std::string others = HttpGet(Port(), "/roomlist?rn=" + UrlEncode("其它") + "&session=" + id);
  EXPECT_NE(others.find(">Den</a>"), std::string::npos) << "created in 其它, not 系统";
  EXPECT_NE(create("den", "").find("系统: 聊天室已经存在。"), std::string::npos);
  EXPECT_NE(create("十五个汉字正好是三十个字节长度", "情感").find("创建聊天室成功"), std::string::npos);
  EXPECT_EQ(create("三十一个字节的名字超过了限制呀!", "情感"), TemplateAlone("error_cr2.html"));
  EXPECT_EQ(create("a&" + std::string(40, 'b'), "情感"), TemplateAlone("error_cr1.html"));
  for (const std::string bad : {"", "a b", "a;b", "a'b", "a#b", "a%b"}) {
    EXPECT_EQ(create(bad, "情感"), TemplateAlone("error_cr1.html")) << bad;
  }
}

TEST_F(AccountsServer, UserSearch) {
  const std::string none = HttpGet(Port(), "/find?fun=" + UrlEncode("<b>nobody"));
  EXPECT_NE(none.find("查找((b)nobody)结果:<font color=#ff0000 size=2>(无)</font>"), std::string::npos) << none;
  EXPECT_EQ(none.rfind(kStandardHead + std::string(PageHead()) + AsTemplate(Site("title.html")), 0), 0u);
  EXPECT_EQ(none.substr(none.size() - 21), "</form></body></html>");
}

TEST(NodeLinkLogon, WithoutAPeerLogonAndRegistrationFail) {
  ServerProcess server("[general]\nifconnect = 1\n");
  ASSERT_TRUE(server.Start());
  using Clock = std::chrono::steady_clock;
  // A worker waiting for a peer serves nothing else meanwhile, so the
  // registration starts once a worker has taken the logon.
  const auto logonStart = Clock::now();
  auto logon = std::async(std::launch::async, [&] {
    const std::string answer = Exchange(
        server.HttpPort(), "POST /logon HTTP/1.0\r\nContent-Length: 24\r\n\r\nusername=tom&password=pw", 40s);
    return std::make_pair(answer, Clock::now() - logonStart);
  });
  std::this_thread::sleep_for(500ms);
  const auto registerStart = Clock::now();
  const std::string registered = Exchange(
      server.HttpPort(), "POST /register HTTP/1.0\r\nContent-Length: 24\r\n\r\nusername=tom&password=pw", 40s);
  const auto registerTime = Clock::now() - registerStart;
  const auto [logonAnswer, logonTime] = logon.get();
  const std::string htdocs = server.Dir().File("htdocs/");
  EXPECT_EQ(logonAnswer, kStandardHead + AsTemplate(ReadWholeFile(htdocs + "error.html")));
  EXPECT_GE(logonTime, 19s);
  EXPECT_LT(logonTime, 25s);
  EXPECT_EQ(registered, kStandardHead + AsTemplate(ReadWholeFile(htdocs + "errorr.html")));
  EXPECT_GE(registerTime, 9s);
  EXPECT_LT(registerTime, 15s);
}

}  // namespace
