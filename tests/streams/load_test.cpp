// Many users at once: posters, listeners, users joining and leaving, and
// idle users expiring, all for twenty seconds. Run under ThreadSanitizer
// (make test-tsan), any data race in the server fails it.
#include <gtest/gtest.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <map>
#include <memory>
#include <thread>
#include <vector>

#include "support/chat_client.h"
#include "support/http_client.h"
#include "support/server_process.h"
#include "support/site_files.h"

namespace {
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

const std::string kLobby = "大厅";

// The open message frames of many users, drained by one thread.
class Listeners {
 public:
  ~Listeners() {
    for (auto& [fd, tail] : m_tails) ::close(fd);
    if (m_epoll >= 0) ::close(m_epoll);
  }
  void Open(int port, const std::string& session) {
    const int fd = ConnectLoopback(port);
    SendAll(fd, "GET /messages?session=" + session + "&RoomName=" + UrlEncode(kLobby) + " HTTP/1.0\r\nHost: t\r\n\r\n");
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.fd = fd;
    ::epoll_ctl(m_epoll, EPOLL_CTL_ADD, fd, &event);
    m_tails[fd];
  }
  // Reads what arrives until every stream has shown the text (or the time is up).
  bool WaitForAll(const std::string& text, std::chrono::milliseconds timeout) {
    const auto end = Clock::now() + timeout;
    while (Clock::now() < end) {
      Drain(50);
      bool all = true;
      for (const auto& [fd, tail] : m_tails) all = all && tail.find(text) != std::string::npos;
      if (all) return true;
    }
    return false;
  }
  void Drain(int milliseconds) {
    epoll_event events[64];
    const int ready = ::epoll_wait(m_epoll, events, 64, milliseconds);
    char buffer[16384];
    for (int i = 0; i < ready; ++i) {
      const ssize_t got = ::recv(events[i].data.fd, buffer, sizeof buffer, MSG_DONTWAIT);
      if (got <= 0) continue;
      std::string& tail = m_tails[events[i].data.fd];
      tail.append(buffer, static_cast<size_t>(got));
      if (tail.size() > 8192) tail.erase(0, tail.size() - 4096);
    }
  }

 private:
  int m_epoll = ::epoll_create1(0);
  std::map<int, std::string> m_tails;
};

TEST(ChatUnderLoad, PostersListenersJoinsLeavesAndIdleExpiryAtOnce) {
  ServerProcess server("[network]\nsession_timeout = 3\n");
  ASSERT_TRUE(server.Start());
  std::vector<std::unique_ptr<ChatUser>> listening;
  Listeners streams;
  for (int i = 0; i < 200; ++i) {
    listening.push_back(std::make_unique<ChatUser>(server, "listen" + std::to_string(i)));
    listening.back()->Join(kLobby);
    streams.Open(server.HttpPort(), listening.back()->Session());
  }
  std::atomic<bool> stop{false};
  std::atomic<int> posted{0};
  std::vector<std::thread> threads;
  for (int p = 0; p < 16; ++p) {
    threads.emplace_back([&, p] {
      ChatUser poster(server, "poster" + std::to_string(p));
      poster.Join(kLobby);
      for (int line = 0; !stop; ++line) {
        poster.Say("line " + std::to_string(line));
        ++posted;
      }
    });
  }
  for (int j = 0; j < 3; ++j) {
    threads.emplace_back([&, j] {
      for (int round = 0; !stop; ++round) {
        ChatUser mover(server, "mover" + std::to_string(j) + "_" + std::to_string(round));
        mover.Join(round % 2 ? kLobby : "Room" + std::to_string(j));
        mover.OpenStream(kLobby);
        mover.Say("/join Elsewhere" + std::to_string(j));
        mover.Join("Elsewhere" + std::to_string(j));
        mover.Get("/logout?session=" + mover.Session());
      }
    });
  }
  threads.emplace_back([&] {
    for (int round = 0; !stop; ++round) {  // users who log on, enter and then stay silent
      ChatUser idle(server, "idle" + std::to_string(round));
      idle.Join("Quiet");
      std::this_thread::sleep_for(200ms);
    }
  });
  const auto end = Clock::now() + 20s;
  while (Clock::now() < end) streams.Drain(50);  // the listeners keep reading
  stop = true;
  for (std::thread& thread : threads) thread.join();

  EXPECT_GT(posted, 1000);
  ChatUser last(server, "last");
  last.Join(kLobby);
  last.Say("the very last line");
  EXPECT_TRUE(streams.WaitForAll("the very last line", 10s)) << "every listener still gets lines";
  const std::string quiet = HttpGet(server.HttpPort(), "/roomlist?rn=%cf%b5%cd%b3&session=" + last.Session());
  EXPECT_NE(quiet.find("在线总人数:"), std::string::npos) << "the server still answers pages";
}

}  // namespace
