// How long a message frame lives, through the real server: as long as its
// user stays, whatever the connection time-out, with a keep-alive at the
// configured interval.
#include <gtest/gtest.h>
#include <unistd.h>

#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "support/chat_client.h"
#include "support/http_client.h"
#include "support/server_process.h"
#include "support/site_files.h"
#include "support/tool_process.h"

namespace {
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

const std::string kLobby = "大厅";
const std::string kTalk = "谈天说地";

std::string SystemLine(const std::string& text) { return "<font color= #000077 > 系统: " + text + "</font><BR>\n"; }

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// A message frame opened as a browser opens it: the whole request goes out
// in the first packet, right after the connection is made.
int OpenFrameAtConnect(int port, const std::string& session) {
  const int fd = ConnectLoopback(port);
  SendAll(fd, "GET /messages?session=" + session + "&RoomName=" + UrlEncode(kLobby) +
                  " HTTP/1.0\r\nHost: t\r\nUser-Agent: Mozilla/5.0\r\nAccept: text/html\r\n\r\n");
  return fd;
}

// Users logged on and in the lobby.
std::vector<std::unique_ptr<ChatUser>> UsersInLobby(ServerProcess& server, int count) {
  std::vector<std::unique_ptr<ChatUser>> users;
  for (int i = 0; i < count; ++i) {
    users.push_back(std::make_unique<ChatUser>(server, "u" + std::to_string(i)));
    users.back()->Join(kLobby);
  }
  return users;
}

// A frame opened alone and 300 opened in one burst of connects all outlive a
// two-second connection time-out fourfold while lines keep arriving, and
// every one of them gets the last line.
TEST(FrameLifetime, FramesOutliveTheConnectionTimeout) {
  ServerProcess server("[general]\nconnection_timeout = 2\n");
  ASSERT_TRUE(server.Start());
  constexpr int kBurst = 300;
  auto users = UsersInLobby(server, kBurst + 1);
  for (const auto& user : users) ASSERT_TRUE(user->LoggedOn()) << user->Name();
  ChatUser speaker(server, "speaker");
  speaker.Join(kLobby);

  std::vector<int> frames;
  frames.push_back(OpenFrameAtConnect(server.HttpPort(), users[0]->Session()));
  std::this_thread::sleep_for(300ms);  // the lone frame is taken in before the burst
  for (int i = 1; i <= kBurst; ++i) frames.push_back(OpenFrameAtConnect(server.HttpPort(), users[static_cast<size_t>(i)]->Session()));

  constexpr int kLines = 8;
  const auto start = Clock::now();
  for (int line = 1; line <= kLines; ++line) {
    std::this_thread::sleep_until(start + line * 1s);
    speaker.Say("line " + std::to_string(line) + " said");
  }
  const std::string last = "line " + std::to_string(kLines) + " said";
  for (size_t i = 0; i < frames.size(); ++i) {
    const std::string seen = ReadUntilContains(frames[i], last, 5s);
    EXPECT_NE(seen.find(last), std::string::npos) << "frame " << i << " (0 opened alone) got:\n" << seen.substr(seen.size() > 600 ? seen.size() - 600 : 0);
    ::close(frames[i]);
  }
}

// Every open frame gets its keep-alive (three blanks) at [network]
// keepalive_seconds, in a room where nobody speaks.
TEST(FrameLifetime, KeepAliveComesAtTheConfiguredInterval) {
  ServerProcess server("[network]\nkeepalive_seconds = 1\n");
  ASSERT_TRUE(server.Start());
  ChatUser tom(server, "tom");
  tom.Join(kLobby);
  tom.OpenStream(kLobby);
  const std::string quiet = tom.Drain(4500);
  size_t keepAlives = 0;
  for (size_t at = quiet.find("   "); at != std::string::npos; at = quiet.find("   ", at + 3)) ++keepAlives;
  EXPECT_EQ(quiet.find_first_not_of(' '), std::string::npos) << "nothing but keep-alives: " << quiet;
  EXPECT_GE(keepAlives, 3u) << "one a second";
  EXPECT_LE(keepAlives, 6u) << "one a second";
}

// When a session ends, its message frame shows the last line meant for it
// (the kick the user got, or a system line that says why) and closes; a
// user who moves to another room keeps his frame.
TEST(FrameLifetime, AFrameClosesWhenItsSessionEnds) {
  ServerProcess server;
  server.Dir().Write("managerlist.txt", "boss:" + kLobby + "\n");
  ASSERT_TRUE(server.Start());
  ChatUser boss(server, "boss");  // manages the lobby
  boss.Join(kLobby);
  ASSERT_TRUE(SetPasswordWithTool(server, "admin", "pw"));
  ChatUser admin(server, "admin");  // the chief of the bundled ini: removes rooms
  admin.Join(kLobby);

  struct Ending {
    std::string how;
    std::string name;
    std::string room;  // where the user sits with his frame open
    std::function<void(ChatUser& user)> end;
    std::string lastLine;
  };
  const std::vector<Ending> endings = {
      {"logout", "leaver", kLobby, [](ChatUser& user) { user.Get("/logout?session=" + user.Session()); },
       SystemLine("您已退出登录")},
      {"kick", "kicked", kLobby, [&](ChatUser& user) { boss.Say("/kick " + user.Name()); },
       "(kicked)因为言语不太文明被踢出,五分钟后可以再登录</font><BR>\n"},
      {"room removed", "roomless", kTalk, [&](ChatUser&) { admin.Say("/rm " + kTalk); }, SystemLine("本聊天室已被删除,请重新登录")},
  };
  for (const Ending& ending : endings) {
    SCOPED_TRACE(ending.how);
    ChatUser user(server, ending.name);
    user.Join(ending.room);
    user.OpenStream(ending.room);
    user.Drain();
    ending.end(user);
    const ChatUser::StreamEnd frame = user.ReadUntilClose(5000);
    EXPECT_TRUE(frame.closed) << "closed within seconds; it got: " << frame.text;
    EXPECT_TRUE(EndsWith(frame.text, ending.lastLine)) << "its last line: " << frame.text;
    EXPECT_EQ(frame.text.find("系统: "), frame.text.rfind("系统: ")) << "one system line at most: " << frame.text;
  }

  ChatUser mover(server, "mover");
  mover.Join(kLobby);
  mover.OpenStream(kLobby);
  mover.Join(kTalk);  // the page of the new room; the frame is still the old one
  admin.Join(kTalk);
  admin.Say("heard in the new room");
  EXPECT_NE(mover.WaitFor("heard in the new room").find("heard in the new room"), std::string::npos);
  const ChatUser::StreamEnd frame = mover.ReadUntilClose(1500);
  EXPECT_FALSE(frame.closed) << "the mover keeps his frame: " << frame.text;
}

}  // namespace
