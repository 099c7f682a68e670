// Password change against the account files, and password recovery without
// a peer node (from the security data kept in the account files), through
// the real server.
#include <gtest/gtest.h>

#include <thread>

#include "accounts/password_hash.h"
#include "html/page.h"
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
  EXPECT_EQ(answer.rfind(kStandardHead + "<HTML><head>" + std::string(PageHead()) + "<title>聊天天地</title></head>\n<BODY>",
                         0),
            0u)
      << answer;
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

// Recovery on a node of its own: registration keeps the security data with
// the account, and both recovery steps answer from it at once.
class Recovery : public PasswordChange {
 protected:
  void SetUp() override { ASSERT_TRUE(m_server.Start()); }
  static std::string Field(const std::string& name, const std::string& value) {
    return "&" + name + "=" + UrlEncode(value);
  }
  std::string Register(const std::string& name, const std::string& security) {
    return HttpPost(Port(), "/register", "username=" + name + "&password=Secret" + security);
  }
  std::string Question(const std::string& name) { return HttpPost(Port(), "/Modify_Second", "username=" + name); }
  std::string Recover(const std::string& email, const std::string& birthday, const std::string& answer,
                      const std::string& password) {
    return HttpPost(Port(), "/changepass2",
                    "username=Tom" + Field("email", email) + Field("birthday", birthday) + Field("answer", answer) +
                        Field("password", password));
  }
};

const std::string kQuestion = "我的猫叫什么?";
const std::string kAnswer = "咪咪";

TEST_F(Recovery, RegisteredSecurityDataRecoversTheAccount) {
  const std::string security = Field("email", "tom@example.com") + Field("birthday", "1990-01-02") +
                               Field("question", kQuestion) + Field("answer", kAnswer);
  ASSERT_NE(Register("tom", security).find("注册成功"), std::string::npos);
  const std::string account = Account();
  EXPECT_EQ(account.find(kAnswer), std::string::npos) << "the answer is kept as its hash";
  const std::string answerLine = account.substr(account.rfind('\n', account.size() - 2) + 1);
  EXPECT_TRUE(VerifyPassword(answerLine.substr(0, answerLine.size() - 1), kAnswer)) << account;
  EXPECT_TRUE(LogsOn("Secret"));

  // The question comes at once (no peer is asked), with the recovery form.
  const auto asked = Clock::now();
  const std::string form = Question("Tom");
  EXPECT_LT(Clock::now() - asked, 3s);
  EXPECT_NE(form.find("<form name=\"modify\" method=\"POST\" action=\"/changepass2\">"
                      "<input TYPE=\"hidden\" name=\"username\" value=\"Tom\">"),
            std::string::npos)
      << form;
  EXPECT_NE(form.find("name size=\"12\" value=\"" + kQuestion + "\">"), std::string::npos) << form;

  const std::string wrong = TemplateAlone("wronganswer.html");
  struct Case {
    std::string email, birthday, answer, password;
  } refused[] = {
      {"tom@example.com", "1990-01-02", "狗狗", "Fresh1"},
      {"tom@example.com", "1990-01-02", "", "Fresh1"},
      {"other@example.com", "1990-01-02", kAnswer, "Fresh1"},
      {"tom@example.com", "1990-1-2", kAnswer, "Fresh1"},
      {"tom@example.com", "1990-01-02", kAnswer, ""},
      {"tom@example.com", "1990-01-02", kAnswer, std::string(79, 'p')},
  };
  // Taken after the logon above, which stamps the account with its time.
  const std::string beforeRefusals = Account();
  for (const Case& c : refused) {
    EXPECT_EQ(Recover(c.email, c.birthday, c.answer, c.password), wrong) << c.email << " " << c.answer;
  }
  EXPECT_EQ(Account(), beforeRefusals) << "a refused recovery leaves the account as it was";

  const std::string recovered = Recover("tom@example.com", "1990-01-02", kAnswer, "Fresh1");
  EXPECT_NE(recovered.find("<BODY bgcolor=\"#E8E8E8\" background='/image/01.gif' bgproperties=\"fixed\">"),
            std::string::npos)
      << recovered;
  EXPECT_NE(recovered.find(kChanged), std::string::npos) << recovered;
  EXPECT_TRUE(LogsOn("Fresh1"));
  EXPECT_FALSE(LogsOn("Secret"));
  EXPECT_NE(Question("tom").find(kQuestion), std::string::npos) << "the security data stays with the account";
}

// Accounts from before (three lines) and accounts registered without a
// question and answer cannot recover; they are told so at once.
TEST_F(Recovery, AnAccountWithoutSecurityDataCannotRecover) {
  ASSERT_NE(Register("ann", Field("email", "ann@example.com")).find("注册成功"), std::string::npos);
  m_server.Dir().Write("users/tom", "Secret\n1000\n9.9.9.9\n");
  const std::string nouser = TemplateAlone("nouser.html");
  for (const std::string name : {"tom", "ann", "nobody", "..%2Ftom"}) {
    const auto asked = Clock::now();
    EXPECT_EQ(Question(name), nouser) << name;
    EXPECT_LT(Clock::now() - asked, 3s) << name;
  }
  EXPECT_EQ(Recover("", "", "", "Fresh1"), TemplateAlone("wronganswer.html"));
  EXPECT_EQ(Account(), "Secret\n1000\n9.9.9.9\n");
  EXPECT_TRUE(LogsOn("Secret"));
}

TEST_F(Recovery, RegistrationRefusesSecurityDataItCannotKeep) {
  const std::string form = TemplateAlone("register.html");
  const std::string tooLongQuestion(50, 'q');  // the recovery form shows 49 bytes
  const std::string tooLongField(79, 'e');
  const std::string refused[] = {
      Field("question", kQuestion),
      Field("answer", kAnswer),
      Field("question", tooLongQuestion) + Field("answer", kAnswer),
      Field("question", kQuestion) + Field("answer", tooLongField),
      Field("email", tooLongField),
      Field("birthday", "1990\n01") + Field("question", kQuestion) + Field("answer", kAnswer),
      Field("email", "a\x05" "b"),
  };
  for (const std::string& security : refused) EXPECT_EQ(Register("tom", security), form) << security;
  EXPECT_FALSE(LogsOn("Secret")) << "no account was made";
  const std::string fits = Field("question", std::string(49, 'q')) + Field("answer", std::string(78, 'a'));
  EXPECT_NE(Register("tom", fits).find("注册成功"), std::string::npos);
}

}  // namespace
