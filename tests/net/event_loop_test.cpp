#include "net/event_loop.h"

#include <gtest/gtest.h>
#include <sys/socket.h>

#include <atomic>
#include <functional>
#include <memory>
#include <stdexcept>
#include <thread>
#include <utility>
#include <vector>

#include "net/connection.h"
#include "platform/clock.h"
#include "support/http_client.h"

namespace {
using namespace std::chrono_literals;

// A loop on a thread of its own for the length of a test.
class LoopThread {
 public:
  explicit LoopThread(int index = 3) : m_loop(index), m_thread([this] { m_loop.Run(); }) {}
  ~LoopThread() {
    m_loop.Quit();
    m_thread.join();
  }
  net::CEventLoop& Loop() { return m_loop; }
  // Runs the task on the loop and waits for it.
  void RunOnLoop(std::function<void()> task) {
    std::atomic<bool> done{false};
    m_loop.Post([&] {
      task();
      done = true;
    });
    while (!done) std::this_thread::sleep_for(1ms);
  }

 private:
  net::CEventLoop m_loop;
  std::thread m_thread;
};

// Echoes what it reads; counts the calls it gets.
struct Echo : net::CConnectionHandler {
  std::atomic<int>* closes;
  explicit Echo(std::atomic<int>* closed) : closes(closed) {}
  void OnInput(net::CConnection& connection) override {
    connection.Send(connection.Input());
    connection.Input().clear();
  }
  void OnClose(net::CConnection&) override { ++*closes; }
};

TEST(EventLoop, PostedTasksRunOnTheLoopInOrder) {
  LoopThread thread;
  std::string order;
  std::atomic<bool> sawLoopThread{true};
  for (int i = 0; i < 5; ++i) {
    thread.Loop().Post([&, i] {
      order += std::to_string(i);
      sawLoopThread = sawLoopThread && thread.Loop().InLoopThread();
    });
  }
  thread.RunOnLoop([&] { thread.Loop().RunAfter(20, [&] { order += "t"; }); });
  std::this_thread::sleep_for(100ms);
  thread.RunOnLoop([] {});
  EXPECT_EQ(order, "01234t");
  EXPECT_TRUE(sawLoopThread);
  EXPECT_FALSE(thread.Loop().InLoopThread());
}

// Delivery writes a line at once only when nothing posted waits: a task
// that runs must see the tasks posted after it as waiting, even those the
// loop already took from its queue in the same turn.
TEST(EventLoop, ARunningTaskSeesTheTasksAfterItAsWaiting) {
  LoopThread thread;
  std::atomic<int> sawWaiting{-1};
  thread.RunOnLoop([&] {
    // Posted from the loop's own thread: both run in the next turn.
    thread.Loop().Post([&] { sawWaiting = thread.Loop().HasPostedTasks() ? 1 : 0; });
    thread.Loop().Post([] {});
  });
  thread.RunOnLoop([] {});
  EXPECT_EQ(sawWaiting, 1);
  thread.RunOnLoop([&] { sawWaiting = thread.Loop().HasPostedTasks() ? 1 : 0; });
  EXPECT_EQ(sawWaiting, 0) << "the last task waits for nothing";
}

TEST(EventLoop, ConnectionsReadWriteQueueAndClose) {
  LoopThread thread;
  int pair[2];
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, pair), 0);
  const int small = 4096;
  ::setsockopt(pair[0], SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
  std::atomic<int> closes{0};
  net::ConnectionId id = 0;
  thread.RunOnLoop([&] {
    id = thread.Loop().Adopt(platform::CUniqueFd(pair[0]), "10.0.0.9", std::make_unique<Echo>(&closes)).Id();
  });
  EXPECT_EQ(net::LoopIndexOf(id), 3);
  SendAll(pair[1], "ping");
  EXPECT_EQ(ReadUntilContains(pair[1], "ping", 2s), "ping");

  // A peer that stops reading: the output queues instead of being lost.
  size_t pending = 0;
  const std::string block(64 * 1024, 'x');
  thread.RunOnLoop([&] {
    net::CConnection* connection = thread.Loop().Find(id);
    for (int i = 0; i < 8; ++i) connection->Send(block);
    pending = connection->PendingOutput();
  });
  EXPECT_GT(pending, 0u);
  size_t received = 0;
  char buffer[65536];
  while (received < 8 * block.size()) {
    const ssize_t got = ::recv(pair[1], buffer, sizeof buffer, 0);
    if (got > 0) received += static_cast<size_t>(got);
    if (got < 0) std::this_thread::sleep_for(1ms);
  }
  EXPECT_EQ(received, 8 * block.size()) << "everything queued arrives";

  ::shutdown(pair[1], SHUT_WR);  // the peer is done: the connection closes once
  for (int i = 0; i < 200 && closes == 0; ++i) std::this_thread::sleep_for(5ms);
  EXPECT_EQ(closes, 1);
  thread.RunOnLoop([&] { EXPECT_EQ(thread.Loop().Find(id), nullptr); });
  ::close(pair[1]);
}

