// The HTTP front end as browsers see it: the real binary over real sockets.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>
#include <vector>

#include "html/page.h"
#include "support/http_client.h"
#include "support/site_files.h"
#include "support/server_process.h"

namespace {
using namespace std::chrono_literals;

class HttpServer : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    s_server = new ServerProcess();
    std::string big;
    for (int i = 0; i < 1000; ++i) big += std::string(49, 'a' + i % 26) + "\n";
    s_server->Dir().Write("htdocs/big.html", big);  // 50000 bytes
    s_server->Dir().Write("htdocs/long-line.html", std::string(5000, 'x'));
    s_server->Dir().Write("htdocs/crlf.html", "line one\r\nline two");
    s_server->Dir().Write("htdocs/pics/a.gif.html", "not read");
    s_server->Dir().Write("htdocs/pics/a=b.gif", "GIF89a named with =");
    s_server->Dir().Write("htdocs/messages", "static messages file");
    s_server->Dir().Write("htdocs/Logon", "capital logon");
    ASSERT_TRUE(s_server->Start());
  }
  static void TearDownTestSuite() {
    delete s_server;
    s_server = nullptr;
  }
  static int Port() { return s_server->HttpPort(); }
  static std::string Site(const std::string& name) { return ReadWholeFile(s_server->Dir().File("htdocs/" + name)); }

  static ServerProcess* s_server;
};
ServerProcess* HttpServer::s_server = nullptr;

TEST_F(HttpServer, RootServesTheLogonPageAsATemplate) {
  EXPECT_EQ(HttpGet(Port(), "/"), kStandardHead + AsTemplate(Site("logon.html")));
}

TEST_F(HttpServer, ForbiddenNamesServeTheLogonPage) {
  const std::string logon = kStandardHead + AsTemplate(Site("logon.html"));
  for (const char* path : {"/../tolvann2.ini", "/tolvann2.ini", "/x.Ini", "/users/tom", "/Users", "/a/../logon.html"}) {
    EXPECT_EQ(HttpGet(Port(), path), logon) << path;
  }
}

TEST_F(HttpServer, TemplatesKeepTheirLineEndsAndGainCrLf) {
  EXPECT_EQ(HttpGet(Port(), "/crlf.html"), kStandardHead + "line one\n\r\nline two\r\n");
}

TEST_F(HttpServer, MissingFileGetsTheHeadAlone) { EXPECT_EQ(HttpGet(Port(), "/nothing-here.html"), kStandardHead); }

TEST_F(HttpServer, PathsOutsideTheTableAreStaticFiles) {
  EXPECT_EQ(HttpGet(Port(), "/Logon"), kStandardHead + "capital logon\r\n");
  EXPECT_EQ(HttpGet(Port(), "/logon/"), kStandardHead) << "'logon/' names no file";
  EXPECT_EQ(HttpGet(Port(), "/messages"), kStandardHead + "static messages file\r\n");
}

// A picture is the answer itself, sent as it is on disk, whatever its name
// holds; a missing one gets nothing, then the close.
TEST_F(HttpServer, GifIsSentAsItsHeadAndBytes) {
  const std::string head = "HTTP/1.0 200 OK\r\nContent-type: image/gif\r\n\r\n";
  ASSERT_FALSE(Site("image/logo.gif").empty());
  const struct {
    const char* path;
    std::string answer;
  } cases[] = {
      {"/image/logo.gif", head + Site("image/logo.gif")},
      {"/image/missing.gif", ""},
      {"/pics/a.gif.html", head + "not read"},  // ".gif" in the middle is a picture too
      {"/pics/a=b.gif", head + "GIF89a named with ="},
      {"/image/logo.gif?x=1", head + Site("image/logo.gif")},
  };
  for (const auto& [path, answer] : cases) EXPECT_EQ(HttpGet(Port(), path), answer) << path;
}

