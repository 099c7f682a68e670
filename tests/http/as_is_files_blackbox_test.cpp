// The phone client's files and style sheets and scripts go out byte for
// byte with their own content type and character set (the client's folder
// is UTF-8, the classic pages GB2312); "/app" and "/app/" open the client;
// the classic pages keep their template answer.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <thread>

#include "support/http_client.h"
#include "support/server_process.h"
#include "support/site_files.h"

namespace {
using namespace std::chrono_literals;

std::string HeadOf(const std::string& answer) { return answer.substr(0, answer.find("\r\n\r\n") + 2); }

std::string StatusOf(const std::string& answer) { return answer.substr(0, answer.find("\r\n")); }

TEST(AsIsFiles, ClientFilesGoOutAsTheyAreWithTheirTypes) {
  ServerProcess server;
  TempDir& dir = server.Dir();
  // Line ends of both kinds, a line longer than a template piece, UTF-8.
  const std::string script = "const a = '\xe4\xb8\xad\xe6\x96\x87';\r\nconst b = 2;\n" + std::string(3000, 'x') + "\n";
  dir.Write("htdocs/app/probe.js", script);
  dir.Write("htdocs/app/probe.css", "body { color: #111; }\n");
  dir.Write("htdocs/app/sub/index.html", "<p>\xe9\xa1\xb5</p>");
  dir.Write("htdocs/style.css", "p { margin: 0 }\n");
  dir.Write("htdocs/script.js", "var x = 1;\n");
  ASSERT_EQ(::symlink("../logon.html", dir.File("htdocs/app/linked.html").c_str()), 0);
  ASSERT_TRUE(server.Start());
  const std::string index = ReadWholeFile(dir.File("htdocs/app/index.html"));
  ASSERT_NE(index.find("lang=\"zh-CN\""), std::string::npos);

  const struct {
    const char* path;
    const char* status;
    const char* contentType;
    std::string body;
  } cases[] = {
      {"/app", "200 OK", "text/html; charset=utf-8", index},
      {"/app/", "200 OK", "text/html; charset=utf-8", index},
      {"/app/index.html", "200 OK", "text/html; charset=utf-8", index},
      {"/app/probe.js", "200 OK", "text/javascript; charset=utf-8", script},
      {"/app/probe.css", "200 OK", "text/css; charset=utf-8", "body { color: #111; }\n"},
      {"/app/sub/", "200 OK", "text/html; charset=utf-8", "<p>\xe9\xa1\xb5</p>"},
      {"/style.css", "200 OK", "text/css; charset=gb2312", "p { margin: 0 }\n"},
      {"/script.js", "200 OK", "text/javascript; charset=gb2312", "var x = 1;\n"},
      {"/app/missing.js", "404 Not Found", "text/plain; charset=utf-8", "not found\n"},
      {"/app/linked.html", "404 Not Found", "text/plain; charset=utf-8", "not found\n"},
  };
  for (const auto& c : cases) {
    const std::string answer = HttpGet(server.HttpPort(), c.path);
    EXPECT_EQ(StatusOf(answer), std::string("HTTP/1.1 ") + c.status) << c.path;
    EXPECT_NE(HeadOf(answer).find(std::string("\r\nContent-Type: ") + c.contentType + "\r\n"), std::string::npos)
        << c.path << "\n" << HeadOf(answer);
    EXPECT_NE(HeadOf(answer).find("\r\nContent-Length: " + std::to_string(c.body.size()) + "\r\n"), std::string::npos)
        << c.path;
    EXPECT_EQ(BodyOf(answer), c.body) << c.path;
  }
  // The classic pages and pictures are answered as before.
  EXPECT_EQ(HttpGet(server.HttpPort(), "/logon.html"), kStandardHead + AsTemplate(ReadWholeFile(dir.File("htdocs/logon.html"))));
  EXPECT_EQ(HttpGet(server.HttpPort(), "/image/logo.gif"),
            "HTTP/1.0 200 OK\r\nContent-type: image/gif\r\n\r\n" + ReadWholeFile(dir.File("htdocs/image/logo.gif")));
  EXPECT_EQ(HttpGet(server.HttpPort(), "/app/../tolvann2.ini"), kStandardHead + AsTemplate(ReadWholeFile(dir.File("htdocs/logon.html"))));
}

// A browser asks for the client's files over one kept connection.
TEST(AsIsFiles, ABrowserFetchesTheClientOverOneConnection) {
  ServerProcess server;
  ASSERT_TRUE(server.Start());
  const int fd = ConnectLoopback(server.HttpPort());
  ASSERT_GE(fd, 0);
  for (const char* path : {"/app/", "/app/app.css", "/app/app.js"}) {
    ASSERT_TRUE(SendAll(fd, std::string("GET ") + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n")) << path;
    const std::string answer = ReadUntilContains(fd, "\r\n\r\n", 5s);
    EXPECT_EQ(StatusOf(answer), "HTTP/1.1 200 OK") << path;
    EXPECT_NE(answer.find("Connection: keep-alive"), std::string::npos) << path;
    const size_t lengthAt = answer.find("Content-Length: ");
    ASSERT_NE(lengthAt, std::string::npos) << path;
    const size_t length = std::stoul(answer.substr(lengthAt + 16));
    std::string all = answer;
    while (BodyOf(all).size() < length && ReadSome(fd, all, std::chrono::steady_clock::now() + 5s)) {
    }
    EXPECT_EQ(BodyOf(all).size(), length) << path;
  }
  ::close(fd);
}

}  // namespace
