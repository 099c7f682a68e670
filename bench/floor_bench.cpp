// The floor for fanning one line out to many connections: what the kernel
// alone costs, with no server in between. CONNECTIONS loopback TCP
// connections; a sender writes one chat-line-sized buffer to each in turn
// while a reader watches all of them with epoll; the next line leaves when
// the last receiver has the previous one. The sender runs in a process of
// its own so that each side holds only its own ends (10,000 connections
// would not fit one process's descriptor limit).
//
//   tolvan_floor_bench CONNECTIONS LINES
#include <sys/resource.h>
#include <sys/wait.h>

#include "bench_support.h"
#include "line_arrivals.h"

namespace {
using namespace bench;

double OwnCpuSeconds() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

std::string FloorLine(int line) {
  std::string text = LineMarker(line) + " ";
  text.resize(kLineBytes, '.');
  return text;
}

// The sender process: connects, waits for the reader's go, sends every line
// to every connection and leaves its CPU time in the pacer.
[[noreturn]] void RunSender(int port, int connections, LinePacer& pacer, int go) {
  std::vector<Descriptor> ends;
  for (int i = 0; i < connections; ++i) {
    ends.push_back(ConnectLoopback(port));
    const int on = 1;
    ::setsockopt(ends.back().Get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  }
  char byte;
  if (::read(go, &byte, 1) != 1) ::_exit(1);
  const double cpuBefore = OwnCpuSeconds();
  for (int line = 0; line < pacer.Lines(); ++line) {
    const std::string text = FloorLine(line);
    pacer.MarkSent(line);
    for (const Descriptor& end : ends) SendAll(end.Get(), text);
    if (!pacer.WaitComplete(line, 30000)) break;
  }
  pacer.SetSenderCpu(OwnCpuSeconds() - cpuBefore);
  ::_exit(0);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: tolvan_floor_bench CONNECTIONS LINES\n");
    return 2;
  }
  const int connections = std::atoi(argv[1]);
  const int lines = std::atoi(argv[2]);
  RaiseOpenFileLimit();
  Descriptor listener(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in address = LoopbackAddress(0);
  socklen_t size = sizeof address;
  if (::bind(listener.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listener.Get(), 4096) != 0 ||
      ::getsockname(listener.Get(), reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    std::perror("listen");
    return 1;
  }
  LinePacer pacer(lines);
  int goPipe[2];
  if (::pipe(goPipe) != 0) return 1;
  Descriptor goIn(goPipe[0]), goOut(goPipe[1]);
  std::fflush(stdout);
  const pid_t sender = ::fork();
  if (sender == 0) {
    listener.Reset();
    RunSender(ntohs(address.sin_port), connections, pacer, goIn.Get());
  }
  std::vector<Descriptor> receivers;
  std::vector<int> fds;
  while (static_cast<int>(receivers.size()) < connections) {
    Descriptor fd(::accept4(listener.Get(), nullptr, nullptr, SOCK_CLOEXEC));
    if (!fd.Valid()) break;
    fds.push_back(fd.Get());
    receivers.push_back(std::move(fd));
  }
  LineArrivals arrivals(fds, pacer);
  const bool complete = ::write(goOut.Get(), "g", 1) == 1 && arrivals.Run(10000);
  ::waitpid(sender, nullptr, 0);
  const LineFigures f = arrivals.Figures();
  const double sends = static_cast<double>(f.complete) * connections;
  std::printf("result bench=floor receivers=%zu %s sender_cpu_us_per_send=%.3f\n", receivers.size(),
              Describe(f).c_str(), sends > 0 ? pacer.SenderCpu() * 1e6 / sends : 0.0);
  return complete ? 0 : 1;
}
