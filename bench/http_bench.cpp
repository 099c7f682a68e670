// HTTP/1.0 load generator for the chat server (127.0.0.1 only).
//
//   tolvan_bench rate PORT CLIENTS SECONDS [PATH]
//       CLIENTS connections at a time, one request per connection, for
//       SECONDS; prints requests per second and latency percentiles.
//   tolvan_bench idle PORT COUNT
//       opens COUNT connections that send nothing, then times fresh
//       requests while they are held; reports how many idle ones the server
//       refused or closed.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

namespace {
using Clock = std::chrono::steady_clock;

sockaddr_in Target(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

int ConnectNonBlocking(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  const sockaddr_in address = Target(port);
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 && errno != EINPROGRESS) {
    ::close(fd);
    return -1;
  }
  return fd;
}

double Percentile(std::vector<double>& values, double p) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return values[std::min(values.size() - 1, static_cast<size_t>(p * values.size()))];
}

struct Request {
  Clock::time_point start;
  size_t sent = 0;
  size_t received = 0;
};

int RunRate(int port, int clients, int seconds, const std::string& path) {
  const std::string request = "GET " + path + " HTTP/1.0\r\nHost: bench\r\n\r\n";
  const int epoll = ::epoll_create1(EPOLL_CLOEXEC);
  std::unordered_map<int, Request> open;
  std::vector<double> latencies;
  long failures = 0;
  const auto end = Clock::now() + std::chrono::seconds(seconds);
  auto startOne = [&] {
    const int fd = ConnectNonBlocking(port);
    if (fd < 0) {
      ++failures;
      return;
    }
    open[fd] = Request{Clock::now()};
    epoll_event event{};
    event.events = EPOLLOUT | EPOLLIN;
    event.data.fd = fd;
    ::epoll_ctl(epoll, EPOLL_CTL_ADD, fd, &event);
  };
  for (int i = 0; i < clients; ++i) startOne();
  const auto begin = Clock::now();
  std::vector<epoll_event> events(1024);
  char buffer[65536];
  while (!open.empty()) {
    const int ready = ::epoll_wait(epoll, events.data(), static_cast<int>(events.size()), 1000);
    for (int i = 0; i < ready; ++i) {
      const int fd = events[i].data.fd;
      Request& r = open[fd];
      bool done = false;
      if ((events[i].events & EPOLLOUT) && r.sent < request.size()) {
        const ssize_t n = ::send(fd, request.data() + r.sent, request.size() - r.sent, MSG_NOSIGNAL);
        if (n > 0) r.sent += static_cast<size_t>(n);
        if (r.sent == request.size()) {
          epoll_event event{};
          event.events = EPOLLIN;
          event.data.fd = fd;
          ::epoll_ctl(epoll, EPOLL_CTL_MOD, fd, &event);
        }
        if (n < 0 && errno != EAGAIN) done = true, ++failures;
      }
      if (events[i].events & (EPOLLIN | EPOLLHUP | EPOLLERR)) {
        ssize_t n;
        while ((n = ::recv(fd, buffer, sizeof buffer, 0)) > 0) r.received += static_cast<size_t>(n);
        if (n == 0 || (n < 0 && errno != EAGAIN)) {
          done = true;
          if (r.received > 0) {
            latencies.push_back(std::chrono::duration<double, std::milli>(Clock::now() - r.start).count());
          } else {
            ++failures;
          }
        }
      }
      if (done) {
        ::close(fd);
        open.erase(fd);
        if (Clock::now() < end) startOne();
      }
    }
  }
  const double elapsed = std::chrono::duration<double>(Clock::now() - begin).count();
  const size_t count = latencies.size();
  std::printf("clients=%d requests=%zu failures=%ld seconds=%.1f rps=%.0f p50=%.2fms p90=%.2fms p99=%.2fms max=%.2fms\n",
              clients, count, failures, elapsed, count / elapsed, Percentile(latencies, 0.5),
              Percentile(latencies, 0.9), Percentile(latencies, 0.99), Percentile(latencies, 1.0));
  ::close(epoll);
  return failures == 0 ? 0 : 1;
}

int RunIdle(int port, int count) {
  std::vector<int> idle;
  for (int i = 0; i < count; ++i) {
    const int fd = ConnectNonBlocking(port);
    if (fd >= 0) idle.push_back(fd);
  }
  std::this_thread::sleep_for(std::chrono::seconds(2));
  std::vector<double> latencies;
  for (int i = 0; i < 50; ++i) {
    const auto start = Clock::now();
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in address = Target(port);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
      const std::string request = "GET / HTTP/1.0\r\nHost: bench\r\n\r\n";
      ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
      char buffer[65536];
      size_t got = 0;
      ssize_t n;
      while ((n = ::recv(fd, buffer, sizeof buffer, 0)) > 0) got += static_cast<size_t>(n);
      if (got > 0) latencies.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    ::close(fd);
  }
  int closed = 0;
  for (int fd : idle) {
    char byte;
    if (::recv(fd, &byte, 1, MSG_DONTWAIT) == 0) ++closed;
    ::close(fd);
  }
  std::printf("idle=%zu/%d closed_by_server=%d fresh_requests=%zu/50 p50=%.2fms max=%.2fms\n", idle.size(), count,
              closed, latencies.size(), Percentile(latencies, 0.5), Percentile(latencies, 1.0));
  return latencies.size() == 50 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) == 0) {
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
  }
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "rate" && argc >= 5) return RunRate(std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]), argc > 5 ? argv[5] : "/");
  if (mode == "idle" && argc >= 4) return RunIdle(std::atoi(argv[2]), std::atoi(argv[3]));
  std::fprintf(stderr, "usage: tolvan_bench rate PORT CLIENTS SECONDS [PATH] | idle PORT COUNT\n");
  return 2;
}