// Coalesced output waits for the end of the phase unless the loop is asked
// to write it early; the loop says whether other work waits behind the
// current task (then a line written early might have been joined by another).
TEST(EventLoop, CoalescedOutputGoesEarlyWhenAsked) {
  LoopThread thread;
  int pair[2];
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, pair), 0);
  std::atomic<int> closes{0};
  thread.RunOnLoop([&] {
    net::CEventLoop& loop = thread.Loop();
    net::CConnection& connection = loop.Adopt(platform::CUniqueFd(pair[0]), "10.0.0.9", std::make_unique<Echo>(&closes));
    EXPECT_FALSE(loop.OtherWorkWaits());
    connection.SendCoalesced("early");
    char peek[8];
    EXPECT_LT(::recv(pair[1], peek, sizeof peek, MSG_DONTWAIT | MSG_PEEK), 0) << "nothing before the phase ends";
    loop.WriteCoalescedNow();
    EXPECT_EQ(connection.PendingOutput(), 0u);
    EXPECT_EQ(::recv(pair[1], peek, sizeof peek, MSG_DONTWAIT), 5) << "written at once when asked";
    loop.Post([] {});
    EXPECT_TRUE(loop.OtherWorkWaits()) << "a task waits behind this one";
  });
  ::close(pair[1]);
}

// Keeps what it reads until a whole line is in, then hands its connection
// over to another loop, where an Echo takes it in.
struct HandOverOnLine : net::CConnectionHandler {
  net::CEventLoop* to;
  std::atomic<int>* closes;       // of this handler
  std::atomic<int>* closesThere;  // of the Echo that takes over
  std::atomic<net::ConnectionId>* movedTo;
  void OnInput(net::CConnection& connection) override {
    if (connection.Input().find('\n') == std::string::npos) return;
    auto socket = std::make_shared<net::ConnectionSocket>(connection.HandOver());
    to->Post([to = to, closes = closesThere, movedTo = movedTo, socket] {
      *movedTo = to->AdoptHandedOver(std::move(*socket), std::make_unique<Echo>(closes)).Id();
    });
  }
  void OnClose(net::CConnection&) override { ++*closes; }
};

// A connection handed from one loop to another keeps its socket, its place
// in the server's limits and what its client sent: the new loop answers
// what came before and after the hand-over, the old one lets go of it
// without telling its handler or its client.
TEST(EventLoop, AConnectionHandedOverGoesOnInTheOtherLoop) {
  LoopThread from(1);
  LoopThread to(2);
  int pair[2];
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, pair), 0);
  std::atomic<int> closedBefore{0};
  std::atomic<int> closedAfter{0};
  std::atomic<net::ConnectionId> movedTo{0};
  net::ConnectionId first = 0;
  from.RunOnLoop([&] {
    auto handler = std::make_unique<HandOverOnLine>();
    handler->to = &to.Loop();
    handler->closes = &closedBefore;
    handler->closesThere = &closedAfter;
    handler->movedTo = &movedTo;
    first = from.Loop().Adopt(platform::CUniqueFd(pair[0]), "10.0.0.9", std::move(handler)).Id();
  });
  SendAll(pair[1], "one ");
  SendAll(pair[1], "two\n");
  EXPECT_EQ(ReadUntilContains(pair[1], "two\n", 2s), "one two\n") << "what the first loop read goes along";
  for (int i = 0; i < 200 && movedTo == 0; ++i) std::this_thread::sleep_for(1ms);
  EXPECT_EQ(net::LoopIndexOf(movedTo), 2);
  from.RunOnLoop([&] { EXPECT_EQ(from.Loop().Find(first), nullptr); });
  SendAll(pair[1], "three");
  EXPECT_EQ(ReadUntilContains(pair[1], "three", 2s), "three");

  ::shutdown(pair[1], SHUT_WR);
  for (int i = 0; i < 200 && closedAfter == 0; ++i) std::this_thread::sleep_for(5ms);
  EXPECT_EQ(closedAfter, 1);
  EXPECT_EQ(closedBefore, 0) << "the first handler is not told of a hand-over";
  ::close(pair[1]);
}

