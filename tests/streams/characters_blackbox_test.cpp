// Every character a browser sends from a GB2312 page's form, through the
// real server: GBK characters (also those whose trail byte has the value of
// an ASCII character: '\', '|', 'A', '`', '[', 0x80), the euro sign on its
// own byte, and characters outside GBK, which browsers send as numeric
// character references. They register, log on, speak, are spoken to
// privately and are listed online as they came.
#include <gtest/gtest.h>

#include <memory>
#include <regex>
#include <vector>

#include "support/chat_client.h"
#include "support/http_client.h"
#include "support/server_process.h"
#include "support/site_files.h"

namespace {

const std::string kLobby = "大厅";

struct Character {
  const char* what;
  std::string bytes;
  bool inNames;  // the name rules keep 0x80 and '&' out
};

const Character kCharacters[] = {
    {"D5 5C, trail '\\'", "\xD5\x5C", true},
    {"AC 7C, trail '|'", "\xAC\x7C", true},
    {"C8 41, trail 'A'", "\xC8\x41", true},
    {"81 60, trail '`'", "\x81\x60", true},
    {"87 5B, trail '['", "\x87\x5B", true},
    {"82 80, trail 0x80", "\x82\x80", true},
    {"the euro sign, 80", "\x80", false},
    {"an emoji", "&#128512;", false},
    {"an emoji in hex", "&#x1F600;", false},
    {"hangul", "&#54620;", false},
    {"half-width kana", "&#65393;", false},
    {"a typed reference to a GB2312 character", "&#20320;", false},
};

std::string Register(int port, const std::string& name, const std::string& password) {
  return HttpPost(port, "/register", "username=" + UrlEncode(name) + "&password=" + UrlEncode(password));
}

// The session a logon gives; "" when it gives none.
std::string LogOn(int port, const std::string& name, const std::string& password) {
  const std::string frameset =
      HttpPost(port, "/logon", "username=" + UrlEncode(name) + "&password=" + UrlEncode(password));
  std::smatch match;
  return std::regex_search(frameset, match, std::regex("session=([0-9a-z]+)")) ? match[1].str() : std::string();
}

std::string NameLink(const std::string& name) {
  return "<a href=javascript:parent.choose('" + name + "'); target=form><STRONG><font color=ff0000>" + name +
         "</font></STRONG></A>";
}

class Characters : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(m_server.Start()); }

  std::unique_ptr<ChatUser> InLobby(const std::string& name) { return UserInRoom(m_server, name, kLobby); }

  ServerProcess m_server;
};

TEST_F(Characters, ThroughRegistrationLogonLinesPrivateLinesAndTheOnlineList) {
  auto tom = InLobby("tom");
  std::vector<std::unique_ptr<ChatUser>> named;
  for (const Character& c : kCharacters) {
    if (c.inNames) named.push_back(InLobby(c.bytes));
  }

  std::string all;
  for (const Character& c : kCharacters) all += c.bytes;
  tom->Say("all:" + all);
  for (const auto& user : named) {
    const std::string seen = user->WaitFor(all);
    EXPECT_NE(seen.find("<font color=#000000>说: </font>all:" + all + "</font><BR>\n"), std::string::npos)
        << "what " << user->Name() << " saw: " << seen;
  }

  // Each named user says a line, and hears a private line only he hears.
  for (size_t i = 0; i < named.size(); ++i) {
    ChatUser& user = *named[i];
    ChatUser& bystander = *named[(i + 1) % named.size()];
    const std::string& name = user.Name();
    user.Say("from:" + name);
    EXPECT_NE(tom->WaitFor("from:" + name).find(NameLink(name) + "<font size=2 color=#000000>对</font>"),
              std::string::npos)
        << name;
    tom->Say("private:" + name, {{"towho", name}, {"towhoway", "private"}});
    const std::string line = "<font color= #ff0000 >【密谈】</font><font color=ff0000>" + NameLink("tom") +
                             "<font size=2 color=#000000>对</font>" + NameLink(name) +
                             "<font color=#000000>说: </font>private:" + name + "</font><BR>\r\n";
    EXPECT_NE(user.WaitFor("private:" + name).find(line), std::string::npos) << name;
    EXPECT_EQ(bystander.Drain().find("private:" + name), std::string::npos) << name << ": only he hears it";
  }

  const std::string online = tom->Get("/online?session=" + tom->Session() + "&RoomName=" + UrlEncode(kLobby));
  for (const auto& user : named) {
    EXPECT_NE(online.find("<a href=\"javascript:parent.choose('" + user->Name() + "');\" target=form>☆" +
                          user->Name() + "</font></a>"),
              std::string::npos)
        << user->Name() << " in " << online;
  }
}

// A reference to a character that is not printable, or to an ASCII one
// (browsers send those as themselves), keeps the cleaning of every other '&'.
TEST_F(Characters, OtherReferencesAreCleaned) {
  auto tom = InLobby("tom");
  tom->Say("x&#60;b&#62;&#8238;&#0;&#55357;&#x110000;&amp;&#20320");
  EXPECT_NE(tom->WaitFor("#20320").find("说: </font>x-#60;b-#62;-#8238;-#0;-#55357;-#x110000;-amp;-#20320</font>"),
            std::string::npos);
}

// 81 41 and 81 61 are two characters: two accounts, each with its password.
TEST_F(Characters, CharactersDifferingOnlyInTheirTrailAreTwoAccounts) {
  const int port = m_server.HttpPort();
  const std::string up = "\x81\x41";
  const std::string other = "\x81\x61";
  EXPECT_NE(Register(port, up, "first").find("注册成功"), std::string::npos);
  EXPECT_NE(Register(port, other, "second").find("注册成功"), std::string::npos) << "the name is not taken";
  EXPECT_FALSE(LogOn(port, up, "first").empty());
  EXPECT_FALSE(LogOn(port, other, "second").empty());
  EXPECT_TRUE(LogOn(port, up, "second").empty()) << "neither name logs on to the other's account";
  EXPECT_TRUE(LogOn(port, other, "first").empty());
  EXPECT_NE(Register(port, up, "third").find("名字已经被用"), std::string::npos);
}

// A room whose name holds D5 5C is made, entered and listed, and the link
// of the creation notice brings the same bytes back.
TEST_F(Characters, RoomNamesWithTrailBackslashes) {
  auto tom = InLobby("tom");
  const std::string room = "\xD5\x5C" "室";
  tom->Say("/join " + room);
  EXPECT_NE(tom->WaitFor("创建聊天室成功").find("&message=/join%20" + room + "\" TARGET=\"_top\">"), std::string::npos);
  const std::string frameset = tom->Join(room);
  EXPECT_NE(frameset.find("<title>" + room + "</title>"), std::string::npos) << frameset;
  const std::string list = tom->Get("/roomlist?rn=" + UrlEncode("其它") + "&session=" + tom->Session());
  EXPECT_NE(list.find("')\">" + room + "</a>"), std::string::npos) << list;
}

}  // namespace
