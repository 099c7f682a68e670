// The event stream (GET /events) through the real server: what it starts
// with, how a client that comes back with its Last-Event-ID resumes, and
// how it lives beside the message frame.
#include <gtest/gtest.h>
#include <unistd.h>

#include <regex>
#include <sstream>
#include <vector>

#include "support/api_client.h"
#include "support/chat_client.h"
#include "support/event_stream_client.h"
#include "support/http_client.h"
#include "support/server_process.h"
#include "support/site_files.h"

namespace {

const std::string kLobby = "大厅";
const std::string kTalk = "谈天说地";

void SayLines(ChatUser& user, int first, int last) {
  for (int n = first; n <= last; ++n) user.Say("L" + std::to_string(n) + "E");
}

TEST(EventStream, ResumesWithExactlyTheMissedLines) {
  ServerProcess server;
  ASSERT_TRUE(server.Start());
  auto tom = UserInRoom(server, "tom", kLobby);
  auto bob = UserInRoom(server, "bob", kLobby);
  ChatUser ann(server, "ann");
  ann.Join(kLobby);
  SayLines(*tom, 1, 3);
  std::string lastId;
  {
    EventStream stream(server, ann.Session());
    const std::string text = stream.WaitFor("L3E");
    EXPECT_NE(text.find("\r\nContent-Type: text/event-stream; charset=utf-8\r\n"), std::string::npos) << text;
    const std::vector<Event> events = Events(text);
    ASSERT_FALSE(events.empty()) << text;
    EXPECT_EQ(events[0].type, "reset") << "a stream without a position starts with one";
    EXPECT_EQ(Numbers(events), "1,2,3,") << "then the room's latest lines";
    SayLines(*tom, 4, 5);
    EXPECT_EQ(Numbers(Events(stream.WaitFor("L5E"))), "1,2,3,4,5,") << "then live ones";
    lastId = stream.LastId();
  }
  // Gone for a while: lines are said, one of them to bob alone.
  SayLines(*tom, 6, 7);
  tom->Say("L8E", {{"towho", "bob"}, {"towhoway", "private"}});
  SayLines(*tom, 9, 10);
  tom->WaitFor("L10E");
  EventStream back(server, ann.Session(), lastId);
  const std::vector<Event> missed = Events(back.WaitFor("L10E"));
  ASSERT_FALSE(missed.empty());
  EXPECT_EQ(missed[0].type, "line") << "no reset when the position is resumed";
  EXPECT_EQ(Numbers(missed), "6,7,9,10,") << "exactly the missed lines she may see";
  SayLines(*tom, 11, 11);
  EXPECT_EQ(Numbers(Events(back.WaitFor("L11E"))), "6,7,9,10,11,");
  EXPECT_NE(back.Text().find(U8(u8"\"room\":\"大厅\"")), std::string::npos) << "UTF-8 JSON";
}

TEST(EventStream, ResetsWhenThePositionCannotBeResumed) {
  ServerProcess server("[general]\nhistory_lines = 5\n");
  ASSERT_TRUE(server.Start());
  auto tom = UserInRoom(server, "tom", kLobby);
  ChatUser ann(server, "ann");
  ann.Join(kLobby);
  SayLines(*tom, 1, 2);
  std::string epoch;
  std::string firstId;
  {
    EventStream stream(server, ann.Session());
    stream.WaitFor("L2E");
    firstId = stream.LastId();
    epoch = firstId.substr(0, firstId.rfind('-'));
  }
  SayLines(*tom, 3, 10);  // more than the room keeps
  tom->WaitFor("L10E");
  const struct {
    const char* why;
    std::string lastEventId;
  } cases[] = {
      {"the gap is older than the history", firstId},
      {"another life of the room", "0123456789ab-3"},
      {"an offset the room has not reached", epoch + "-999"},
      {"no id of ours", "what?"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    EventStream stream(server, ann.Session(), c.lastEventId);
    const std::vector<Event> events = Events(stream.WaitFor("L10E"));
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events[0].type, "reset");
    EXPECT_NE(events[0].data.find("\"epoch\":\"" + epoch + "\""), std::string::npos) << events[0].data;
    EXPECT_EQ(Numbers(events), "6,7,8,9,10,") << "then the latest lines";
  }
}

TEST(EventStream, LivesBesideTheFrameAndFollowsItsUser) {
  ServerProcess server;
  ASSERT_TRUE(server.Start());
  auto tom = UserInRoom(server, "tom", kLobby);
  auto ann = UserInRoom(server, "ann", kLobby);  // her frame is open
  EventStream first(server, ann->Session());
  first.Drain(200);
  SayLines(*tom, 1, 1);
  EXPECT_NE(ann->WaitFor("L1E").find("L1E"), std::string::npos) << "the frame hears the line";
  EXPECT_EQ(Numbers(Events(first.WaitFor("L1E"))), "1,") << "and so does the stream";

  // A second event stream replaces the first; the frame stays.
  EventStream second(server, ann->Session());
  second.Drain(200);
  EXPECT_TRUE(first.Closed(3000));
  const std::vector<Event> ended = Events(first.Text());
  ASSERT_FALSE(ended.empty());
  EXPECT_EQ(ended.back().type, "bye") << first.Text();
  SayLines(*tom, 2, 2);
  EXPECT_NE(ann->WaitFor("L2E").find("L2E"), std::string::npos);
  EXPECT_EQ(Numbers(Events(second.WaitFor("L2E"))), "1,2,");

  // She changes rooms: the stream resets to the new room.
  ann->Join(kTalk);
  const std::string resetThere = "event: reset\ndata: {\"room\":\"" + U8(u8"谈天说地") + "\"";
  EXPECT_NE(second.WaitFor(resetThere).find(resetThere), std::string::npos) << second.Text();
  SayLines(*tom, 3, 3);
  EXPECT_EQ(Numbers(Events(second.Drain(300))), "1,2,") << "the lobby's lines no longer reach her";
}

TEST(EventStream, KeepAliveAndByeWhenTheSessionEnds) {
  ServerProcess server("[network]\nkeepalive_seconds = 1\n");
  ASSERT_TRUE(server.Start());
  ChatUser ann(server, "ann");
  ann.Join(kLobby);
  EventStream stream(server, ann.Session());
  EXPECT_NE(stream.WaitFor(": keepalive\n\n", 3500).find(": keepalive\n\n"), std::string::npos)
      << "a quiet stream gets its comment";
  ann.Get("/logout?session=" + ann.Session());
  EXPECT_TRUE(stream.Closed(3000)) << "the stream closes with its session";
  const std::vector<Event> events = Events(stream.Text());
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.back().type, "bye");
  EXPECT_NE(events.back().data.find("\"reason\":\""), std::string::npos) << events.back().data;

  EventStream unknown(server, "nosuchsession");
  const std::string refused = unknown.WaitFor("}");
  EXPECT_EQ(refused.rfind("HTTP/1.1 4", 0), 0u) << "no stream for an unknown session: " << refused;
  EXPECT_EQ(refused.find("text/event-stream"), std::string::npos) << refused;
}

}  // namespace