// Coalesced output of many connections in one turn leaves in one flush (one
// submission to the kernel where it can): each peer gets its bytes whole
// and in order, one whose socket is full gets the rest as it reads, and one
// whose peer went is closed without costing the others theirs.
TEST(EventLoop, ACoalescedTurnForManyConnectionsReachesEachPeerWhole) {
  LoopThread thread;
  constexpr int kConnections = 40;  // more than a flush writes one by one
  std::atomic<int> closes{0};
  std::vector<int> peers;
  std::vector<net::ConnectionId> ids;
  for (int i = 0; i < kConnections; ++i) {
    int pair[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, pair), 0);
    peers.push_back(pair[1]);
    thread.RunOnLoop([&] {
      ids.push_back(
          thread.Loop().Adopt(platform::CUniqueFd(pair[0]), "10.0.0.9", std::make_unique<Echo>(&closes)).Id());
    });
  }
  const int gone = 7, slow = 11;
  ::shutdown(peers[gone], SHUT_RD);  // it reads no more: a write fails, though nothing was read as an end
  const std::string big(4 << 20, 'b');  // more than a socket holds
  std::vector<std::string> expected(kConnections);
  thread.RunOnLoop([&] {
    for (int i = 0; i < kConnections; ++i) {
      net::CConnection* connection = thread.Loop().Find(ids[i]);
      ASSERT_NE(connection, nullptr);
      expected[i] = "first " + std::to_string(i) + "\n" + (i == slow ? big : "") + "second " + std::to_string(i) + "\n";
      connection->SendCoalesced("first " + std::to_string(i) + "\n");
      if (i == slow) connection->SendCoalesced(big);
      connection->SendCoalesced("second " + std::to_string(i) + "\n");
    }
  });
  for (int i = 0; i < kConnections; ++i) {
    if (i == gone) continue;
    SCOPED_TRACE("connection " + std::to_string(i));
    std::string got;
    char buffer[65536];
    const auto until = std::chrono::steady_clock::now() + 5s;
    while (got.size() < expected[i].size() && std::chrono::steady_clock::now() < until) {
      const ssize_t n = ::recv(peers[i], buffer, sizeof buffer, 0);
      if (n > 0) got.append(buffer, static_cast<size_t>(n));
      if (n < 0) std::this_thread::sleep_for(1ms);
    }
    EXPECT_TRUE(got == expected[i]) << got.size() << " bytes of " << expected[i].size();
  }
  for (int i = 0; i < 200 && closes == 0; ++i) std::this_thread::sleep_for(5ms);
  EXPECT_EQ(closes, 1) << "only the connection whose peer went";
  thread.RunOnLoop([&] { EXPECT_EQ(thread.Loop().Find(ids[gone]), nullptr); });
  for (const int peer : peers) ::close(peer);
}

TEST(EventLoop, DeadlinesCloseSilentConnections) {
  LoopThread thread;
  int pair[2];
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, pair), 0);
  std::atomic<int> closes{0};
  thread.RunOnLoop([&] {
    thread.Loop()
        .Adopt(platform::CUniqueFd(pair[0]), "", std::make_unique<Echo>(&closes))
        .SetDeadline(platform::Now() + 1);
  });
  EXPECT_TRUE(WaitForClose(pair[1], 3s));
  EXPECT_EQ(closes, 1);
  ::close(pair[1]);
}

// Throws when input arrives, or when its deadline passes.
struct Failing : net::CConnectionHandler {
  void OnInput(net::CConnection&) override { throw std::runtime_error("input broke"); }
  void OnDeadline(net::CConnection&) override { throw std::runtime_error("deadline broke"); }
};

