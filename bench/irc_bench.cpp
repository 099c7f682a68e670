// Fan-out through an IRC server, the peer of the chat server's room: CLIENTS
// clients register one after another and JOIN one channel; the first posts
// PRIVMSG lines, the next when the previous one has reached every other
// member. Also the server's CPU per line, its CPU while the clients sit idle
// and its resident memory per client (the server's PID gives /proc).
//
//   tolvan_irc_bench PORT PID CLIENTS LINES [IDLE_SECONDS=0]
#include <thread>

#include "bench_support.h"
#include "line_arrivals.h"

namespace {
using namespace bench;

const std::string kChannel = "#bench";

// Registered (end of the welcome) and in the channel (end of its names list).
Descriptor Enrol(int port, int index) {
  Descriptor fd = ConnectLoopback(port);
  if (!fd.Valid()) return fd;
  const int on = 1;
  ::setsockopt(fd.Get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  const std::string nick = "b" + std::to_string(index);
  SendAll(fd.Get(), "NICK " + nick + "\r\nUSER " + nick + " 0 * :bench\r\n");
  if (ReadUntil(fd.Get(), " 376 ").find(" 376 ") == std::string::npos) return Descriptor();
  SendAll(fd.Get(), "JOIN " + kChannel + "\r\n");
  if (ReadUntil(fd.Get(), " 366 ").find(" 366 ") == std::string::npos) return Descriptor();
  return fd;
}

// Reads away what is waiting (the JOIN lines of later members), so no
// member's queue in the server grows while the others enrol.
void Discard(const std::vector<Descriptor>& clients) {
  char buffer[65536];
  for (const Descriptor& client : clients) {
    while (::recv(client.Get(), buffer, sizeof buffer, MSG_DONTWAIT) > 0) {
    }
  }
}

// As the receivers see it: ":b0!~b0@127.0.0.1 PRIVMSG #bench :" and the text, padded to a chat line.
std::string Privmsg(int line) {
  std::string text = LineMarker(line) + " ";
  text.resize(kLineBytes - 37, '.');
  return "PRIVMSG " + kChannel + " :" + text + "\r\n";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) {
    std::fprintf(stderr, "usage: tolvan_irc_bench PORT PID CLIENTS LINES [IDLE_SECONDS]\n");
    return 2;
  }
  const int port = std::atoi(argv[1]);
  const pid_t server = std::atoi(argv[2]);
  const int count = std::atoi(argv[3]);
  const int lines = std::atoi(argv[4]);
  const int idleSeconds = argc > 5 ? std::atoi(argv[5]) : 0;
  RaiseOpenFileLimit();

  const long rssBefore = ResidentKb(server);
  const auto setupStart = Clock::now();
  std::vector<Descriptor> clients;
  for (int i = 0; i < count; ++i) {
    clients.push_back(Enrol(port, i));
    if (!clients.back().Valid()) {
      std::fprintf(stderr, "client %d could not register and join\n", i);
      return 1;
    }
    if (i % 100 == 99) Discard(clients);
  }
  const double setupMs = MsSince(setupStart);
  Discard(clients);
  const long rssAfter = ResidentKb(server);

  std::vector<int> receivers;
  for (size_t i = 1; i < clients.size(); ++i) receivers.push_back(clients[i].Get());
  LinePacer pacer(lines);
  LineArrivals arrivals(receivers, pacer);
  arrivals.Drain(300);

  double idleCpuPercent = 0;
  if (idleSeconds > 0) {
    const double before = CpuSeconds(server);
    std::this_thread::sleep_for(std::chrono::seconds(idleSeconds));
    idleCpuPercent = 100.0 * (CpuSeconds(server) - before) / idleSeconds;
  }

  const double cpuBefore = CpuSeconds(server);
  std::thread poster([&] {
    try {
      for (int line = 0; line < lines; ++line) {
        pacer.MarkSent(line);
        if (!SendAll(clients[0].Get(), Privmsg(line)) || !pacer.WaitComplete(line, 30000)) break;
      }
    } catch (...) {
      // The reader notices the missing lines and stops at its stall limit.
    }
  });
  const bool complete = arrivals.Run(10000);
  const double cpuUsed = CpuSeconds(server) - cpuBefore;
  poster.join();

  const LineFigures f = arrivals.Figures();
  std::printf("result bench=fanout server=ngircd members=%d receivers=%zu pace=last %s server_cpu_ms_per_line=%.3f "
              "setup_s=%.2f setup_ms_per_user=%.3f rss_kb_per_conn=%.2f idle_cpu_pct=%.2f\n",
              count, receivers.size(), Describe(f).c_str(), f.complete ? 1000.0 * cpuUsed / f.complete : 0.0,
              setupMs / 1000, setupMs / count, static_cast<double>(rssAfter - rssBefore) / count, idleCpuPercent);
  return complete ? 0 : 1;
}
