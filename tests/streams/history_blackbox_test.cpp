// A room's history through the real server: what a message frame shows of
// the lines said before it opened, and what it never shows.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <regex>
#include <thread>
#include <vector>

#include "support/chat_client.h"
#include "support/http_client.h"
#include "support/server_process.h"
#include "support/site_files.h"

namespace {

const std::string kLobby = "大厅";

// The numbers of the lines "L<n>E" in the order a frame shows them.
std::vector<int> LineNumbers(const std::string& text) {
  std::vector<int> numbers;
  static const std::regex kLine("L([0-9]+)E");
  for (auto match = std::sregex_iterator(text.begin(), text.end(), kLine); match != std::sregex_iterator(); ++match) {
    numbers.push_back(std::stoi((*match)[1].str()));
  }
  return numbers;
}

std::string Range(int first, int last) {
  std::string text;
  for (int n = first; n <= last; ++n) text += std::to_string(n) + ",";
  return text;
}

std::string Joined(const std::vector<int>& numbers) {
  std::string text;
  for (int n : numbers) text += std::to_string(n) + ",";
  return text;
}

TEST(FrameHistory, AFrameOpensWithTheLatestLinesOfItsRoom) {
  struct Case {
    const char* ini;
    int said;
    std::string shown;  // the line numbers a frame opened afterwards shows
  };
  // The latest line of all is ann's own arrival.
  const Case cases[] = {
      {"", 25, Range(7, 25)},                                                   // the bundled ini: the last 20
      {"[general]\nhistory_lines = 8\nframe_history = 20\n", 25, Range(19, 25)},  // no more than the room keeps
      {"[general]\nhistory_lines = 50\nframe_history = 0\n", 5, ""},              // off: the frame as it was
      {"[general]\nhistory_lines = 0\nframe_history = 20\n", 5, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ini);
    ServerProcess server(c.ini);
    ASSERT_TRUE(server.Start());
    auto tom = UserInRoom(server, "tom", kLobby);
    for (int n = 1; n <= c.said; ++n) tom->Say("L" + std::to_string(n) + "E");
    tom->WaitFor("L" + std::to_string(c.said) + "E");
    ChatUser ann(server, "ann");
    ann.Join(kLobby);
    const std::string opened = ann.OpenStream(kLobby) + ann.Drain(200);
    EXPECT_EQ(Joined(LineNumbers(opened)), c.shown) << opened;
    tom->Say("L99E");
    EXPECT_EQ(Joined(LineNumbers(ann.WaitFor("L99E"))), "99,") << "then the live lines";
  }
}

TEST(FrameHistory, LinesAUserMayNotSeeAreNeverShownToHim) {
  ServerProcess server;
  server.Dir().Write("managerlist.txt", "boss:" + kLobby + "\n");
  ASSERT_TRUE(server.Start());
  auto boss = UserInRoom(server, "boss", kLobby);
  auto tom = UserInRoom(server, "tom", kLobby);
  auto ann = UserInRoom(server, "ann", kLobby);
  auto bob = UserInRoom(server, "bob", kLobby);
  ann->Say("/ignore bob");
  ann->WaitFor("bob");
  tom->Say("L1E");
  tom->Say("L2E secret", {{"towho", "bob"}, {"towhoway", "private"}});  // to bob alone
  bob->Say("L3E");                                                      // ann ignores bob
  tom->Say("L4E");
  EXPECT_EQ(Joined(LineNumbers(bob->WaitFor("L4E"))), "1,2,3,4,");
  EXPECT_EQ(Joined(LineNumbers(ann->WaitFor("L4E"))), "1,4,");

  // The frames open again: each shows what its user saw, no more.
  EXPECT_EQ(Joined(LineNumbers(ann->OpenStream(kLobby) + ann->Drain(200))), "1,4,")
      << "neither the private line to bob nor bob's line";
  EXPECT_EQ(Joined(LineNumbers(bob->OpenStream(kLobby) + bob->Drain(200))), "1,2,3,4,");

  // A user waiting at a locked room sees none of its chat.
  boss->Say("/lockroom " + kLobby);
  boss->WaitFor("成功");
  ChatUser carl(server, "carl");
  carl.Join(kLobby);
  const std::string waiting = carl.OpenStream(kLobby) + carl.Drain(200);
  EXPECT_NE(waiting.find("系统"), std::string::npos) << "the frame is his: " << waiting;
  EXPECT_EQ(Joined(LineNumbers(waiting)), "") << waiting;
}

// Lines said while frames open: each frame shows the room's lines without a
// gap and without a line twice, whether a line came in its start or live.
TEST(FrameHistory, NoLineIsLostOrDoubledWhileFramesOpen) {
  ServerProcess server("[general]\nhistory_lines = 50\nframe_history = 5\nline_burst = 0\n");
  ASSERT_TRUE(server.Start());
  auto tom = UserInRoom(server, "tom", kLobby);
  auto ann = UserInRoom(server, "ann", kLobby);
  constexpr int kLines = 600;
  std::atomic<bool> done{false};
  std::thread poster([&] {
    for (int n = 1; n <= kLines; ++n) {
      tom->Say("L" + std::to_string(n) + "E");
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    done = true;
  });
  int frames = 0;
  int lastSeen = 0;
  while (lastSeen < kLines) {
    // A browser's frame: the request in the first packet, read for a moment, then a reload.
    const int frame = ConnectLoopback(server.HttpPort());
    ASSERT_TRUE(SendAll(frame, "GET /messages?session=" + ann->Session() + "&RoomName=" + UrlEncode(kLobby) +
                                   " HTTP/1.0\r\nHost: t\r\n\r\n"));
    const std::string text = ReadUntilContains(frame, done ? "L" + std::to_string(kLines) + "E" : std::string(1, '\0'),
                                               std::chrono::milliseconds(done ? 3000 : 15 + frames % 20));
    ::close(frame);
    ++frames;
    const std::vector<int> numbers = LineNumbers(text);
    for (size_t i = 1; i < numbers.size(); ++i) {
      ASSERT_EQ(numbers[i], numbers[i - 1] + 1) << "frame " << frames << ": " << Joined(numbers);
    }
    if (!numbers.empty()) lastSeen = std::max(lastSeen, numbers.back());
    ASSERT_LT(frames, 2000) << "the lines never all arrived";
  }
  poster.join();
  EXPECT_GT(frames, 10) << "frames opened while the lines were said";
}

}  // namespace