TEST_F(HttpServer, LargePageGoesOutWhole) {
  // The client reads slowly, so the page leaves over several writable turns.
  const int fd = ConnectLoopback(Port());
  const int small = 4096;
  ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
  SendAll(fd, "GET /big.html HTTP/1.0\r\nHost: t\r\n\r\n");
  std::this_thread::sleep_for(200ms);
  const std::string answer = ReadUntilClose(fd);
  ::close(fd);
  EXPECT_EQ(answer, kStandardHead + AsTemplate(Site("big.html")));
}

TEST_F(HttpServer, TemplateLinesLongerThan2047BytesComeInPieces) {
  EXPECT_EQ(HttpGet(Port(), "/long-line.html"),
            kStandardHead + std::string(2047, 'x') + "\r\n" + std::string(2047, 'x') + "\r\n" + std::string(906, 'x') + "\r\n");
}

TEST_F(HttpServer, BlankWithoutUserGetsTheInvalidSessionNotice) {
  const std::string notice =
      kStandardHead + "<HTML><HEAD>" + std::string(PageHead()) + "<TITLE></TITLE></HEAD><BODY>" +
      AsTemplate(Site("title.html")) +
      "<table bgcolor=#e9f8fe align=\"center\" height=\"300\" border=\"0\" cellpadding=\"0\" cellspacing=\"0\" "
      "width=\"704\"><tr></tr><tr><td width=\"100%\" align=\"center\" align=\"center\"><br><br><br><font "
      "color=\"#FF0000\"><b>对不起，您的登录已经信息无效</font><br><br>请重新[<A HREF=\"/logon.html\" "
      "TARGET=\"_top\">登录</A>]</p></td></tr><tr><td width=\"100%\" align=\"center\"><br><br><br><br></td></tr>"
      "</table>\r\n" +
      AsTemplate(Site("tail.html")) + "</BODY></HTML>\n\n";
  EXPECT_EQ(HttpGet(Port(), "/Blank"), notice);
  EXPECT_EQ(HttpGet(Port(), "/goto?session=nobody"), notice);
  EXPECT_EQ(HttpPost(Port(), "/Blank", "session=nobody&message=hi"), notice);
  // The query of a POST stays in its path: "/Blank?x=1" is a static file.
  EXPECT_EQ(HttpPost(Port(), "/Blank?x=1", "session=x"), kStandardHead);
}

TEST_F(HttpServer, UnservedRequestsCloseWithoutAnAnswer) {
  const std::string cases[] = {
      "HEAD / HTTP/1.0\r\n\r\n",
      "get / HTTP/1.0\r\nHost: x\r\n\r\n",
      "GET /" + std::string(9000, 'a') + " HTTP/1.0\r\n\r\n",
      "\xff\x80 junk\r\n\r\n",
      "GET /x HTTP/1.0\r\n" + std::string(9000, 'h') + "\r\n\r\n",
      "POST /x HTTP/1.0\r\nContent-Length: 99999999999\r\n\r\n",
      // Content-Length is digits alone, and one value however often it is said.
      "POST /nothing.html HTTP/1.0\r\nContent-Length: 3abc\r\n\r\nabc",
      "POST /nothing.html HTTP/1.0\r\nContent-Length: +3\r\n\r\nabc",
      "POST /nothing.html HTTP/1.0\r\nContent-Length: 3, 3\r\n\r\nabc",
      "POST /nothing.html HTTP/1.0\r\nContent-Length: 3\r\nContent-Length: 5\r\n\r\nabcde",
      "POST /nothing.html HTTP/1.0\r\nContent-Length: 5\r\ncontent-length: 3\r\n\r\nabcde",
  };
  for (const std::string& request : cases) EXPECT_EQ(Exchange(Port(), request, 3s), "") << request.substr(0, 60);
}

