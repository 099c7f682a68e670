// One submission of writes for many sockets: each write's result is what a
// send(MSG_DONTWAIT) of its own would have said, past the ring's size too.
#include "net/send_batch.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

namespace {

struct Pair {
  int ours = -1;
  int peer = -1;
  Pair() {
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, ends) == 0) {
      ours = ends[0];
      peer = ends[1];
    }
  }
  ~Pair() {
    if (ours >= 0) ::close(ours);
    if (peer >= 0) ::close(peer);
  }
  Pair(const Pair&) = delete;
  Pair& operator=(const Pair&) = delete;
  std::string Read() const {
    std::string got;
    char buffer[65536];
    for (ssize_t n; (n = ::recv(peer, buffer, sizeof buffer, MSG_DONTWAIT)) > 0;) got.append(buffer, static_cast<size_t>(n));
    return got;
  }
};

enum class Socket { kOpen, kFull, kPeerClosed, kNotOpen, kSmallBuffer };

TEST(SendBatch, EachWriteGetsTheResultItsOwnSendWouldHave) {
  net::CSendBatch batch;
  if (!batch.Available()) GTEST_SKIP() << "no io_uring here: the loops write socket by socket";

  // 150 writes: more than one submission; every fifth kind in turn.
  const Socket kinds[] = {Socket::kOpen, Socket::kFull, Socket::kPeerClosed, Socket::kNotOpen, Socket::kSmallBuffer};
  const std::string big(1 << 20, 'b');
  std::vector<Pair> pairs(150);
  std::vector<net::CSendBatch::Write> writes(pairs.size());
  std::vector<std::string> texts(pairs.size());
  for (size_t i = 0; i < pairs.size(); ++i) {
    Pair& pair = pairs[i];
    ASSERT_GE(pair.ours, 0);
    texts[i] = "line " + std::to_string(i) + "\n";
    switch (kinds[i % 5]) {
      case Socket::kOpen:
        break;
      case Socket::kFull:
        while (::send(pair.ours, big.data(), big.size(), MSG_DONTWAIT) > 0) {
        }
        break;
      case Socket::kPeerClosed:
        ::close(pair.peer);
        pair.peer = -1;
        break;
      case Socket::kNotOpen:
        ::close(pair.ours);
        pair.ours = -1;
        break;
      case Socket::kSmallBuffer:
        texts[i] = big;
        break;
    }
    writes[i] = {pair.ours, texts[i].data(), texts[i].size(), 0};
  }

  batch.SendAll(writes);

  for (size_t i = 0; i < pairs.size(); ++i) {
    SCOPED_TRACE("write " + std::to_string(i));
    const ssize_t result = writes[i].result;
    switch (kinds[i % 5]) {
      case Socket::kOpen:
        EXPECT_EQ(result, static_cast<ssize_t>(texts[i].size()));
        EXPECT_EQ(pairs[i].Read(), texts[i]);
        break;
      case Socket::kFull:
        EXPECT_EQ(result, -EAGAIN);
        break;
      case Socket::kPeerClosed:
        EXPECT_EQ(result, -EPIPE);
        break;
      case Socket::kNotOpen:
        EXPECT_EQ(result, -EBADF);
        break;
      case Socket::kSmallBuffer:  // part of a megabyte: the socket holds no more
        EXPECT_GT(result, 0);
        EXPECT_LT(result, static_cast<ssize_t>(big.size()));
        EXPECT_EQ(pairs[i].Read(), big.substr(0, static_cast<size_t>(result)));
        break;
    }
  }
}

}  // namespace
