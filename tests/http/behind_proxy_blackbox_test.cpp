// A site behind a reverse proxy: the listening sockets on one address only,
// and the client's address taken from a trusted proxy's headers (and from
// nobody else's) wherever a user's address counts: bans, the chief's view of
// users, the account file. The test stands in for the proxy: it connects
// from 127.0.0.1 and names each user's address in X-Forwarded-For.
#include <gtest/gtest.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "support/chat_client.h"
#include "support/http_client.h"
#include "support/server_process.h"
#include "support/site_files.h"
#include "support/tool_process.h"

namespace {
using namespace std::chrono_literals;

const std::string kLobby = "大厅";

std::string ForwardedFor(const std::string& address) { return "X-Forwarded-For: " + address + "\r\n"; }

// The address a logon wrote into the account file (its third line).
std::string StoredAddress(ServerProcess& server, const std::string& name) {
  const std::string account = ReadWholeFile(server.Dir().File("users/" + name));
  const size_t second = account.find('\n');
  const size_t third = second == std::string::npos ? second : account.find('\n', second + 1);
  if (third == std::string::npos) return "<no address line>";
  return account.substr(third + 1, account.find('\n', third + 1) - third - 1);
}

bool Accepts(const std::string& address, int port) {
  const int fd = ConnectTo(address, port);
  if (fd >= 0) ::close(fd);
  return fd >= 0;
}

// With bind_address the ports are open on that address alone, so users
// cannot go around the proxy (127.0.0.2 is another address of this machine).
TEST(BindAddress, ThePortsListenOnThatAddressOnly) {
  ServerProcess server("[network]\nbind_address = 127.0.0.1   ; behind the proxy\n");
  ASSERT_TRUE(server.Start());
  EXPECT_EQ(HttpGet(server.HttpPort(), "/nothing.html"), kStandardHead);
  for (const int port : {server.HttpPort(), server.TelnetPort()}) {
    EXPECT_TRUE(Accepts("127.0.0.1", port)) << port;
    EXPECT_FALSE(Accepts("127.0.0.2", port)) << port;
  }
}

// An address the server cannot listen on, or a trusted proxy it cannot
// read, is said on the console and ends the server with a non-zero code.
TEST(BindAddress, SettingsItCannotFollowEndTheServer) {
  const struct {
    std::string ini;
    std::string said;  // %PORT% stands for the HTTP port
  } cases[] = {
      {"bind_address = 127.0.0.300\n", "Can't listen on 127.0.0.300 port %PORT%: \"127.0.0.300\" is not an IPv4 address"},
      {"bind_address = localhost\n", "Can't listen on localhost port %PORT%: \"localhost\" is not an IPv4 address"},
      {"bind_address = 192.0.2.1\n", "Can't listen on 192.0.2.1 port %PORT%: Cannot assign requested address"},
      {"trusted_proxies = 127.0.0.1, proxy.example\n",
       "[network] trusted_proxies: \"proxy.example\" is neither an address nor a network"},
  };
  for (const auto& c : cases) {
    ServerProcess server("[network]\n" + c.ini);
    ASSERT_TRUE(server.Start({"-debug"}, false));
    EXPECT_EQ(server.WaitForExit(5s), 1) << c.ini;
    std::string said = c.said;
    if (const size_t at = said.find("%PORT%"); at != std::string::npos) {
      said.replace(at, 6, std::to_string(server.HttpPort()));
    }
    EXPECT_NE(server.Console().find(said), std::string::npos) << c.ini << server.Console();
  }
}

class BehindAProxy : public ::testing::Test {
 protected:
  void Start(const std::string& trustedProxies) {
    m_server = std::make_unique<ServerProcess>("[network]\ntrusted_proxies = " + trustedProxies + "\n");
    m_server->Dir().Write("managerlist.txt", "boss:" + kLobby + "\n");
    ASSERT_TRUE(m_server->Start());
    ASSERT_TRUE(SetPasswordWithTool(*m_server, "admin", "pw"));  // the chief of the bundled ini
  }
  // A user in the lobby with his message frame open; every request of his
  // names the address.
  std::unique_ptr<ChatUser> InLobby(const std::string& name, const std::string& address) {
    auto user = std::make_unique<ChatUser>(*m_server, name, ForwardedFor(address));
    EXPECT_TRUE(user->LoggedOn()) << name;
    user->Join(kLobby);
    user->OpenStream(kLobby);
    return user;
  }
  std::string LogOn(const std::string& name, const std::string& headers) {
    HttpPost(m_server->HttpPort(), "/register", "username=" + name + "&password=pw", headers);
    return HttpPost(m_server->HttpPort(), "/logon", "username=" + name + "&password=pw", headers);
  }
  bool Banned(const std::string& answer) { return answer == kStandardHead + Template("banned.html"); }
  std::string Template(const std::string& name) {
    return AsTemplate(ReadWholeFile(m_server->Dir().File("htdocs/" + name)));
  }

