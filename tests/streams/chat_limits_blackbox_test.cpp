// What one user can make the server send to everybody else: the fields of
// the chat form are cut before a line is built, and a speaker who posts
// faster than [general] line_burst and lines_per_minute allow is told so
// instead of being heard.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <thread>

#include "commands/speaker.h"
#include "html/message_render.h"
#include "support/chat_client.h"
#include "support/server_process.h"

namespace {
using namespace std::chrono_literals;

const std::string kLobby = "大厅";

class ChatLimits : public ::testing::Test {
 protected:
  explicit ChatLimits(const std::string& ini = "") : m_server(ini) {}
  void SetUp() override { ASSERT_TRUE(m_server.Start()); }
  // A user in the lobby with his message frame open.
  std::unique_ptr<ChatUser> InLobby(const std::string& name) { return UserInRoom(m_server, name, kLobby); }

  ServerProcess m_server;
};

// The colour is written three times into the line every listener gets: a
// form of 60 KB made each of them a line of 180 KB, and a few such posts
// reset every listener at his stream's output cap. A colour is now at most
// the longest colour name, however it is said.
TEST_F(ChatLimits, ALongColourMakesNoLongLine) {
  auto tom = InLobby("tom");
  auto ann = InLobby("ann");
  ann->Drain();
  const std::string colour(60000, 'a');  // letters only: a colour name as far as the renderer can tell
  const struct {
    const char* what;
    std::string message;
    std::map<std::string, std::string> fields;
  } cases[] = {
      {"public line", "said in public", {{"addwordcolor", colour}}},
      {"private line", "said in private", {{"addwordcolor", colour}, {"towho", "ann"}, {"towhoway", "private"}}},
      {"page", "/message ann said in a page", {{"addwordcolor", colour}}},
  };
  for (const auto& c : cases) {
    tom->Say(c.message, c.fields);
    std::string heard = ann->WaitFor("said in", 5000);
    heard += ann->Drain(100);  // the rest of a long line
    EXPECT_NE(heard.find("said in"), std::string::npos) << c.what;
    EXPECT_LT(heard.size(), 2000u) << c.what;
    EXPECT_EQ(heard.find(std::string(kColourLimit + 1, 'a')), std::string::npos) << c.what;
  }
}

// The action and the verb are cut as a browser's form makes them, so that
// a long one does not push what was said out of the line.
TEST_F(ChatLimits, ALongActionLeavesRoomForTheText) {
  auto tom = InLobby("tom");
  auto ann = InLobby("ann");
  ann->Drain();
  tom->Say("still heard", {{"UserAction", std::string(60000, 'x')}, {"addsays", std::string(3000, 'y')}});
  const std::string heard = ann->WaitFor("still heard", 5000);
  EXPECT_NE(heard.find("still heard"), std::string::npos);
  EXPECT_EQ(heard.find(std::string(81, 'x')), std::string::npos);
  EXPECT_EQ(heard.find(std::string(81, 'y')), std::string::npos);
}

// Three lines at once, then one every two seconds.
class LineRate : public ChatLimits {
 protected:
  LineRate() : ChatLimits("[general]\nline_burst = 3\nlines_per_minute = 30\n") {}
};

// One client put 2,672 lines a second into a room. Past the burst, chat
// lines, private lines and pages are refused with a line to the speaker
// alone; commands that only answer him still work; a token comes back
// after the interval.
TEST_F(LineRate, PastTheBurstTheSpeakerIsToldAndNobodyHearsHim) {
  auto tom = InLobby("tom");
  auto ann = InLobby("ann");
  ann->Drain();
  tom->Drain();
  for (const char* line : {"first line", "second line", "third line"}) {
    tom->Say(line);
    EXPECT_NE(ann->WaitFor(line).find(line), std::string::npos) << line;
  }
  tom->Say("fourth line");
  tom->Say("fifth line", {{"towho", "ann"}, {"towhoway", "private"}});
  tom->Say("/message ann sixth line");
  std::string told = tom->WaitFor(kTooFastText);
  told += tom->Drain(300);
  EXPECT_NE(told.find(std::string("<font color= #000077 > 系统: ") + kTooFastText + "</font><BR>\n"),
            std::string::npos)
      << told;
  for (const char* line : {"fourth line", "fifth line", "sixth line"}) {
    EXPECT_EQ(told.find(line), std::string::npos) << line << " reached the speaker";
  }
  tom->Say("/users");
  EXPECT_NE(tom->WaitFor("在线总人数").find("在线总人数"), std::string::npos) << "a command that answers him alone";
  const std::string heard = ann->Drain(300);
  for (const char* line : {"fourth line", "fifth line", "sixth line"}) {
    EXPECT_EQ(heard.find(line), std::string::npos) << line << " was heard";
  }

  std::this_thread::sleep_for(2100ms);
  tom->Say("seventh line");
  EXPECT_NE(ann->WaitFor("seventh line").find("seventh line"), std::string::npos) << "the bucket refills";
}

}  // namespace
