// Lines that reach a loop together go to a stream in one write: a burst of
// lines said while the stream's loop is busy leaves in one send, in the
// order said, and an ending stream still gets its last words and closes.
// The stream's peer is a SOCK_SEQPACKET socket: each send is one record.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>

#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "chat/chat_core.h"
#include "chat/chat_loader.h"
#include "net/connection.h"
#include "net/loop_group.h"
#include "nodelink/node_outbox.h"
#include "streams/stream_delivery.h"
#include "support/settings_fixture.h"

namespace {
using namespace std::chrono_literals;

const std::string kRoom = "Lobby";
const std::string kSession = "s1";

// What a connection is before it becomes a stream.
struct Idle : net::CConnectionHandler {
  void OnInput(net::CConnection& connection) override { connection.Input().clear(); }
};

// The records that arrive until none has come for quietMs; a closed peer
// ends the list with an empty record.
std::vector<std::string> Records(int fd, int quietMs = 300) {
  std::vector<std::string> records;
  char buffer[65536];
  for (;;) {
    pollfd wait{fd, POLLIN, 0};
    if (::poll(&wait, 1, quietMs) <= 0) return records;
    const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
    if (got <= 0) {
      records.emplace_back();
      return records;
    }
    records.emplace_back(buffer, static_cast<size_t>(got));
  }
}

class CoalescedLines : public ::testing::Test {
 protected:
  CoalescedLines()
      : m_settings({{"general:nodeid", "node1"}, {"rooms:1", kRoom}}),
        m_core(LoadChatCore(m_outbox)),
        m_loops(1),
        m_delivery(*m_core, m_loops) {}

  void SetUp() override {
    SessionView session;
    session.id = kSession;
    session.name = "reader";
    session.password = "pw";
    session.nodeId = "node1";
    session.colour = "red";
    session.ipAddress = "10.0.0.1";
    ASSERT_TRUE(m_core->AddLogonSession(session));
    bool created = false;
    m_core->EnsureRoom(kRoom, "", created);
    m_core->MoveSession(kSession, "node1", kRoom);
    m_loops.Start(-1);

    int pair[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, pair), 0);
    m_peer = pair[1];
    std::promise<net::ConnectionId> adopted;
    net::CEventLoop& loop = m_loops.Loop(0);
    loop.Post([&, fd = pair[0]] {
      net::CConnection& connection = loop.Adopt(platform::CUniqueFd(fd), "10.0.0.1", std::make_unique<Idle>());
      m_delivery.AdoptStream(connection, kSession, StreamFormat::kClassic, "", "HEAD\n");
      adopted.set_value(connection.Id());
    });
    m_stream = adopted.get_future().get();
    Records(m_peer);  // the head and whatever the frame shows first
  }

  void TearDown() override {
    m_loops.Stop();
    if (m_peer >= 0) ::close(m_peer);
  }

  void Say(const std::string& text) {
    ChatEvent event;
    event.room = kRoom;
    event.sender = "speaker";
    event.senderNode = "node1";
    event.addressee = "all";
    event.colour = "blue";
    event.text = text;
    ASSERT_TRUE(m_delivery.Deliver(event));
  }

  // Runs what is given while the loop is held busy: every line said
  // meanwhile reaches the loop in one turn.
  template <class Work>
  void WhileLoopBusy(Work work) {
    // The loop's task owns what it waits on: this call may be over before
    // the task has stopped waiting.
    auto release = std::make_shared<std::promise<void>>();
    auto holding = std::make_shared<std::promise<void>>();
    std::shared_future<void> released = release->get_future().share();
    std::future<void> held = holding->get_future();
    m_loops.Loop(0).Post([released, holding] {
      holding->set_value();
      released.wait();
    });
    held.wait();
    work();
    release->set_value();
  }

  ScopedSettings m_settings;
  CNodeOutbox m_outbox;
  std::unique_ptr<CChatCore> m_core;
  net::CLoopGroup m_loops;
  CStreamDelivery m_delivery;
  net::ConnectionId m_stream = 0;
  int m_peer = -1;
};

TEST_F(CoalescedLines, ABurstLeavesInOneWriteInTheOrderSaid) {
  constexpr int kLines = 20;
  WhileLoopBusy([&] {
    for (int line = 0; line < kLines; ++line) Say("line#" + std::to_string(line) + "#");
  });
  const std::vector<std::string> records = Records(m_peer);
  ASSERT_EQ(records.size(), 1u) << "one write for the whole burst";
  size_t at = 0;
  for (int line = 0; line < kLines; ++line) {
    const size_t found = records[0].find("line#" + std::to_string(line) + "#", at);
    ASSERT_NE(found, std::string::npos) << "line " << line << " missing or out of order in:\n" << records[0];
    at = found;
  }

  // A line on its own still leaves at once, alone.
  Say("alone#");
  const std::vector<std::string> later = Records(m_peer);
  ASSERT_EQ(later.size(), 1u);
  EXPECT_NE(later[0].find("alone#"), std::string::npos);
}

TEST_F(CoalescedLines, AStreamEndedAfterABurstGetsItAllThenCloses) {
  WhileLoopBusy([&] {
    Say("first#");
    Say("second#");
    m_delivery.EndStream(m_stream, "goodbye");
  });
  const std::vector<std::string> records = Records(m_peer, 2000);
  ASSERT_EQ(records.size(), 2u) << "one write, then the close";
  const std::string& written = records[0];
  const size_t first = written.find("first#");
  const size_t second = written.find("second#");
  const size_t last = written.find("goodbye");
  EXPECT_NE(first, std::string::npos);
  EXPECT_LT(first, second);
  EXPECT_NE(second, std::string::npos);
  EXPECT_LT(second, last);
  EXPECT_NE(last, std::string::npos);
  EXPECT_TRUE(records[1].empty()) << "the stream closes once its last words are out";
}

}  // namespace