// What a task, a timer, an event or a deadline throws is said on the console
// with the loop, the connection and the cause; the loop goes on, and a
// connection whose handler failed is closed, never left waiting.
TEST(EventLoop, WhatATurnThrowsIsLoggedWithItsCauseAndTheLoopGoesOn) {
  LoopThread thread;
  int reading[2];
  int waiting[2];
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, reading), 0);
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, waiting), 0);
  testing::internal::CaptureStdout();
  thread.Loop().Post([] { throw std::runtime_error("task broke"); });
  net::ConnectionId readingId = 0;
  net::ConnectionId waitingId = 0;
  thread.RunOnLoop([&] {
    thread.Loop().RunAfter(0, [] { throw std::runtime_error("timer broke"); });
    readingId = thread.Loop().Adopt(platform::CUniqueFd(reading[0]), "10.0.0.9", std::make_unique<Failing>()).Id();
    net::CConnection& silent = thread.Loop().Adopt(platform::CUniqueFd(waiting[0]), "10.0.0.8", std::make_unique<Failing>());
    waitingId = silent.Id();
    silent.SetDeadline(platform::Now() + 1);
  });
  SendAll(reading[1], "x");
  EXPECT_TRUE(WaitForClose(reading[1], 3s));
  EXPECT_TRUE(WaitForClose(waiting[1], 4s));
  std::atomic<bool> served{false};
  thread.RunOnLoop([&] { served = true; });
  EXPECT_TRUE(served);
  const std::string console = testing::internal::GetCapturedStdout();
  for (const std::string& line : {
           std::string("event loop 3: task failed: task broke\n"),
           std::string("event loop 3: timer failed: timer broke\n"),
           "event loop 3: event failed (connection " + std::to_string(readingId) + " from 10.0.0.9, closed): input broke\n",
           "event loop 3: deadline failed (connection " + std::to_string(waitingId) +
               " from 10.0.0.8, closed): deadline broke\n",
       }) {
    EXPECT_NE(console.find(line), std::string::npos) << line << "in:\n" << console;
  }
  ::close(reading[1]);
  ::close(waiting[1]);
}

// Whether a thread is the loop's may be asked from any thread, also while
// the loop is still starting (its thread id is written then).
TEST(EventLoop, AnyThreadMayAskWhetherItIsTheLoopsOwn) {
  LoopThread thread;  // asked at once, racing the start of Run
  bool ownedHere = false;
  for (int i = 0; i < 1000; ++i) ownedHere = ownedHere || thread.Loop().InLoopThread();
  EXPECT_FALSE(ownedHere);
  bool ownedThere = false;
  thread.RunOnLoop([&] { ownedThere = thread.Loop().InLoopThread(); });
  EXPECT_TRUE(ownedThere);
}

// The running loop's connections, timers and registrations are its own
// thread's: another thread that touches them ends the process at once,
// saying so, instead of racing the loop.
TEST(EventLoopDeathTest, ItsStateTouchedFromAnotherThreadAbortsLoudly) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  using Touch = std::function<void(net::CEventLoop&, net::CConnection&)>;
  const std::vector<std::pair<const char*, Touch>> touches = {
      {"Find", [](net::CEventLoop& loop, net::CConnection& c) { loop.Find(c.Id()); }},
      {"RunAfter", [](net::CEventLoop& loop, net::CConnection&) { loop.RunAfter(10, [] {}); }},
      {"ConnectionCount", [](net::CEventLoop& loop, net::CConnection&) { (void)loop.ConnectionCount(); }},
      {"Adopt",
       [](net::CEventLoop& loop, net::CConnection&) {
         loop.Adopt(platform::CUniqueFd(::socket(AF_UNIX, SOCK_STREAM, 0)), "", std::make_unique<Echo>(nullptr));
       }},
      {"a connection's Send", [](net::CEventLoop&, net::CConnection& c) { c.Send("x"); }},
      {"a connection's SetDeadline", [](net::CEventLoop&, net::CConnection& c) { c.SetDeadline(platform::Now() + 9); }},
      {"a connection's Close", [](net::CEventLoop&, net::CConnection& c) { c.Close(); }},
  };
  for (const auto& [what, touch] : touches) {
    EXPECT_DEATH(
        {
          LoopThread thread;
          int pair[2];
          if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, pair) != 0) return;
          std::atomic<int> closes{0};
          net::CConnection* connection = nullptr;
          thread.RunOnLoop([&] {
            connection = &thread.Loop().Adopt(platform::CUniqueFd(pair[0]), "", std::make_unique<Echo>(&closes));
          });
          touch(thread.Loop(), *connection);
        },
        "event loop 3 used from a thread that does not own it")
        << what;
  }
}

}  // namespace
