// IGNORE, EVIDENCE and HELP through the real server.
#include <gtest/gtest.h>

#include <unistd.h>

#include <memory>
#include <regex>

#include "support/chat_client.h"
#include "support/server_process.h"
#include "support/site_files.h"

namespace {
using namespace std::chrono_literals;

const std::string kLobby = "大厅";
const std::string kTalk = "谈天说地";

std::unique_ptr<ChatUser> In(ServerProcess& server, const std::string& room, const std::string& name) {
  auto user = std::make_unique<ChatUser>(server, name);
  EXPECT_TRUE(user->LoggedOn()) << name;
  user->Join(room);
  user->OpenStream(room);
  user->Drain(100);
  return user;
}

TEST(Ignore, HidesTheNameInAnyLetterCaseAndStaysAcrossRooms) {
  ServerProcess server;
  ASSERT_TRUE(server.Start());
  auto tom = In(server, kLobby, "tom");
  auto ann = In(server, kLobby, "ann");
  auto bob = In(server, kLobby, "bob");
  tom->Drain();
  tom->Say("/ignore");
  EXPECT_EQ(tom->WaitFor("</font><BR>\n"), "<font color=#ff0000>系统:请给出要忽略的名字: /ignore 名字</font><BR>\n");
  for (int twice = 0; twice < 2; ++twice) {
    tom->Say("/ignore ANN");
    EXPECT_EQ(tom->WaitFor("</font><BR>\n"), "<font color=#ff0000>系统:不再显示此人的话: \"ANN\" ***</font><BR>\n");
  }
  tom->Say("/ignore <b>");
  EXPECT_NE(tom->WaitFor("***").find("\"&lt;b&gt;\" ***"), std::string::npos);

  ann->Say("can you hear me");
  EXPECT_NE(bob->WaitFor("can you hear me").find("can you hear me"), std::string::npos);
  ann->Say("/message tom paged");
  bob->Say("bob here");
  std::string seen = tom->WaitFor("bob here");
  EXPECT_NE(seen.find("bob here"), std::string::npos);
  EXPECT_EQ(seen.find("can you hear me"), std::string::npos);
  EXPECT_EQ(seen.find("paged"), std::string::npos) << "pages from her are hidden too";

  // Both move on: the list goes with tom.
  tom->Join(kTalk);
  tom->OpenStream(kTalk);
  ann->Join(kTalk);
  bob->Join(kTalk);
  ann->Say("in the other room");
  bob->Say("bob again");
  seen = tom->WaitFor("bob again");
  EXPECT_NE(seen.find("bob again"), std::string::npos);
  EXPECT_EQ(seen.find("in the other room"), std::string::npos);
}

// The evidence log as the bundled ini names it, unset, and in a folder that
// does not exist: the confirmation goes out in every case.
TEST(Evidence, RecordsAreAppendedAndFailuresReported) {
  struct Case {
    std::string ini;
    bool logged;
    std::string console;
  } cases[] = {
      {"", true, ""},
      {"[log]\nevidence =\n", false, ""},
      {"[log]\nevidence = missing/evidence.log\n", false, "cannot write the evidence log missing/evidence.log: "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ini);
    ServerProcess server(c.ini);
    ASSERT_TRUE(server.Start());
    auto tom = In(server, kLobby, "tom");
    for (int twice = 0; twice < 2; ++twice) {
      tom->Say("/evidence");
      const std::string confirmation = tom->WaitFor("</font><BR>\r\n");
      EXPECT_NE(confirmation.find("<font color= #ff0000 >【密谈】</font><font color=#000077>"), std::string::npos)
          << confirmation;
      EXPECT_NE(confirmation.find(">tom</font></STRONG></A>已经记录在案。</font><BR>\r\n"), std::string::npos)
          << confirmation;
    }
    if (c.logged) {
      const std::string record = "\\*{44}\nUser: tom\nRoom: " + kLobby + "\nTime: (上午|下午)\\d\\d:\\d\\d:\\d\\d\n\\*{44}\n";
      const std::regex twoRecords(record + record);
      std::string log;
      for (int attempt = 0; attempt < 250 && !std::regex_match(log, twoRecords); ++attempt) {
        std::this_thread::sleep_for(20ms);
        log = ReadWholeFile(server.Dir().File("evidence.log"));
      }
      EXPECT_TRUE(std::regex_match(log, twoRecords)) << log;
    }
    if (!c.console.empty()) {
      EXPECT_TRUE(server.WaitForConsole(c.console, 5s)) << server.Console();
    }
  }
}

// A link put where the evidence log should be is not followed: the record
// is not written through it, and the console says why.
TEST(Evidence, ALinkInPlaceOfTheLogIsNotFollowed) {
  ServerProcess server;
  server.Dir().Write("victim.txt", "untouched\n");
  ASSERT_EQ(::symlink("victim.txt", server.Dir().File("evidence.log").c_str()), 0);
  ASSERT_TRUE(server.Start());
  auto tom = In(server, kLobby, "tom");
  tom->Say("/evidence");
  EXPECT_TRUE(server.WaitForConsole("cannot write the evidence log evidence.log: ", 5s)) << server.Console();
  EXPECT_EQ(server.Dir().Read("victim.txt"), "untouched\n");
}

class Help : public ::testing::Test {
 protected:
  // How a help text shows in the message frame.
  static std::string Shown(const std::string& text) { return "<font color= #000077 >     " + text + "</font><BR>\n"; }
  std::string HelpFile(ServerProcess& server, const std::string& topic) {
    return "<BR>\r\n" + AsTemplate(ReadWholeFile(server.Dir().File("htdocs/help/" + topic + ".html")));
  }
};

TEST_F(Help, TopicsAndTheDefaultPage) {
  ServerProcess server;
  ASSERT_TRUE(server.Start());
  auto tom = In(server, kLobby, "tom");
  struct Case {
    std::string command;
    std::string file;
  } cases[] = {
      {"/help", "index"},
      {"/help IGNORE", "ignore"},
      {"/he room_list", "room_list"},
      {"/help no-such-topic", "index"},
      {"/help ../tolvann2", "index"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command);
    tom->Say(c.command);
    EXPECT_EQ(tom->WaitFor("</font><BR>\n"), Shown(HelpFile(server, c.file)));
  }
}

TEST_F(Help, WithoutAnyFileJustTheLineBreak) {
  ServerProcess server("[help]\ndirectory = nohelp/\n");
  ASSERT_TRUE(server.Start());
  auto tom = In(server, kLobby, "tom");
  tom->Say("/help ignore");
  EXPECT_EQ(tom->WaitFor("</font><BR>\n"), Shown("<BR>\r\n"));
}

}  // namespace
