// Password change against the account files, and password recovery without
// a peer node, through the real server.
#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "accounts/password_hash.h"
#include "support/http_client.h"
#include "support/server_process.h"
#include "support/site_files.h"

namespace {
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

const std::string kChanged = "修改口令成功，请[<A HREF=\"/logon.html\" TARGET=\"_top\">返回</A>]登录</p>";

class PasswordChange : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_server.Start());
    ASSERT_NE(HttpPost(Port(), "/register", "username=tom&password=Secret").find("注册成功"), std::string::npos);
  }
  int Port() { return m_server.HttpPort(); }
  std::string TemplateAlone(const std::string& name) {
    return kStandardHead + AsTemplate(ReadWholeFile(m_server.Dir().File("htdocs/" + name)));
  }
  std::string Account() { return m_server.Dir().Read("users/tom"); }
  std::string Change(const std::string& body) { return HttpPost(Port(), "/changepassword", body); }
  bool LogsOn(const std::string& password) {
    const std::string answer = HttpPost(Port(), "/logon", "username=tom&password=" + password);
    return answer.find("<frameset") != std::string::npos;
  }

  ServerProcess m_server;
};

TEST_F(PasswordChange, RefusalsLeaveTheAccountAsItWas) {
  const std::string before = Account();
  const std::string tooLong = std::string(79, 'p');
  struct Case {
    std::string body;
    std::string answer;
  } cases[] = {
      {"", "changepassword.html"},
      {"username=&password=Secret&password2=new&password3=new", "changepassword.html"},
      {"username=tom&password2=new&password3=new", "changepassword.html"},
      {"username=tom&password=Secret&password3=new", "changepassword.html"},
      {"username=tom&password=Secret&password2=new", "changepassword.html"},
      {"username=tom&password=Secret&password2=NewPw&password3=newpw", "passwdx2.html"},
      {"username=tom&password=secret&password2=new&password3=new", "passwrong.html"},
      {"username=nobody&password=Secret&password2=new&password3=new", "passwrong.html"},
      {"username=..%2Ftom&password=Secret&password2=new&password3=new", "passwrong.html"},
      {"username=tom&password=Secret&password2=" + tooLong + "&password3=" + tooLong, "changepassword.html"},
  };
  for (const Case& c : cases) EXPECT_EQ(Change(c.body), TemplateAlone(c.answer)) << c.body;
  EXPECT_EQ(Account(), before);
  EXPECT_TRUE(LogsOn("Secret"));
}

TEST_F(PasswordChange, TheRightOldPasswordStoresTheNewOnesHash) {
  // An account written before hashing, by another address long ago.
  m_server.Dir().Write("users/tom", "Secret\n1000\n9.9.9.9\n");
  const std::string answer = Change("username=Tom&password=Secret&password2=Fresh1&password3=Fresh1");
  EXPECT_EQ(answer.rfind(kStandardHead + "<HTML><head><title>聊天天地</title></head>\n<BODY>", 0), 0u) << answer;
  EXPECT_NE(answer.find(kChanged), std::string::npos) << answer;
  EXPECT_NE(answer.find(AsTemplate(ReadWholeFile(m_server.Dir().File("htdocs/tail.html"))) + "</BODY></HTML>"),
            std::string::npos);

  const std::string account = Account();
  const size_t firstEnd = account.find('\n');
  EXPECT_TRUE(VerifyPassword(account.substr(0, firstEnd), "Fresh1")) << account;
  EXPECT_EQ(account.find("\n1000\n"), std::string::npos) << "stamped with the time of the change";
  EXPECT_EQ(account.substr(account.rfind('\n', account.size() - 2) + 1), "127.0.0.1\n");
  EXPECT_TRUE(LogsOn("Fresh1"));
  EXPECT_FALSE(LogsOn("Secret"));
}

TEST(PasswordRecovery, EmptyNameGetsTheFirstStepsForm) {
  ServerProcess server;
  ASSERT_TRUE(server.Start());
  const std::string first = kStandardHead + AsTemplate(ReadWholeFile(server.Dir().File("htdocs/motify_First.html")));
  EXPECT_EQ(HttpPost(server.HttpPort(), "/Modify_Second", "username="), first);
  EXPECT_EQ(HttpPost(server.HttpPort(), "/changepass2", "email=a%40b&answer=x&password=new"), first);
}

// The security data lives only with the peer nodes: with the node link off
// both steps still ask, and give up after three sends. Both wait at once,
// on a server with one event loop: a waiting page holds no thread.
TEST(PasswordRecovery, WithoutAPeerBothStepsGiveUpAfterTenSeconds) {
  ServerProcess server("[network]\nloops = 1\n");
  ASSERT_TRUE(server.Start());
  const int port = server.HttpPort();
  auto timed = [port](const std::string& path, const std::string& body) {
    return std::async(std::launch::async, [=] {
      const auto start = Clock::now();
      const std::string answer = Exchange(port,
                                          "POST " + path + " HTTP/1.0\r\nContent-Length: " +
                                              std::to_string(body.size()) + "\r\n\r\n" + body,
                                          30s);
      return std::make_pair(answer, Clock::now() - start);
    });
  };
  auto question = timed("/Modify_Second", "username=tom");
  auto recovery = timed("/changepass2", "username=tom&email=t%40x&birthday=1990&answer=cat&password=new");
  const std::string errorc = kStandardHead + AsTemplate(ReadWholeFile(server.Dir().File("htdocs/errorc.html")));
  for (auto* step : {&question, &recovery}) {
    const auto [answer, took] = step->get();
    EXPECT_EQ(answer, errorc);
    EXPECT_GE(took, 9s);
    EXPECT_LT(took, 15s);
  }
}

}  // namespace
