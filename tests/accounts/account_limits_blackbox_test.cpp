// Account work under abuse, against the real server: hashes only for
// clients that wait, a bounded queue and a cap per address answered with
// the busy page at once, no hint in the time of an answer whether a name
// has an account, a failed write that is never "name taken", a cap on the
// sessions of one account and on registrations per address.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "accounts/password_hash.h"
#include "support/chat_client.h"
#include "support/http_client.h"
#include "support/server_process.h"
#include "support/site_files.h"

namespace {
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

const std::string kCreated = "注册成功，请返回";
const std::string kNameTaken = "名字已经被用";
const std::string kLobby = "大厅";

// Hashes that take a noticeable time: some 50 ms, and some 150 ms.
const std::string kSlowHash = "[user_database]\nhash_memory_kib = 32768\nhash_passes = 3\n";
const std::string kSlowerHash = "[user_database]\nhash_memory_kib = 65536\nhash_passes = 2\n";
// Requests from 127.0.0.1 name their client in X-Forwarded-For.
const std::string kBehindProxy = "[network]\ntrusted_proxies = 127.0.0.1\n";

std::string Post(const std::string& target, const std::string& body, const std::string& headers = "") {
  return "POST " + target + " HTTP/1.0\r\nContent-Length: " + std::to_string(body.size()) + "\r\n" + headers + "\r\n" +
         body;
}

std::string LogonBody(const std::string& name, const std::string& password) {
  return "username=" + UrlEncode(name) + "&password=" + UrlEncode(password);
}

std::string Forwarded(const std::string& address) { return "X-Forwarded-For: " + address + "\r\n"; }

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// A page of the site as the server answers it.
std::string SitePage(ServerProcess& server, const std::string& name) {
  return kStandardHead + AsTemplate(ReadWholeFile(server.Dir().File("htdocs/" + name)));
}

// Requests sent at once on connections of their own, then read.
std::vector<std::string> AllAtOnce(int port, const std::vector<std::string>& requests) {
  std::vector<int> connections;
  for (const std::string& request : requests) {
    const int fd = ConnectLoopback(port);
    SendAll(fd, request);
    connections.push_back(fd);
  }
  std::vector<std::string> answers;
  for (int fd : connections) {
    answers.push_back(ReadUntilClose(fd, 30s));
    ::close(fd);
  }
  return answers;
}

int CountOf(const std::vector<std::string>& answers, const std::string& answer) {
  return static_cast<int>(std::count(answers.begin(), answers.end(), answer));
}

// Clients that send a logon and go: at once (by a close, a quarter of them
// by a reset), or once their logons wait for a thread.
void LogonsThatNobodyWaitsFor(int port, const std::string& logon, bool leaveAtOnce) {
  std::vector<int> clients;
  for (int i = 0; i < (leaveAtOnce ? 200 : 120); ++i) {
    const int fd = ConnectLoopback(port);
    SendAll(fd, logon);
    if (i % 4 == 0) {
      const linger reset{1, 0};
      ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    }
    if (leaveAtOnce) {
      ::close(fd);
    } else {
      clients.push_back(fd);
    }
  }
  std::this_thread::sleep_for(200ms);
  for (int fd : clients) ::close(fd);
}

TEST(AccountLimits, LogonsWhoseClientsLeftCostNoHash) {
  for (const bool leaveAtOnce : {true, false}) {
    SCOPED_TRACE(leaveAtOnce ? "clients that left at once" : "clients that left while they waited");
    ServerProcess server(kSlowHash + "max_queued_work = 200\n");
    ASSERT_TRUE(server.Start());
    const int port = server.HttpPort();
    ASSERT_NE(HttpPost(port, "/register", LogonBody("real", "pw")).find(kCreated), std::string::npos);
    // Had each of these wrong passwords been hashed, two threads would work
    // on them for seconds.
    LogonsThatNobodyWaitsFor(port, Post("/logon", LogonBody("real", "bad")), leaveAtOnce);
    const Clock::time_point start = Clock::now();
    const std::string answer = HttpPost(port, "/logon", LogonBody("real", "pw"));
    const double seconds = SecondsSince(start);
    EXPECT_NE(answer.find("<frameset"), std::string::npos) << answer;
    EXPECT_LT(seconds, 1.5) << "the real logon waited behind the hashes of clients that had left";
  }
}

TEST(AccountLimits, AFullQueueIsAnsweredBusyAtOnce) {
  ServerProcess server(kSlowerHash + "hash_threads = 1\nmax_queued_work = 2\n");
  ASSERT_TRUE(server.Start());
  const int port = server.HttpPort();
  const std::string busy = SitePage(server, "busy.html");

  std::vector<std::string> logons;
  for (int i = 0; i < 6; ++i) logons.push_back(Post("/logon", LogonBody("nobody" + std::to_string(i), "pw")));
  const Clock::time_point start = Clock::now();
  const std::vector<int> connections = [&] {
    std::vector<int> fds;
    for (const std::string& logon : logons) {
      fds.push_back(ConnectLoopback(port));
      SendAll(fds.back(), logon);
    }
    return fds;
  }();
  // One thread and two places: at most three are taken, the others are
  // told at once, long before the first hash is done.
  // Each answer is read as it comes (in order, a busy answer would wait for
  // the hashes of the logons before it).
  struct Arrival {
    std::string answer;
    double seconds = 0;
  };
  std::vector<Arrival> arrivals(connections.size());
  std::vector<std::thread> readers;
  for (size_t i = 0; i < connections.size(); ++i) {
    readers.emplace_back([&, i] {
      arrivals[i].answer = ReadUntilClose(connections[i], 30s);
      arrivals[i].seconds = SecondsSince(start);
      ::close(connections[i]);
    });
  }
  for (std::thread& reader : readers) reader.join();
  int refused = 0;
  for (const auto& [answer, seconds] : arrivals) {
    if (answer == busy) {
      ++refused;
      EXPECT_LT(seconds, 1.0) << "the busy page came late";
    } else {
      EXPECT_EQ(answer, SitePage(server, "nameerror.html"));
    }
  }
  EXPECT_GE(refused, 3);
  EXPECT_LE(refused, 4);
  EXPECT_TRUE(server.WaitForConsole("Account work busy: the queue is full", 2s)) << server.Console();
  // The burst is over once the work is served again; the console counts it.
  std::this_thread::sleep_for(1100ms);
  EXPECT_EQ(HttpPost(port, "/logon", LogonBody("late", "pw")), SitePage(server, "nameerror.html"));
  EXPECT_TRUE(server.WaitForConsole("Account work busy: over, " + std::to_string(refused) + " refused", 2s))
      << server.Console();
}

TEST(AccountLimits, EachAddressHasItsCapOfLogonsUnderWay) {
  ServerProcess server(kBehindProxy + kSlowerHash + "hash_threads = 1\nmax_queued_work = 8\nmax_pending_per_address = 2\n");
  ASSERT_TRUE(server.Start());
  const int port = server.HttpPort();
  const std::string busy = SitePage(server, "busy.html");
  const std::string wrong = SitePage(server, "nameerror.html");

  std::vector<std::string> requests;
  for (int i = 0; i < 4; ++i) requests.push_back(Post("/logon", LogonBody("x", "pw"), Forwarded("192.0.2.1")));
  requests.push_back(Post("/logon", LogonBody("x", "pw"), Forwarded("192.0.2.2")));
  const std::vector<std::string> answers = AllAtOnce(port, requests);
  EXPECT_EQ(CountOf({answers.begin(), answers.begin() + 4}, busy), 2) << "two of the first address's four";
  EXPECT_EQ(answers[4], wrong) << "another address has its own cap";
  // Their work done, the address may log on again.
  EXPECT_EQ(CountOf(AllAtOnce(port, {requests[0], requests[1]}), wrong), 2);
  EXPECT_TRUE(server.WaitForConsole("192.0.2.1 has 2 requests under way", 2s)) << server.Console();
}

// One address never holds more than half the queue, whatever its cap: 256
// bogus logons from one address kept the queue full, and everybody else was
// told "busy".
TEST(AccountLimits, OneAddressLeavesHalfTheQueueToOthers) {
  ServerProcess server(kBehindProxy + kSlowerHash + "hash_threads = 1\nmax_queued_work = 4\nmax_pending_per_address = 8\n");
  ASSERT_TRUE(server.Start());
  const std::string busy = SitePage(server, "busy.html");
  std::vector<std::string> requests;
  for (int i = 0; i < 8; ++i) requests.push_back(Post("/logon", LogonBody("x", "pw"), Forwarded("192.0.2.1")));
  requests.push_back(Post("/logon", LogonBody("x", "pw"), Forwarded("192.0.2.2")));
  const std::vector<std::string> answers = AllAtOnce(server.HttpPort(), requests);
  EXPECT_EQ(CountOf({answers.begin(), answers.begin() + 8}, busy), 6) << "two of the first address's eight";
  EXPECT_EQ(answers[8], SitePage(server, "nameerror.html")) << "the other address finds room";
}

double LogonSeconds(int port, const std::string& name, const std::string& password) {
  const Clock::time_point start = Clock::now();
  HttpPost(port, "/logon", LogonBody(name, password));
  return SecondsSince(start);
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

TEST(AccountLimits, AnUnknownNameTakesAsLongAsAWrongPassword) {
  ServerProcess server(kSlowHash);
  ASSERT_TRUE(server.Start());
  const int port = server.HttpPort();
  ASSERT_NE(HttpPost(port, "/register", LogonBody("known", "pw")).find(kCreated), std::string::npos);
  // Taken in turns, so that a busy moment of the machine weighs on both.
  std::vector<double> wrongPassword, unknownName;
  for (int i = 0; i < 11; ++i) {
    wrongPassword.push_back(LogonSeconds(port, "known", "bad"));
    unknownName.push_back(LogonSeconds(port, "unknown", "bad"));
  }
  ASSERT_GT(Median(wrongPassword), 0.01) << "the hash is too cheap to tell anything";
  // A quarter leaves room for a busy machine; without a hash it answered in no time at all.
  EXPECT_GT(Median(unknownName), Median(wrongPassword) / 4)
      << "wrong password " << Median(wrongPassword) << " s, unknown name " << Median(unknownName) << " s";
}

TEST(AccountLimits, AnAccountFileThatCannotBeWrittenIsNoTakenName) {
  ServerProcess server("[user_database]\ndirectory = afile/users/\n");
  server.Dir().Write("afile", "a file where the account folder should be");
  ASSERT_TRUE(server.Start());
  const std::string answer = HttpPost(server.HttpPort(), "/register", LogonBody("bob", "pw"));
  EXPECT_EQ(answer, SitePage(server, "errorr.html"));
  EXPECT_EQ(answer.find(kNameTaken), std::string::npos);
  EXPECT_TRUE(server.WaitForConsole("Can't write account file afile/users/bob: Not a directory", 2s))
      << server.Console();
}

TEST(AccountLimits, ANewPasswordThatCannotBeStoredIsNoWrongPassword) {
  // An account whose name is so long that no temporary file beside it can
  // be named: its file is read, but never replaced.
  const std::string name(250, 'n');
  ServerProcess server;
  server.Dir().Write("users/" + name, HashPassword("old", HashCost{8, 1}) + "\n1700000000\n127.0.0.1\n");
  ASSERT_TRUE(server.Start());
  const std::string answer = HttpPost(server.HttpPort(), "/changepassword",
                                      "username=" + name + "&password=old&password2=new&password3=new");
  EXPECT_EQ(answer, SitePage(server, "errorc.html"));
  EXPECT_TRUE(server.WaitForConsole("account file users/" + name + ": File name too long", 2s)) << server.Console();
  const std::string file = server.Dir().Read("users/" + name);
  EXPECT_TRUE(VerifyPassword(file.substr(0, file.find('\n')), "old")) << "the password is as it was";
}

TEST(AccountLimits, AnAccountAtItsCapOfSessionsEndsTheOldest) {
  ServerProcess server("[general]\nmax_sessions_per_account = 2\n");
  ASSERT_TRUE(server.Start());
  const int port = server.HttpPort();
  ChatUser first(server, "tom");
  ASSERT_TRUE(first.LoggedOn());
  first.Join(kLobby);
  first.OpenStream(kLobby);
  first.Drain();
  auto logOn = [&] {
    std::smatch match;
    const std::string frameset = HttpPost(port, "/logon", LogonBody("tom", "pw"));
    return std::regex_search(frameset, match, std::regex("session=([0-9a-z]+)")) ? match[1].str() : "";
  };
  const std::string second = logOn();
  const std::string third = logOn();
  ASSERT_FALSE(second.empty());
  ASSERT_FALSE(third.empty());

  const ChatUser::StreamEnd frame = first.ReadUntilClose(5000);
  EXPECT_TRUE(frame.closed) << frame.text;
  EXPECT_NE(frame.text.find("本账户已在别处重新登录,本会话已结束"), std::string::npos) << frame.text;
  const std::string noSession = HttpGet(port, "/Blank?session=nosuchsession");
  EXPECT_EQ(HttpGet(port, "/Blank?session=" + first.Session()), noSession) << "the oldest session is gone";
  EXPECT_NE(HttpGet(port, "/Blank?session=" + second), noSession) << "the second stays";
  EXPECT_NE(HttpGet(port, "/Blank?session=" + third), noSession) << "the newest stays";
}

TEST(AccountLimits, RegistrationsPerAddressAreCappedPerMinute) {
  ServerProcess server(kBehindProxy + "[user_database]\nregistrations_per_minute = 2\n");
  ASSERT_TRUE(server.Start());
  const int port = server.HttpPort();
  auto registerFrom = [&](const std::string& address, const std::string& name) {
    return HttpPost(port, "/register", LogonBody(name, "pw"), Forwarded(address));
  };
  EXPECT_NE(registerFrom("192.0.2.1", "a1").find(kCreated), std::string::npos);
  EXPECT_NE(registerFrom("192.0.2.1", "a2").find(kCreated), std::string::npos);
  EXPECT_EQ(registerFrom("192.0.2.1", "a3"), SitePage(server, "toomanyreg.html"));
  EXPECT_FALSE(std::filesystem::exists(server.Dir().File("users/a3")));
  EXPECT_NE(registerFrom("192.0.2.2", "b1").find(kCreated), std::string::npos) << "another address registers";
}

}  // namespace