// Requests that are valid though unusual are answered at once: no header
// lines at all, a Content-Length in other letter case (proxies lower-case
// header names), an empty body. A POST that does not say how long its body
// is cannot be read: it is closed at once.
TEST_F(HttpServer, UnusualButValidRequestsAreAnsweredAtOnce) {
  const std::string cases[] = {
      "GET /nothing.html HTTP/1.0\r\n\r\n",
      "GET /nothing.html\n\n",
      "POST /nothing.html HTTP/1.0\r\ncontent-length: 3\r\n\r\nabc",
      "POST /nothing.html HTTP/1.0\r\nCONTENT-LENGTH: 3\r\n\r\nabc",
      "POST /nothing.html HTTP/1.0\r\nContent-Length: 0\r\n\r\n",
      "POST /nothing.html HTTP/1.0\r\nContent-Length: 3\r\nContent-Length:3\r\n\r\nabc",
  };
  for (const std::string& request : cases) EXPECT_EQ(Exchange(Port(), request, 2s), kStandardHead) << request;
  const int fd = ConnectLoopback(Port());
  SendAll(fd, "POST /Blank HTTP/1.0\r\nHost: x\r\n\r\nsession=x");
  EXPECT_TRUE(WaitForClose(fd, 1s)) << "a POST without Content-Length";
  ::close(fd);
}

TEST_F(HttpServer, PeerResetMidResponseLeavesTheServerServing) {
  for (int i = 0; i < 20; ++i) {
    const int fd = ConnectLoopback(Port());
    SendAll(fd, "GET /big.html HTTP/1.0\r\nHost: t\r\n\r\n");
    linger reset{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    ::close(fd);  // RST while the page is going out
  }
  EXPECT_EQ(HttpGet(Port(), "/nothing-here.html"), kStandardHead);
}

// Nothing is served on the telnet port: its clients are closed at once
// instead of hanging in its backlog.
TEST_F(HttpServer, TelnetClientsAreClosedAtOnce) {
  std::vector<int> clients;
  for (int i = 0; i < 50; ++i) clients.push_back(ConnectLoopback(s_server->TelnetPort()));
  for (int fd : clients) {
    ASSERT_GE(fd, 0);
    EXPECT_TRUE(WaitForClose(fd, 2s));
    ::close(fd);
  }
}

// A short connection_timeout: silent clients are closed at their deadline
// while other clients are served meanwhile.
TEST(HttpDeadline, SilentClientIsClosedAndOthersAreServed) {
  ServerProcess server("[general]\nconnection_timeout = 2\n");
  ASSERT_TRUE(server.Start());
  std::vector<int> silent;
  for (int i = 0; i < 50; ++i) silent.push_back(ConnectLoopback(server.HttpPort()));
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(HttpGet(server.HttpPort(), "/nothing.html"), kStandardHead);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
  for (int fd : silent) {
    EXPECT_TRUE(WaitForClose(fd, 4s));
    ::close(fd);
  }
  EXPECT_GE(std::chrono::steady_clock::now() - start, 1500ms);
  // A request that is still arriving when its time is up is closed too.
  const int slow = ConnectLoopback(server.HttpPort());
  SendAll(slow, "GET /nothing.html HTTP/1.0\r\n");
  EXPECT_TRUE(WaitForClose(slow, 4s));
  ::close(slow);
}

}  // namespace

namespace {

// A port that cannot be opened is said on the console, and the server ends
// with a non-zero code instead of serving nothing.
TEST(HttpPort, ABusyPortIsReportedAndEndsTheServer) {
  ServerProcess first;
  ASSERT_TRUE(first.Start());
  ServerProcess second("[network]\nhttp_port = " + std::to_string(first.HttpPort()) + "\n");
  ASSERT_TRUE(second.Start({"-debug"}, false));
  EXPECT_EQ(second.WaitForExit(5s), 1);
  EXPECT_NE(second.Console().find("Can't listen on port " + std::to_string(first.HttpPort()) + ": Address already in use"),
            std::string::npos)
      << second.Console();
  EXPECT_EQ(HttpGet(first.HttpPort(), "/nothing.html"), kStandardHead) << "the first server keeps all its clients";
}

}  // namespace
