// The file server stays inside the document folder: no symbolic link is
// followed, only regular files are served, and the settings, the account
// files and the logs are never served, whatever folder the site serves.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <thread>

#include "support/http_client.h"
#include "support/server_process.h"
#include "support/site_files.h"

namespace {
using namespace std::chrono_literals;

const std::string kGifHead = "HTTP/1.0 200 OK\r\nContent-type: image/gif\r\n\r\n";

TEST(FilesStayInside, NoLinkIsFollowedAndOnlyRegularFilesAreServed) {
  ServerProcess server;
  TempDir& dir = server.Dir();
  dir.Write("secret.txt", "outside the document folder\n");
  dir.Write("outside/page.html", "outside page\n");
  dir.Write("outside/pic.gif", "GIF89a outside");
  const auto link = [&](const std::string& target, const std::string& name) {
    ASSERT_EQ(::symlink(target.c_str(), dir.File("htdocs/" + name).c_str()), 0) << name;
  };
  link("/etc/passwd", "passwd.html");
  link("../secret.txt", "secret.html");
  link("../outside", "out");
  link("../outside/pic.gif", "link.gif");
  link("logon.html", "alias.html");  // a link that stays inside is not followed either
  ASSERT_EQ(::mkfifo(dir.File("htdocs/pipe.html").c_str(), 0644), 0);
  ASSERT_TRUE(server.Start());

  const struct {
    const char* path;
    std::string answer;
  } cases[] = {
      {"/passwd.html", kStandardHead},  {"/secret.html", kStandardHead}, {"/out/page.html", kStandardHead},
      {"/alias.html", kStandardHead},   {"/pipe.html", kStandardHead},   {"/image", kStandardHead},
      {"/link.gif", ""},                {"/out/pic.gif", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(Exchange(server.HttpPort(), std::string("GET ") + c.path + " HTTP/1.0\r\n\r\n", 3s), c.answer) << c.path;
  // What is really inside is served as before.
  EXPECT_EQ(HttpGet(server.HttpPort(), "/image/logo.gif"), kGifHead + ReadWholeFile(dir.File("htdocs/image/logo.gif")));
  EXPECT_EQ(HttpGet(server.HttpPort(), "/logon.html"), kStandardHead + AsTemplate(ReadWholeFile(dir.File("htdocs/logon.html"))));
}

// With [Path] current empty the working directory is the document folder;
// it holds the settings, the accounts and the logs, none of which is served.
TEST(FilesStayInside, SettingsAccountsAndLogsAreNeverServed) {
  ServerProcess server("[Path]\ncurrent = \"\"\n[user_database]\ndirectory = accounts/\n");
  server.Dir().Write("evidence.log", "a record\n");
  server.Dir().Write("managerlist.txt", "boss:大厅\n");
  server.Dir().Write("page.html", "a page\n");
  ASSERT_TRUE(server.Start());
  ASSERT_NE(HttpPost(server.HttpPort(), "/register", "username=tom&password=pw").find("注册成功"), std::string::npos);
  ASSERT_NE(HttpPost(server.HttpPort(), "/register", "username=x.gif&password=pw").find("注册成功"), std::string::npos);
  ASSERT_TRUE(std::filesystem::exists(server.Dir().File("accounts/tom")));
  EXPECT_EQ(HttpGet(server.HttpPort(), "/accounts/x.gif"), "") << "nor as a picture";
  for (const char* path : {"/evidence.log", "/managerlist.txt", "/accounts/tom", "/./accounts//tom", "/tolvann2.ini"}) {
    EXPECT_EQ(HttpGet(server.HttpPort(), path), kStandardHead) << path;
  }
  EXPECT_EQ(HttpGet(server.HttpPort(), "/page.html"), kStandardHead + "a page\n\r\n");
  EXPECT_EQ(HttpGet(server.HttpPort(), "/htdocs/nameerror.html"),
            kStandardHead + AsTemplate(ReadWholeFile(server.Dir().File("htdocs/nameerror.html"))));
}

}  // namespace
