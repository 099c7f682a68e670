// Chatting through the real server: users, their open message streams, and
// the lines, notices and commands that reach them.
#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <regex>
#include <thread>

#include "html/page.h"
#include "support/chat_client.h"
#include "support/http_client.h"
#include "support/server_process.h"
#include "support/site_files.h"

namespace {
using namespace std::chrono_literals;

const std::string kLobby = "大厅";
const std::string kTalk = "谈天说地";

std::string PublicLine(const std::string& mark, const std::string& from, const std::string& to,
                       const std::string& text, const std::string& colour = "ff0000") {
  return "\r\n<font color= #ff0000>" + mark + "</font><font color=" + colour +
         "><a href=javascript:parent.choose('" + from + "'); target=form><STRONG><font color=" + colour + ">" + from +
         "</font></STRONG></A><font size=2 color=#000000>对</font><a href=javascript:parent.choose('" + to +
         "'); target=form><STRONG><font color=" + colour + ">" + to +
         "</font></STRONG></A><font color=#000000>说: </font>" + text + "</font><BR>\n";
}

class Chat : public ::testing::Test {
 protected:
  void SetUp() override {
    m_server.Dir().Write("managerlist.txt", "boss:" + kLobby + "\n");
    ASSERT_TRUE(m_server.Start());
  }
  // A user in the lobby with his message frame open.
  std::unique_ptr<ChatUser> InLobby(const std::string& name) { return UserInRoom(m_server, name, kLobby); }
  std::string Template(const std::string& name) {
    return kStandardHead + AsTemplate(ReadWholeFile(m_server.Dir().File("htdocs/" + name)));
  }