  std::unique_ptr<ServerProcess> m_server;
};

// Every user of the proxy comes from 127.0.0.1; a ban hits the address the
// proxy names for the banned user, not the proxy.
TEST_F(BehindAProxy, ABanHitsTheBannedUserOnly) {
  Start("10.0.0.0/8, 127.0.0.1");
  auto boss = InLobby("boss", "198.51.100.1");
  auto bob = InLobby("bob", "203.0.113.7");
  auto cat = InLobby("cat", "2001:db8::8");
  auto admin = InLobby("admin", "198.51.100.9");  // [general] ManagerName: he sees addresses
  EXPECT_EQ(StoredAddress(*m_server, "bob"), "203.0.113.7");
  EXPECT_EQ(StoredAddress(*m_server, "cat"), "2001:db8::8");
  admin->Say("/checkmoney bob");
  EXPECT_NE(admin->WaitFor("&nbsp;").find("检查结果: bob(203.0.113.7):" + kLobby + "&nbsp;"), std::string::npos);

  boss->Say("/ban bob");
  EXPECT_NE(bob->WaitFor("十分钟").find("(bob)因为言语不太文明被踢出且IP被绊住"), std::string::npos);
  EXPECT_TRUE(Banned(LogOn("bob", ForwardedFor("203.0.113.7"))));
  EXPECT_TRUE(Banned(LogOn("ann", ForwardedFor("1.1.1.1, 203.0.113.7")))) << "any name from that address";
  EXPECT_TRUE(Banned(LogOn("ann", "X-Real-IP: 203.0.113.7\r\n")));

  // Everybody else behind the proxy goes on.
  cat->Say("还在");
  EXPECT_NE(boss->WaitFor("还在").find("还在"), std::string::npos);
  auto dan = InLobby("dan", "203.0.113.8");
  dan->Say("我也在");
  EXPECT_NE(cat->WaitFor("我也在").find("我也在"), std::string::npos);
  EXPECT_FALSE(Banned(LogOn("eve", ""))) << "a request the proxy names nobody in has the proxy's address";
}

// From a peer that is not a trusted proxy the headers mean nothing: a user
// cannot name an address of his choice, nor leave a ban behind with one.
TEST_F(BehindAProxy, ForgedHeadersFromAnyoneElseAreIgnored) {
  Start("10.0.0.0/8");
  auto boss = InLobby("boss", "198.51.100.1");
  auto bob = InLobby("bob", "203.0.113.7");
  auto admin = InLobby("admin", "198.51.100.9");
  EXPECT_EQ(StoredAddress(*m_server, "bob"), "127.0.0.1");
  admin->Say("/checkmoney bob");
  EXPECT_NE(admin->WaitFor("&nbsp;").find("检查结果: bob(127.0.0.1):" + kLobby + "&nbsp;"), std::string::npos);

  boss->Say("/ban bob");
  EXPECT_NE(bob->WaitFor("十分钟").find("IP被绊住"), std::string::npos);
  for (const std::string& headers : {ForwardedFor("192.0.2.55"), std::string("X-Real-IP: 192.0.2.56\r\n"), std::string()}) {
    EXPECT_TRUE(Banned(LogOn("bob", headers))) << headers;
  }
}

}  // namespace
