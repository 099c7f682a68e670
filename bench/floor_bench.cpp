// The floor for fanning one line out to many connections: what the kernel
// alone costs, with no server in between. CONNECTIONS loopback TCP
// connections; a sender writes one chat-line-sized buffer to each in turn
// while a reader watches all of them with epoll; the next line leaves when
// the last receiver has the previous one. The sender runs in a process of
// its own so that each side holds only its own ends (10,000 connections
// would not fit one process's descriptor limit).
//
//   tolvan_floor_bench CONNECTIONS LINES [send|batch]
//
// "send" (the default): one send() per line per connection. "batch": the
// same writes, handed to the kernel dozens at a time in one submission
// (io_uring, as the chat server's loops write a line for many streams).
//
// Open loop: lines are due at a fixed rate and leave when due, whether or
// not the ones before have arrived; several reader processes watch the
// receivers. "send": one send per line per connection, as above;
// "coalesce": the sender puts every line due by the time it comes round
// into one send per connection. A ladder of rates, from FIRST_RATE up by
// FACTOR, finds the highest at which the last receiver's p99 stays under
// 1 s (open_loop.h).
//
//   tolvan_floor_bench openloop CONNECTIONS SECONDS READERS send|coalesce FIRST_RATE [FACTOR=1.5] [MAX_RATE=4000]
#include <sys/resource.h>
#include <sys/wait.h>

#include "bench_support.h"
#include "net/send_batch.h"
#include "line_arrivals.h"
#include "open_loop.h"

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

