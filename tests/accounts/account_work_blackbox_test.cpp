// Account work against the real server: hashing off the event loops,
// simultaneous registrations of one name, and a crash in the middle of many
// registrations.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "accounts/password_hash.h"
#include "support/http_client.h"
#include "support/server_process.h"

namespace {
using namespace std::chrono_literals;

const std::string kCreated = "注册成功，请返回";
const std::string kNameTaken = "对不起，名字已经被用，";

std::string Register(int port, const std::string& name, const std::string& password) {
  return HttpPost(port, "/register", "username=" + name + "&password=" + password);
}

std::string LogOn(int port, const std::string& name, const std::string& password) {
  return HttpPost(port, "/logon", "username=" + name + "&password=" + password);
}

// Line 1 of an account file.
std::string StoredPassword(ServerProcess& server, const std::string& name) {
  const std::string file = server.Dir().Read("users/" + name);
  return file.substr(0, file.find('\n'));
}

TEST(AccountWork, TheLoopServesOthersWhileALogonIsHashed) {
  // One loop, and a hash that takes a second or two.
  ServerProcess server("[network]\nloops = 1\n[user_database]\nhash_memory_kib = 65536\nhash_passes = 4\n");
  ASSERT_TRUE(server.Start());
  const int port = server.HttpPort();
  ASSERT_NE(Register(port, "slow", "pw").find(kCreated), std::string::npos);

  const int logon = ConnectLoopback(port);
  ASSERT_GE(logon, 0);
  ASSERT_TRUE(SendAll(logon, "POST /logon HTTP/1.0\r\nContent-Length: 25\r\n\r\nusername=slow&password=pw"));
  // Had the loop hashed, these pages would wait behind the logon's answer.
  for (int i = 0; i < 50; ++i) ASSERT_NE(HttpGet(port, "/logon.html").find("<"), std::string::npos);
  pollfd ready{logon, POLLIN, 0};
  EXPECT_EQ(::poll(&ready, 1, 0), 0) << "the logon was answered before the pages asked for after it";
  EXPECT_NE(ReadUntilClose(logon, 60s).find("<frameset"), std::string::npos);
  ::close(logon);
}

TEST(AccountWork, OfEightSimultaneousRegistrationsOfOneNameExactlyOneIsCreated) {
  // Eight hashing threads and a hash that takes a moment: all eight look
  // for the name before any of them stores it.
  ServerProcess server("[user_database]\nhash_memory_kib = 4096\nhash_threads = 8\n");
  ASSERT_TRUE(server.Start());
  constexpr int kRacers = 8;
  std::vector<std::string> answers(kRacers);
  std::atomic<int> ready{0};
  std::vector<std::thread> racers;
  for (int i = 0; i < kRacers; ++i) {
    racers.emplace_back([&, i] {
      ++ready;
      while (ready < kRacers) std::this_thread::yield();
      answers[i] = Register(server.HttpPort(), "racer", "pw" + std::to_string(i));
    });
  }
  for (std::thread& racer : racers) racer.join();
  int winner = -1;
  for (int i = 0; i < kRacers; ++i) {
    if (answers[i].find(kCreated) != std::string::npos) {
      EXPECT_EQ(winner, -1) << "a second registration was told it was created";
      winner = i;
    } else {
      EXPECT_NE(answers[i].find(kNameTaken), std::string::npos) << answers[i];
    }
  }
  ASSERT_NE(winner, -1);
  EXPECT_TRUE(VerifyPassword(StoredPassword(server, "racer"), "pw" + std::to_string(winner)));
  EXPECT_NE(LogOn(server.HttpPort(), "racer", "pw" + std::to_string(winner)).find("<frameset"), std::string::npos);
}

// The server is killed while many registrations are under way. After a
// restart every account it reported as created logs on, and every account
// file is either absent or whole.
TEST(AccountWork, AKillDuringRegistrationsLeavesNoPartialAccount) {
  ServerProcess server;
  ASSERT_TRUE(server.Start());
  constexpr int kAccounts = 200;
  auto nameOf = [](int i) { return "user" + std::to_string(i); };
  auto passwordOf = [](int i) { return "pass" + std::to_string(i * 7919); };

  // Two hundred registrations at once, one per client.
  std::atomic<int> created{0};
  std::atomic<int> finished{0};
  std::mutex lock;
  std::set<int> reported;  // guarded by lock
  std::vector<std::thread> clients;
  for (int i = 0; i < kAccounts; ++i) {
    clients.emplace_back([&, i] {
      if (Register(server.HttpPort(), nameOf(i), passwordOf(i)).find(kCreated) != std::string::npos) {
        std::lock_guard<std::mutex> guard(lock);
        reported.insert(i);
        ++created;
      }
      ++finished;
    });
  }
  // Kill it in the middle: some accounts stored, others under way.
  while (created < kAccounts / 4 && finished < kAccounts) std::this_thread::yield();
  server.Stop(SIGKILL);
  for (std::thread& client : clients) client.join();
  ASSERT_LT(static_cast<int>(reported.size()), kAccounts) << "the kill came too late to interrupt anything";

  ASSERT_TRUE(server.Start());
  for (int i : reported) {
    EXPECT_NE(LogOn(server.HttpPort(), nameOf(i), passwordOf(i)).find("<frameset"), std::string::npos) << nameOf(i);
  }
  for (int i = 0; i < kAccounts; ++i) {
    const std::string path = server.Dir().File("users/" + nameOf(i));
    if (!std::filesystem::exists(path)) continue;
    const std::string file = server.Dir().Read("users/" + nameOf(i));
    ASSERT_EQ(std::count(file.begin(), file.end(), '\n'), 3) << nameOf(i) << ": " << file;
    EXPECT_TRUE(VerifyPassword(file.substr(0, file.find('\n')), passwordOf(i))) << nameOf(i);
    EXPECT_EQ(file.substr(file.rfind('\n', file.size() - 2) + 1), "127.0.0.1\n") << nameOf(i);
  }
  // What a write left behind is never an account: its name holds a blank,
  // which no user name does.
  for (const auto& entry : std::filesystem::directory_iterator(server.Dir().File("users"))) {
    const std::string name = entry.path().filename().string();
    const bool blank = name.find(' ') != std::string::npos;
    EXPECT_TRUE(blank || name.rfind("user", 0) == 0) << name;
  }
}

}  // namespace
