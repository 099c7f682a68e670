// HTTP/1.0 load generator (127.0.0.1 only); the same client for our server
// and for its peers.
//
//   tolvan_bench rate PORT CLIENTS SECONDS [PATH=/]
//       CLIENTS connections at a time, one request per connection, for
//       SECONDS; requests per second and latency percentiles, measured from
//       connect to the server's close.
//   tolvan_bench idle PORT COUNT
//       opens COUNT connections that send nothing, then times fresh requests
//       while they are held; reports how many idle ones the server closed.
//   tolvan_bench freeport
//       prints a loopback port that was free a moment ago.
#include <sys/epoll.h>

#include <unordered_map>

#include "bench_support.h"

namespace {
using namespace bench;

Descriptor ConnectNonBlocking(int port) {
  Descriptor fd(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  const sockaddr_in address = LoopbackAddress(port);
  if (::connect(fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 && errno != EINPROGRESS) {
    return Descriptor();
  }
  return fd;
}

struct Request {
  Descriptor fd;
  Clock::time_point start;
  size_t sent = 0;
  size_t received = 0;
};

class RateRun {
 public:
  RateRun(int port, const std::string& path) : m_port(port), m_request("GET " + path + " HTTP/1.0\r\nHost: bench\r\n\r\n") {}

  void Run(int clients, int seconds) {
    const auto end = Clock::now() + std::chrono::seconds(seconds);
    for (int i = 0; i < clients; ++i) StartOne();
    const auto begin = Clock::now();
    epoll_event events[1024];
    while (!m_open.empty()) {
      const int ready = ::epoll_wait(m_epoll.Get(), events, 1024, 1000);
      int finished = 0;
      for (int i = 0; i < ready; ++i) {
        if (Step(m_open.at(events[i].data.fd), events[i].events)) {
          m_open.erase(events[i].data.fd);
          ++finished;
        }
      }
      // New connections only after the batch: a closed descriptor's number is reused at once.
      while (finished-- > 0 && Clock::now() < end) StartOne();
    }
    m_seconds = std::chrono::duration<double>(Clock::now() - begin).count();
  }

  void Report(int clients, const std::string& path) const {
    const size_t count = m_latencies.size();
    std::printf("result bench=http clients=%d path=%s requests=%zu failures=%ld seconds=%.1f rps=%.0f p50_ms=%.2f "
                "p90_ms=%.2f p99_ms=%.2f max_ms=%.2f bytes_per_response=%.0f\n",
                clients, path.c_str(), count, m_failures, m_seconds, count / m_seconds, Percentile(m_latencies, 0.5),
                Percentile(m_latencies, 0.9), Percentile(m_latencies, 0.99), Percentile(m_latencies, 1.0),
                count ? static_cast<double>(m_bytes) / count : 0.0);
  }

  long Failures() const { return m_failures; }

 private:
  void StartOne() {
    Descriptor fd = ConnectNonBlocking(m_port);
    if (!fd.Valid()) {
      ++m_failures;
      return;
    }
    epoll_event event{};
    event.events = EPOLLOUT | EPOLLIN;
    event.data.fd = fd.Get();
    ::epoll_ctl(m_epoll.Get(), EPOLL_CTL_ADD, fd.Get(), &event);
    const int key = fd.Get();
    m_open.emplace(key, Request{std::move(fd), Clock::now()});
  }

  // Sends what is left of the request, reads what came; true when the request is over.
  bool Step(Request& r, uint32_t ready) {
    if ((ready & EPOLLOUT) && r.sent < m_request.size()) {
      const ssize_t n = ::send(r.fd.Get(), m_request.data() + r.sent, m_request.size() - r.sent, MSG_NOSIGNAL);
      if (n < 0 && errno != EAGAIN) {
        ++m_failures;
        return true;
      }
      if (n > 0) r.sent += static_cast<size_t>(n);
      if (r.sent == m_request.size()) {
        epoll_event event{};
        event.events = EPOLLIN;
        event.data.fd = r.fd.Get();
        ::epoll_ctl(m_epoll.Get(), EPOLL_CTL_MOD, r.fd.Get(), &event);
      }
    }
    if (!(ready & (EPOLLIN | EPOLLHUP | EPOLLERR))) return false;
    char buffer[65536];
    ssize_t n;
    while ((n = ::recv(r.fd.Get(), buffer, sizeof buffer, 0)) > 0) r.received += static_cast<size_t>(n);
    if (n < 0 && errno == EAGAIN) return false;
    if (r.received == 0) {
      ++m_failures;
    } else {
      m_latencies.push_back(MsSince(r.start));
      m_bytes += r.received;
    }
    return true;
  }

  int m_port;
  std::string m_request;
  Descriptor m_epoll{::epoll_create1(EPOLL_CLOEXEC)};
  std::unordered_map<int, Request> m_open;
  std::vector<double> m_latencies;
  size_t m_bytes = 0;
  long m_failures = 0;
  double m_seconds = 0;
};

int RunRate(int port, int clients, int seconds, const std::string& path) {
  RateRun run(port, path);
  run.Run(clients, seconds);
  run.Report(clients, path);
  return run.Failures() == 0 ? 0 : 1;
}

int RunIdle(int port, int count) {
  std::vector<Descriptor> idle;
  for (int i = 0; i < count; ++i) {
    Descriptor fd = ConnectNonBlocking(port);
    if (fd.Valid()) idle.push_back(std::move(fd));
  }
  std::this_thread::sleep_for(std::chrono::seconds(2));
  std::vector<double> latencies;
  for (int i = 0; i < 50; ++i) {
    const auto start = Clock::now();
    if (!Exchange(port, "GET / HTTP/1.0\r\nHost: bench\r\n\r\n").empty()) latencies.push_back(MsSince(start));
  }
  int closed = 0;
  for (const Descriptor& fd : idle) {
    char byte;
    if (::recv(fd.Get(), &byte, 1, MSG_DONTWAIT) == 0) ++closed;
  }
  std::printf("result bench=idle idle=%zu wanted=%d closed_by_server=%d fresh_requests=%zu/50 p50_ms=%.2f max_ms=%.2f\n",
              idle.size(), count, closed, latencies.size(), Percentile(latencies, 0.5), Percentile(latencies, 1.0));
  return latencies.size() == 50 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  RaiseOpenFileLimit();
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "rate" && argc >= 5) {
    return RunRate(std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]), argc > 5 ? argv[5] : "/");
  }
  if (mode == "idle" && argc >= 4) return RunIdle(std::atoi(argv[2]), std::atoi(argv[3]));
  if (mode == "freeport") {
    std::printf("%d\n", FreePort());
    return 0;
  }
  std::fprintf(stderr, "usage: tolvan_bench rate PORT CLIENTS SECONDS [PATH] | idle PORT COUNT | freeport\n");
  return 2;
}
