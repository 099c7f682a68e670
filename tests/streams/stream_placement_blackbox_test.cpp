// Where the server's loops keep the message streams: every stream of a room
// on one loop, whichever loop read its request. The sockets that move there
// keep working: their heads, the room's latest lines and every line after.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "support/chat_client.h"
#include "support/event_stream_client.h"
#include "support/http_client.h"
#include "support/server_process.h"

namespace {
using namespace std::chrono_literals;

const std::string kLobby = "大厅";
const std::string kTalk = "谈天说地";

// The streams each loop holds, from the metrics port: {loop 0, loop 1}.
std::vector<int> StreamsPerLoop(int metricsPort) {
  const std::string text = Exchange(metricsPort, "GET /metrics HTTP/1.0\r\n\r\n", 5s);
  std::vector<int> counts;
  for (const char* loop : {"0", "1"}) {
    const std::string sample = std::string("tolvan_loop_streams{loop=\"") + loop + "\"} ";
    const size_t at = text.find(sample);
    counts.push_back(at == std::string::npos ? -1 : std::stoi(text.substr(at + sample.size())));
  }
  return counts;
}

TEST(StreamPlacement, ARoomsStreamsShareOneLoopAndHearEveryLine) {
  const int metricsPort = FreePort();
  ServerProcess server("[network]\nloops = 2\nmetrics_port = " + std::to_string(metricsPort) + "\n");
  ASSERT_TRUE(server.Start());
  // Each user's frame comes on a connection of its own, which either loop
  // may have taken: with eight, some land on the loop that is not the room's.
  std::vector<std::unique_ptr<ChatUser>> lobby;
  for (int n = 0; n < 8; ++n) lobby.push_back(UserInRoom(server, "lobby" + std::to_string(n), kLobby));
  ChatUser ann(server, "ann");  // an event stream in the lobby
  ann.Join(kLobby);
  EventStream annStream(server, ann.Session());
  EXPECT_NE(annStream.WaitFor("event: reset").find("event: reset"), std::string::npos) << "the stream started";
  std::vector<std::unique_ptr<ChatUser>> talk;
  for (int n = 0; n < 3; ++n) talk.push_back(UserInRoom(server, "talk" + std::to_string(n), kTalk));

  EXPECT_EQ(StreamsPerLoop(metricsPort), (std::vector<int>{9, 3})) << "the first room took the first loop";

  lobby[0]->Say("HelloLobby");
  talk[0]->Say("HelloTalk");
  for (auto& user : lobby) EXPECT_NE(user->WaitFor("HelloLobby").find("HelloLobby"), std::string::npos) << user->Name();
  EXPECT_NE(annStream.WaitFor("HelloLobby").find("HelloLobby"), std::string::npos);
  for (auto& user : talk) EXPECT_NE(user->WaitFor("HelloTalk").find("HelloTalk"), std::string::npos) << user->Name();

  // A stream that goes gives its place back.
  lobby.clear();
  for (int turn = 0; turn < 50 && StreamsPerLoop(metricsPort)[0] != 1; ++turn) std::this_thread::sleep_for(100ms);
  EXPECT_EQ(StreamsPerLoop(metricsPort), (std::vector<int>{1, 3}));
}

}  // namespace