std::vector<Descriptor> ConnectAll(int port, int connections) {
  std::vector<Descriptor> ends;
  for (int i = 0; i < connections; ++i) {
    ends.push_back(ConnectLoopback(port));
    const int on = 1;
    ::setsockopt(ends.back().Get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  }
  return ends;
}

// The sender process: connects, waits for the reader's go, sends every line
// to every connection and leaves its CPU time in the pacer.
// Every connection gets the line in one submission of writes; a socket
// that took part of it gets the rest the plain way.
void SendBatched(net::CSendBatch& batch, const std::vector<Descriptor>& ends, const std::string& text) {
  std::vector<net::CSendBatch::Write> writes(ends.size());
  for (size_t i = 0; i < ends.size(); ++i) writes[i] = {ends[i].Get(), text.data(), text.size(), 0};
  batch.SendAll(writes);
  for (size_t i = 0; i < ends.size(); ++i) {
    const size_t taken = writes[i].result > 0 ? static_cast<size_t>(writes[i].result) : 0;
    if (taken < text.size()) SendAll(ends[i].Get(), text.substr(taken));
  }
}

[[noreturn]] void RunSender(int port, int connections, LinePacer& pacer, int go, bool batched) {
  const std::vector<Descriptor> ends = ConnectAll(port, connections);
  net::CSendBatch batch;
  if (batched && !batch.Available()) ::_exit(1);
  char byte;
  if (::read(go, &byte, 1) != 1) ::_exit(1);
  const double cpuBefore = OwnCpuSeconds();
  for (int line = 0; line < pacer.Lines(); ++line) {
    const std::string text = FloorLine(line);
    pacer.MarkSent(line);
    if (batched) {
      SendBatched(batch, ends, text);
    } else {
      for (const Descriptor& end : ends) SendAll(end.Get(), text);
    }
    if (!pacer.WaitComplete(line, 30000)) break;
  }
  pacer.SetSenderCpu(OwnCpuSeconds() - cpuBefore);
  ::_exit(0);
}

// What the open-loop sender is told for each run (lines 0: it ends).
struct RunOrder {
  double linesPerSecond = 0;
  int lines = 0;
  int64_t startNs = 0;
};

// The open-loop sender process: for each run ordered, sends every line when
// due (with coalesce, every line due by then in one send) and answers with
// its CPU seconds.
[[noreturn]] void RunOpenLoopSender(int port, int connections, LinePacer& pacer, bool coalesce, int orders,
                                    int answers) {
  const std::vector<Descriptor> ends = ConnectAll(port, connections);
  RunOrder order;
  while (::read(orders, &order, sizeof order) == sizeof order && order.lines > 0) {
    const double cpuBefore = OwnCpuSeconds();
    for (int next = 0; next < order.lines;) {
      SleepUntilNs(DueNs(order.startNs, next, order.linesPerSecond));
      int end = next + 1;
      if (coalesce) {
        const int64_t now = NowNs();
        while (end < order.lines && DueNs(order.startNs, end, order.linesPerSecond) <= now) ++end;
      }
      std::string text;
      for (int line = next; line < end; ++line) {
        pacer.MarkSentAt(line, DueNs(order.startNs, line, order.linesPerSecond));
        text += FloorLine(line);
      }
      for (const Descriptor& connection : ends) SendAll(connection.Get(), text);
      next = end;
    }
    const double cpu = OwnCpuSeconds() - cpuBefore;
    if (::write(answers, &cpu, sizeof cpu) != sizeof cpu) break;
  }
  ::_exit(0);
}

Descriptor ListenLoopback(sockaddr_in& address) {
  Descriptor listener(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  address = LoopbackAddress(0);
  socklen_t size = sizeof address;
  if (::bind(listener.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listener.Get(), 4096) != 0 ||
      ::getsockname(listener.Get(), reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    std::perror("listen");
    return Descriptor();
  }
  return listener;
}

std::vector<Descriptor> AcceptAll(const Descriptor& listener, int connections) {
  std::vector<Descriptor> receivers;
  while (static_cast<int>(receivers.size()) < connections) {
    Descriptor fd(::accept4(listener.Get(), nullptr, nullptr, SOCK_CLOEXEC));
    if (!fd.Valid()) break;
    receivers.push_back(std::move(fd));
  }
  return receivers;
}

int RunOpenLoop(int connections, int seconds, int readers, const std::string& mode, double firstRate, double factor,
                double highest) {
  sockaddr_in address{};
  Descriptor listener = ListenLoopback(address);
  if (!listener.Valid()) return 1;
  const bool coalesce = mode == "coalesce";
  LinePacer pacer(static_cast<int>(highest * seconds) + 1);
  int orderPipe[2], answerPipe[2];
  if (::pipe(orderPipe) != 0 || ::pipe(answerPipe) != 0) return 1;
  Descriptor ordersIn(orderPipe[0]), ordersOut(orderPipe[1]), answersIn(answerPipe[0]), answersOut(answerPipe[1]);
  std::fflush(stdout);
  const pid_t sender = ::fork();
  if (sender == 0) {
    listener.Reset();
    ordersOut.Reset();
    answersIn.Reset();
    RunOpenLoopSender(ntohs(address.sin_port), connections, pacer, coalesce, ordersIn.Get(), answersOut.Get());
  }
  ordersIn.Reset();
  answersOut.Reset();
  const std::vector<Descriptor> receivers = AcceptAll(listener, connections);
  std::vector<int> fds;
  for (const Descriptor& receiver : receivers) fds.push_back(receiver.Get());
  const std::string label = "bench=floor_openloop mode=" + mode + " receivers=" + std::to_string(fds.size()) +
                            " readers=" + std::to_string(readers) + " seconds=" + std::to_string(seconds);
  FindHighestRate(label, firstRate, factor, highest, 2, 1000, [&](double rate) {
    const int lines = static_cast<int>(rate * seconds);
    pacer.Restart(lines);
    SpreadArrivals arrivals(fds, pacer, readers);
    arrivals.Start(10000);
    const RunOrder order{rate, lines, NowNs() + 50'000'000};
    double cpu = 0;
    if (::write(ordersOut.Get(), &order, sizeof order) != sizeof order ||
        ::read(answersIn.Get(), &cpu, sizeof cpu) != sizeof cpu) {
      throw std::runtime_error("the sender is gone");
    }
    RateRun run{arrivals.Finish(), ""};
    char note[80];
    std::snprintf(note, sizeof note, "sender_cpu_pct=%.1f", 100.0 * cpu / seconds);
    run.note = note;
    return run;
  });
  ordersOut.Reset();  // the sender ends
  ::waitpid(sender, nullptr, 0);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  RaiseOpenFileLimit();
  if (argc >= 7 && std::string(argv[1]) == "openloop") {
    try {
      return RunOpenLoop(std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]), argv[5], std::atof(argv[6]),
                         argc > 7 ? std::atof(argv[7]) : 1.5, argc > 8 ? std::atof(argv[8]) : 4000);
    } catch (const std::exception& error) {
      std::fprintf(stderr, "tolvan_floor_bench: %s\n", error.what());
      return 1;
    }
  }
  if (argc < 3) {
    std::fprintf(stderr,
                 "usage: tolvan_floor_bench CONNECTIONS LINES [send|batch]\n"
                 "       tolvan_floor_bench openloop CONNECTIONS SECONDS READERS send|coalesce FIRST_RATE [FACTOR] "
                 "[MAX_RATE]\n");
    return 2;
  }
  const int connections = std::atoi(argv[1]);
  const int lines = std::atoi(argv[2]);
  const std::string mode = argc > 3 ? argv[3] : "send";
  sockaddr_in address{};
  Descriptor listener = ListenLoopback(address);
  if (!listener.Valid()) return 1;
  LinePacer pacer(lines);
  int goPipe[2];
  if (::pipe(goPipe) != 0) return 1;
  Descriptor goIn(goPipe[0]), goOut(goPipe[1]);
  std::fflush(stdout);
  const pid_t sender = ::fork();
  if (sender == 0) {
    listener.Reset();
    RunSender(ntohs(address.sin_port), connections, pacer, goIn.Get(), mode == "batch");
  }
  const std::vector<Descriptor> receivers = AcceptAll(listener, connections);
  std::vector<int> fds;
  for (const Descriptor& receiver : receivers) fds.push_back(receiver.Get());
  LineArrivals arrivals(fds, pacer);
  const bool complete = ::write(goOut.Get(), "g", 1) == 1 && arrivals.Run(10000);
  ::waitpid(sender, nullptr, 0);
  const LineFigures f = arrivals.Figures();
  const double sends = static_cast<double>(f.complete) * connections;
  std::printf("result bench=floor mode=%s receivers=%zu %s sender_cpu_us_per_send=%.3f\n", mode.c_str(),
              receivers.size(), Describe(f).c_str(), sends > 0 ? pacer.SenderCpu() * 1e6 / sends : 0.0);
  return complete ? 0 : 1;
}