  ServerProcess m_server;
};

TEST_F(Chat, FrameHeads) {
  ChatUser tom(m_server, "tom");
  const std::string frameset = tom.Join(kLobby);
  const std::string s = tom.Session();
  const std::string r = kLobby;
  EXPECT_EQ(frameset.rfind(kStandardHead + "<HTML><head>" + std::string(PageHead()) + "<title>" + kLobby +
                               "</title><script",
                           0),
            0u)
      << frameset;
  EXPECT_NE(frameset.find("/advert.html?id=11011110010149\"></frameset>"), std::string::npos) << "node1 as byte values";
  EXPECT_NE(frameset.find("\n<frame name=\"messages\" marginheight=\"1\" src=\"/messages?session=" + s + "&RoomName=" +
                          r + "\"></frameset>\n<frame src=\"/online?session=" + s + "&RoomName=" + r +
                          "\" name=\"online\" marginwidth=\"0\"  scrolling=\"auto\">\n</frameset>\n<frameset "
                          "border=\"0\" frameborder=\"0\" framespacing=\"0\" cols=\"*,100%\">\n<frame "
                          "src=\"/goto?session=" + s + "&RoomName=" + r +
                          "\" name=\"goto\" marginwidth=\"0\" scrolling=\"no\">\n<frame name=\"form\" "
                          "src=\"/mainform?&session=" + s + "&RoomName=" + r +
                          "\" marginwidth=\"0\" scrolling=\"auto\">\n</frameset><noframes>\n<BODY></BODY>"
                          "</noframes></frameset></html>\n</BODY></HTML>\n\n"),
            std::string::npos)
      << frameset;

  const std::string head = tom.OpenStream(kLobby);
  EXPECT_EQ(head.rfind(kStreamHead + "<HTML><head>" + std::string(PageHead()) + "<title>look</title>", 0), 0u);
  EXPECT_NE(head.find("<BODY  background='/image/hall.gif' bgproperties=\"fixed\"><!--This is a comment.--><P>"
                      "\r\n<br><font color=#000077>欢迎来到聊天天地！请文明聊天。</font><br>"),
            std::string::npos)
      << head;

  const std::string online = tom.Get("/online?session=" + s + "&RoomName=" + UrlEncode(r));
  EXPECT_EQ(online.rfind(kStreamHead + "<html><head>" + std::string(PageHead()) +
                             "</head><META HTTP-EQUIV='refresh' CONTENT='68 URL=\"/online?session=" + s + "\"'>\r\n",
                         0),
            0u);
  EXPECT_NE(online.find("<strong>" + r + "</strong></font><br></center></font><center><font size=2>[<em>在线1人"
                        "</em>]</font>"),
            std::string::npos);
  EXPECT_NE(online.find("&nbsp;[<a href=\"javascript:parent.choose('tom');\" target=form>☆tom</font></a>]<br>\r\n"
                        "<hr><p>&nbsp;</p></body></html>"),
            std::string::npos);
  const std::string form = tom.Get("/mainform?&session=" + s + "&RoomName=" + UrlEncode(r));
  EXPECT_NE(form.find("<option value=\"哈!哈!哈!的笑着说\">大笑叁声</option>"), std::string::npos);
  EXPECT_NE(form.find("<option value=\"316484\" style=\"color:#316484\">灰蓝种族</option>"), std::string::npos);
  EXPECT_NE(form.find("<INPUT TYPE=\"hidden\" name=\"RoomName\" value=\"" + r + "\">"), std::string::npos);
  EXPECT_EQ(BodyOf(tom.Say("")),
            "<HTML><HEAD><meta http-equiv=\"Content-Type\" content=\"text/html; charset=gb2312\">\r\n"
            "<TITLE></TITLE></HEAD><BODY bgcolor=#ffffff></BODY></HTML>\n\n")
      << "posting the form answers a blank page for the goto frame";
}

// Every HTML answer names GB2312 in its head, and every page the server
// builds names it again inside, most with the viewport a phone lays them
// out by. Without the character set a browser read the chat window's title
// "大厅" as "´óÌü".
TEST_F(Chat, EveryPageNamesItsCharacterSet) {
  ChatUser tom(m_server, "tom");
  const int port = m_server.HttpPort();
  const std::string s = tom.Session();
  const std::string r = "&RoomName=" + UrlEncode(kLobby);
  HttpPost(port, "/register", "username=rob&password=pw&question=q&answer=a");
  struct Page {
    std::string what;
    std::string answer;
    bool withViewport;
  } pages[] = {
      {"chat frameset", tom.Join(kLobby), true},
      {"message frame", tom.OpenStream(kLobby), true},
      {"online list", tom.Get("/online?session=" + s + r), true},
      {"input form", tom.Get("/mainform?&session=" + s + r), true},
      {"answer to a posted line", tom.Say("hello"), false},
      {"frameless page", tom.Get("/noframes?session=" + s), true},
      {"keep-alive frame", tom.Get("/space?session=" + s), false},
      {"room list", tom.Get("/roomlist?rn=" + UrlEncode("系统") + "&session=" + s), true},
      {"room created", tom.Get("/newroom?session=" + s + "&rn=" + UrlEncode("书房") + "&tp=" + UrlEncode("技术")), true},
      {"room not created", tom.Get("/newroom?session=" + s + "&rn=" + UrlEncode("书房")), true},
      {"logon page", HttpGet(port, "/logon"), true},
      {"post-logon frameset", HttpPost(port, "/logon", "username=rob&password=pw"), true},
      {"registration result", HttpPost(port, "/register", "username=ann&password=pw"), true},
      {"recovery form", HttpPost(port, "/Modify_Second", "username=rob"), true},
      {"invalid session notice", HttpGet(port, "/Blank?session=nobody"), true},
      {"user search", HttpGet(port, "/find?fun=tom"), true},
      {"site page", HttpGet(port, "/logon.html"), true},
      {"site page without a head of its own", HttpPost(port, "/register", ""), true},
  };
  for (const Page& page : pages) {
    const std::string head = page.answer.substr(0, page.answer.find("\r\n\r\n") + 2);
    EXPECT_NE(head.find("\r\nContent-type: text/html; charset=gb2312\r\n"), std::string::npos) << page.what << head;
    const std::string body = BodyOf(page.answer);
    EXPECT_NE(body.find("<meta http-equiv=\"Content-Type\" content=\"text/html; charset=gb2312\">"),
              std::string::npos)
        << page.what << body.substr(0, 300);
    if (page.withViewport) {
      EXPECT_NE(body.find("<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"),
                std::string::npos)
          << page.what << body.substr(0, 300);
    }
  }
}

TEST_F(Chat, PublicLineMarksTheAddresseeAndIsCleaned) {
  auto tom = InLobby("tom");
  auto ann = InLobby("ann");
  auto bob = InLobby("bob");
  tom->Say("hi <b> & 100%", {{"towho", "ann"}});
  const std::string text = "hi (b) - 100$";
  // The line's own end: the notices of the others' arrival end the same way.
  const std::string lineEnd = text + "</font><BR>\n";
  EXPECT_NE(ann->WaitFor(lineEnd).find(PublicLine("▲", "tom", "ann", text)), std::string::npos);
  EXPECT_NE(bob->WaitFor(lineEnd).find(PublicLine("△", "tom", "ann", text)), std::string::npos);
  EXPECT_NE(tom->WaitFor(lineEnd).find(PublicLine("△", "tom", "ann", text)), std::string::npos);
  tom->Say("to all", {{"towho", "a name with blanks"}});
  EXPECT_NE(bob->WaitFor("to all").find(PublicLine("△", "tom", "大家", "to all")), std::string::npos);
  tom->Say("bold", {{"addwordcolor", "red size=9"}});
  EXPECT_NE(ann->WaitFor("bold").find("<font color=#000000><a href"), std::string::npos);
}

TEST_F(Chat, PrivateLinesReachTheAddresseeAndTheSpeakerOnly) {
  auto tom = InLobby("tom");
  auto ann = InLobby("ann");
  auto bob = InLobby("bob");
  tom->Say("secret", {{"towho", "ann"}, {"towhoway", "private"}});
  const std::string line =
      "<font color= #ff0000 >【密谈】</font><font color=ff0000><a href=javascript:parent.choose('tom'); "
      "target=form><STRONG><font color=ff0000>tom</font></STRONG></A><font size=2 color=#000000>对</font><a "
      "href=javascript:parent.choose('ann'); target=form><STRONG><font color=ff0000>ann</font></STRONG></A><font "
      "color=#000000>说: </font>secret</font><BR>\r\n";
  EXPECT_NE(ann->WaitFor("secret").find(line), std::string::npos);
  EXPECT_NE(tom->WaitFor("secret").find(line), std::string::npos);
  EXPECT_EQ(bob->Drain().find("secret"), std::string::npos);

  tom->Say("to myself", {{"towho", "tom"}, {"towhoway", "private"}});
  const std::string self = tom->WaitFor("to myself") + tom->Drain();
  EXPECT_EQ(self.find("to myself"), self.rfind("to myself")) << "delivered once";
  tom->Say("to nobody", {{"towho", "ghost"}, {"towhoway", "private"}});
  EXPECT_NE(tom->WaitFor("to nobody").find("【密谈】"), std::string::npos) << "the speaker's copy";
  EXPECT_EQ(ann->Drain().find("to nobody"), std::string::npos);
}

TEST_F(Chat, PagesAndTheNotOnlineReply) {
  auto tom = InLobby("tom");
  auto ann = std::make_unique<ChatUser>(m_server, "ann");
  ann->Join(kTalk);
  ann->OpenStream(kTalk);
  tom->Say("/message ann come <here>");
  const std::string paged = ann->WaitFor("</font><BR>\n");
  EXPECT_EQ(paged.rfind("<font color= #ff0000 >【传呼】</font>", 0), 0u) << paged;
  EXPECT_NE(paged.find("<font size=2 color=#000000>呼</font>"), std::string::npos);
  EXPECT_NE(paged.find("内容: come (here)<font size=2 color=Fuchsia>(" + kLobby + ")-->(" + kTalk + ")</font>"),
            std::string::npos);
  EXPECT_NE(tom->WaitFor("【传呼】").find("【传呼】"), std::string::npos) << "the speaker's copy";
  tom->Say("/message ghost hello");
  EXPECT_NE(tom->WaitFor("不在线").find("<font color= #000077 > 系统: 传呼对象不在线  </font><BR>\n"),
            std::string::npos);
}

TEST_F(Chat, NoticesOfEnteringMovingAndLeaving) {
  auto tom = InLobby("tom");
  auto ann = InLobby("ann");
  const std::string entered = tom->WaitFor("</font><BR>\n");
  const std::string notice = "<font color= #ff0000 >【公告】: <a href=javascript:parent.choose('ann:node1'); "
                             "target=form><STRONG>ann</STRONG></A> 进入了聊天室 ";
  const size_t at = entered.find(notice);
  ASSERT_NE(at, std::string::npos) << entered;
  EXPECT_TRUE(std::regex_match(entered.substr(at + notice.size()),
                               std::regex("(上午|下午)\\d\\d:\\d\\d:\\d\\d</font><BR>\n")))
      << "the time as a Chinese system shows it: " << entered;
  ann->Join(kTalk);
  EXPECT_NE(tom->WaitFor("去了别的聊天室").find("去了别的聊天室(" + kTalk + ")</font><BR>\n"), std::string::npos);
  ann->OpenStream(kTalk);
  auto bob = std::make_unique<ChatUser>(m_server, "bob");
  bob->Join(kLobby);
  bob->Join(kTalk);
  EXPECT_NE(ann->WaitFor("来到本聊天室").find("从(" + kLobby + ")来到本聊天室"), std::string::npos);
  ann->Get("/logout?session=" + ann->Session());
  tom->Join(kTalk);
  tom->OpenStream(kTalk);
  tom->Get("/logout?session=" + tom->Session());
  // A user who moved on no longer gets lines of the room he left.
  auto cat = InLobby("cat");
  bob->OpenStream(kLobby);  // an old frame of the lobby, while bob is in the other room
  cat->Say("lobby only");
  EXPECT_NE(cat->WaitFor("lobby only").find("lobby only"), std::string::npos);
  EXPECT_EQ(bob->Drain().find("lobby only"), std::string::npos);
}

TEST_F(Chat, LeaveNoticeOnLogout) {
  auto tom = InLobby("tom");
  auto ann = InLobby("ann");
  ann->Get("/logout?session=" + ann->Session());
  EXPECT_NE(tom->WaitFor("离开了聊天室").find("<STRONG>ann</STRONG></A> 离开了聊天室"), std::string::npos);
  EXPECT_EQ(BodyOf(ann->Say("still here?")).find("对不起，您的登录已经信息无效") != std::string::npos, false)
      << "posting to /mainform after leaving: no user, a static file";
  const std::string blank = ann->Get("/Blank?session=" + ann->Session() + "&message=hi");
  EXPECT_NE(blank.find("对不起，您的登录已经信息无效"), std::string::npos);
}

TEST_F(Chat, LongLinesAreCutTo1999Bytes) {
  auto tom = InLobby("tom");
  auto ann = InLobby("ann");
  tom->Say(std::string(3000, 'x'));
  const std::string line = ann->WaitFor("</font><BR>\n");
  const std::string prefix = "<font color=#000000>说: </font>";
  const size_t start = line.find(prefix);
  ASSERT_NE(start, std::string::npos);
  const size_t end = line.find("</font><BR>\n", start + prefix.size());
  EXPECT_EQ(end - start, 1999u);
}

TEST_F(Chat, ManagersKickAndBan) {
  auto boss = InLobby("boss");
  auto ann = InLobby("ann");
  auto bob = InLobby("bob");
  ann->Say("/kick bob");
  EXPECT_NE(ann->WaitFor("管理员").find("系统: 你不是本聊天室的管理员或者踢人方法不对"), std::string::npos);
  boss->Say("/kick ann");
  EXPECT_NE(ann->WaitFor("五分钟").find("<font color=#FF0000>管理员boss: (ann)因为言语不太文明被踢出,五分钟后可以再登录"),
            std::string::npos)
      << "the kicked user still reads it";
  EXPECT_NE(bob->WaitFor("五分钟").find("(ann)因为言语不太文明被踢出"), std::string::npos);
  ann->Say("after the kick");
  EXPECT_EQ(bob->Drain().find("after the kick"), std::string::npos);
  EXPECT_EQ(HttpPost(m_server.HttpPort(), "/logon", "username=ann&password=pw"), Template("kicked.html"));

  boss->Say("/ban bob");
  EXPECT_NE(bob->WaitFor("十分钟").find("(bob)因为言语不太文明被踢出且IP被绊住,十分钟后可以再登录"), std::string::npos);
  EXPECT_EQ(HttpPost(m_server.HttpPort(), "/logon", "username=cat&password=pw"), Template("banned.html"))
      << "every name from the banned address";
  EXPECT_EQ(HttpPost(m_server.HttpPort(), "/logon", "username=ann&password=pw"), Template("banned.html"))
      << "banned before kicked";
  EXPECT_NE(HttpPost(m_server.HttpPort(), "/logon", "username=a:b&password=pw").find("ACTION=\"logon\""),
            std::string::npos)
      << "a refused name still gets the logon page";
}

TEST_F(Chat, CommandsForOneUser) {
  auto tom = InLobby("tom");
  tom->Say("/users");
  EXPECT_NE(tom->WaitFor("在线总人数").find("[<font color=#ff0000>tom</font>]<br><font color=Fuchsia>在线总人数:1"),
            std::string::npos);
  tom->Say("/mlist");
  EXPECT_NE(tom->WaitFor("管理员列表").find("管理员列表: <font color=#ff0000>boss</font>(" + kLobby + ")"),
            std::string::npos);
  tom->Say("/list 全部");
  EXPECT_NE(tom->WaitFor("其它类聊天室").find("<br>系统聊天室:[<A HREF=\"/Blank?session=" + tom->Session()), std::string::npos);
  tom->Say("/find tom");
  EXPECT_NE(tom->WaitFor("结果").find("查找(tom)结果: tom:" + kLobby + "&nbsp;"), std::string::npos);
  tom->Say("/join Den 情感");
  EXPECT_NE(tom->WaitFor("这里</A>]进入").find("创建聊天室成功,请点[<A HREF=\"/Blank?session=" + tom->Session() +
                                            "&message=/join%20Den\" TARGET=\"_top\">这里</A>]进入"),
            std::string::npos);
  tom->Say("/join a;b");
  EXPECT_NE(tom->WaitFor("特殊字符").find("聊天室名字不能包含特殊字符"), std::string::npos);
  tom->Say("/join " + std::string(31, 'x'));
  EXPECT_NE(tom->WaitFor("太长").find("聊天室名字太长(>30)"), std::string::npos);
  tom->Say("/kick");
  tom->Say("/RE");
  tom->Say("/message ghost " + std::string(10000, 'y'));
  EXPECT_EQ(tom->Drain(), "<font color= #000077 > 系统: 传呼对象不在线  </font><BR>\n")
      << "the word alone and ambiguous words show nothing; the long page finds nobody";
}

TEST_F(Chat, BrokenStreamsDoNotDisturbOthers) {
  auto tom = InLobby("tom");
  auto ann = InLobby("ann");
  std::vector<std::unique_ptr<ChatUser>> ghosts;
  for (int i = 0; i < 5; ++i) {
    ghosts.push_back(std::make_unique<ChatUser>(m_server, "ghost" + std::to_string(i)));
    ghosts.back()->Join(kLobby);
  }
  for (const auto& ghost : ghosts) {  // frames that are reset as they open
    const int fd = ConnectLoopback(m_server.HttpPort());
    SendAll(fd, "GET /messages?session=" + ghost->Session() + " HTTP/1.0\r\nHost: t\r\n\r\n");
    linger reset{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    ::close(fd);
  }
  for (int i = 0; i < 5; ++i) InLobby("gone" + std::to_string(i));  // frames that close with their users
  tom->Say("still fine");
  EXPECT_NE(tom->WaitFor("still fine").find("still fine"), std::string::npos);
  EXPECT_NE(ann->WaitFor("still fine").find("still fine"), std::string::npos);
}

// Lines reach every stream in the order they were said, though each
// request may be taken by another event loop than the one before.
TEST_F(Chat, LinesArriveInTheOrderTheyWereSaid) {
  auto tom = InLobby("tom");
  auto ann = InLobby("ann");
  for (int i = 0; i < 100; ++i) tom->Say("n" + std::to_string(i) + "n");
  const std::string seen = ann->WaitFor("n99n", 5000);
  size_t at = 0;
  for (int i = 0; i < 100; ++i) {
    const size_t next = seen.find("n" + std::to_string(i) + "n", at);
    ASSERT_NE(next, std::string::npos) << "line " << i << " missing or out of order";
    at = next;
  }
}

// One message frame per session: opening it again closes the old one, whose
// last line says why, and the new one gets the lines.
TEST_F(Chat, ASecondStreamOfASessionReplacesTheFirst) {
  auto tom = InLobby("tom");
  const int first = ConnectLoopback(m_server.HttpPort());
  SendAll(first, "GET /messages?session=" + tom->Session() + "&RoomName=" + UrlEncode(kLobby) +
                     " HTTP/1.0\r\nHost: t\r\n\r\n");
  ReadUntilContains(first, "<br>", 2s);
  const std::string second = tom->OpenStream(kLobby);
  const std::string last = ReadUntilClose(first, 3s);
  const std::string notice = "<font color= #000077 > 系统: 本会话已在另一个窗口打开</font><BR>\n";
  ASSERT_GE(last.size(), notice.size()) << "the first frame is closed with a notice: " << last;
  EXPECT_EQ(last.substr(last.size() - notice.size()), notice) << "its last line";
  EXPECT_EQ(last.find(notice), last.size() - notice.size()) << "said once";
  EXPECT_TRUE(WaitForClose(first, 100ms)) << "then closed";
  EXPECT_EQ(second.find("本会话"), std::string::npos) << "the new frame is not told";
  ::close(first);
  tom->Say("to the new frame");
  const std::string seen = tom->WaitFor("to the new frame");
  EXPECT_NE(seen.find("to the new frame"), std::string::npos);
  EXPECT_EQ(seen.find("本会话"), std::string::npos);
}

// Idle sessions are swept every 20 seconds, whether anybody speaks or not;
// the room hears the idle user leave, and his open frame says why and closes.
TEST(ChatIdle, IdleSessionExpiresWithALeaveNoticeAndItsFrameCloses) {
  ServerProcess server("[network]\nsession_timeout = 5\n");
  ASSERT_TRUE(server.Start());
  ChatUser ann(server, "ann");
  ann.Join(kLobby);
  ann.OpenStream(kLobby);
  ChatUser tom(server, "tom");
  tom.Join(kLobby);
  tom.OpenStream(kLobby);
  std::this_thread::sleep_for(17s);
  tom.Get("/space?session=" + tom.Session());  // tom stays active, and says nothing
  EXPECT_NE(tom.WaitFor("离开了聊天室", 8000).find("<STRONG>ann</STRONG></A> 离开了聊天室"), std::string::npos);
  const ChatUser::StreamEnd frame = ann.ReadUntilClose(3000);
  const std::string last = "<font color= #000077 > 系统: 本会话因长时间没有活动已结束,请重新登录</font><BR>\n";
  EXPECT_TRUE(frame.closed) << frame.text;
  EXPECT_EQ(frame.text.substr(frame.text.size() - std::min(frame.text.size(), last.size())), last) << frame.text;
}

}  // namespace

namespace {

// A browser that stops reading its message frame is dropped once a
// megabyte waits for it, and the others go on getting their lines.
TEST(ChatSlowReader, IsClosedWithoutSlowingTheOthers) {
  ServerProcess server;
  ASSERT_TRUE(server.Start());
  ChatUser talker(server, "talker");
  talker.Join(kLobby);
  ChatUser watcher(server, "watcher");
  watcher.Join(kLobby);
  ChatUser sleeper(server, "sleeper");
  sleeper.Join(kLobby);
  // A small receive buffer, set before connecting (set later, it leaves the
  // window scaled and makes reading back crawl).
  const int stuck = ::socket(AF_INET, SOCK_STREAM, 0);
  const int small = 4096;
  ::setsockopt(stuck, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(server.HttpPort()));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::connect(stuck, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  SendAll(stuck, "GET /messages?session=" + sleeper.Session() + "&RoomName=" + UrlEncode(kLobby) +
                     " HTTP/1.0\r\nHost: t\r\n\r\n");
  // The watcher reads everything as it comes, on a thread of its own.
  const int watching = ConnectLoopback(server.HttpPort());
  SendAll(watching, "GET /messages?session=" + watcher.Session() + "&RoomName=" + UrlEncode(kLobby) +
                        " HTTP/1.0\r\nHost: t\r\n\r\n");
  std::atomic<bool> sawLast{false};
  std::thread reader([&] {
    sawLast = ReadUntilContains(watching, "still quick", 60s).find("still quick") != std::string::npos;
  });
  std::this_thread::sleep_for(200ms);
  const std::string line(1900, 'z');
  for (int i = 0; i < 2500; ++i) talker.Say(line + std::to_string(i));
  const auto start = std::chrono::steady_clock::now();
  talker.Say("still quick");
  reader.join();
  EXPECT_TRUE(sawLast);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
  // The sleeper's stream is reset once its megabyte waits; seen without
  // reading (reading would drain what waits and let the stream go on).
  pollfd entry{stuck, POLLRDHUP, 0};
  EXPECT_EQ(::poll(&entry, 1, 5000), 1);
  EXPECT_NE(entry.revents & (POLLHUP | POLLERR), 0) << "the stuck reader was dropped";
  ::close(stuck);
  ::close(watching);
}

}  // namespace
