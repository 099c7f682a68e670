// Benchmark of three nodes linked over Redis (127.0.0.1 only). Starts a
// private redis-server and three server binaries, each in a scratch copy of
// the bundled site, then:
//   fan-out: USERS members spread over the three nodes in one room with
//     their message frames open; one member on the first node posts LINES
//     lines at RATE lines a second; for every line, the time from sending
//     its POST to its arrival on the last of the members' streams;
//   logon: LOGONS logons on the second node of users registered before,
//     each answered through the cluster (request stream, one node's
//     answer, the answer back on the event stream): time of the POST.
//
//   tolvan_cluster_bench BINARY SITE_DIR [USERS=1000] [LINES=500] [RATE=50] [LOGONS=300]
//                        [HASH_KIB=8] [HASH_PASSES=1]
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "bench_support.h"

namespace {
using Clock = std::chrono::steady_clock;

int Connect(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

std::string Exchange(int port, const std::string& request) {
  const int fd = Connect(port);
  if (fd < 0) return "";
  ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
  std::string answer;
  char buffer[65536];
  ssize_t n;
  while ((n = ::recv(fd, buffer, sizeof buffer, 0)) > 0) answer.append(buffer, static_cast<size_t>(n));
  ::close(fd);
  return answer;
}

std::string Post(int port, const std::string& path, const std::string& body) {
  return Exchange(port, "POST " + path + " HTTP/1.0\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" +
                            body);
}

const std::string kLobby = "%B4%F3%CC%FC";  // "大厅" in GB2312, URL-encoded

std::string SessionOf(const std::string& frameset) {
  std::smatch match;
  return std::regex_search(frameset, match, std::regex("session=([0-9a-z]+)")) ? match[1].str() : "";
}

std::string LogOnAndJoin(int port, const std::string& name) {
  Post(port, "/register", "username=" + name + "&password=pw");
  const std::string session = SessionOf(Post(port, "/logon", "username=" + name + "&password=pw"));
  Exchange(port, "GET /Blank?session=" + session + "&message=/join%20" + kLobby + " HTTP/1.0\r\nHost: bench\r\n\r\n");
  return session;
}

int OpenStream(int port, const std::string& session) {
  const int fd = Connect(port);
  const std::string request =
      "GET /messages?session=" + session + "&RoomName=" + kLobby + " HTTP/1.0\r\nHost: bench\r\n\r\n";
  ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
  std::string head;
  char buffer[4096];
  while (head.find("<br>") == std::string::npos) {
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    head.append(buffer, static_cast<size_t>(n));
  }
  return fd;
}

double Percentile(std::vector<double> values, double p) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return values[std::min(values.size() - 1, static_cast<size_t>(p * static_cast<double>(values.size())))];
}

int FreePort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t size = sizeof address;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
  ::close(fd);
  return ntohs(address.sin_port);
}

void WaitForPort(int port) {
  for (int i = 0; i < 250; ++i) {
    const int fd = Connect(port);
    if (fd >= 0) {
      ::close(fd);
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

pid_t Spawn(const std::string& directory, const std::vector<std::string>& command, const std::string& log) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (::chdir(directory.c_str()) != 0) ::_exit(127);
    if (std::freopen(log.c_str(), "w", stdout) == nullptr) ::_exit(127);
    ::dup2(1, 2);
    std::vector<char*> argv;
    for (const std::string& part : command) argv.push_back(const_cast<char*>(part.c_str()));
    argv.push_back(nullptr);
    ::execvp(argv[0], argv.data());
    ::_exit(127);
  }
  return pid;
}

struct Node {
  int port = 0;
  pid_t pid = -1;
};

Node StartNode(const std::string& binary, const std::string& site, const std::string& work, const std::string& id,
               int redisPort, int hashKib, int hashPasses) {
  std::filesystem::copy(site, work, std::filesystem::copy_options::recursive);
  Node node;
  node.port = FreePort();
  std::ofstream(work + "/tolvann2.ini", std::ios::app)
      << "\n[network]\nhttp_port = " << node.port << "\ntelnet_port = " << FreePort()
      << "\nmax_connections_per_address = 0\n[general]\nnodeid = " << id
      << "\nifconnect = 1\n[cluster]\nredis = 127.0.0.1:" << redisPort << "\n[user_database]\nhash_memory_kib = "
      << hashKib << "\nhash_passes = " << hashPasses << "\n" << bench::kLimitsOffIni;
  node.pid = Spawn(work, {binary, "-debug"}, "console.txt");
  WaitForPort(node.port);
  return node;
}

// Every stream's text as it comes, and when each marked line arrived.
class Arrivals {
 public:
  explicit Arrivals(const std::vector<int>& streams) : m_streams(streams), m_text(streams.size()) {
    m_epoll = ::epoll_create1(0);
    for (size_t i = 0; i < streams.size(); ++i) {
      epoll_event event{};
      event.events = EPOLLIN;
      event.data.u32 = static_cast<uint32_t>(i);
      ::epoll_ctl(m_epoll, EPOLL_CTL_ADD, streams[i], &event);
    }
  }
  ~Arrivals() { ::close(m_epoll); }

  // Reads until every stream has every one of the lines, or nothing comes
  // for 5 s: for each line, when it reached each stream (by stream index).
  std::map<int, std::map<size_t, Clock::time_point>> Collect(int lines) {
    std::map<int, std::map<size_t, Clock::time_point>> seen;
    std::vector<int> nextLine(m_streams.size(), 0);
    size_t complete = 0;
    std::vector<epoll_event> events(4096);
    char buffer[65536];
    while (complete < m_streams.size()) {
      const int ready = ::epoll_wait(m_epoll, events.data(), static_cast<int>(events.size()), 5000);
      if (ready <= 0) break;
      const auto now = Clock::now();
      for (int r = 0; r < ready; ++r) {
        const uint32_t index = events[r].data.u32;
        const ssize_t n = ::recv(m_streams[index], buffer, sizeof buffer, MSG_DONTWAIT);
        if (n <= 0) continue;
        std::string& text = m_text[index];
        text.append(buffer, static_cast<size_t>(n));
        size_t at;
        while (nextLine[index] < lines && (at = text.find("mark" + std::to_string(nextLine[index]) + "x")) != std::string::npos) {
          seen[nextLine[index]][index] = now;
          text.erase(0, at);
          if (++nextLine[index] == lines) ++complete;
        }
        if (text.size() > 65536) text.erase(0, text.size() - 256);
      }
    }
    return seen;
  }

 private:
  const std::vector<int>& m_streams;
  std::vector<std::string> m_text;
  int m_epoll = -1;
};

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  if (argc < 3) {
    std::fprintf(stderr, "usage: tolvan_cluster_bench BINARY SITE_DIR [USERS] [LINES] [RATE] [LOGONS] [HASH_KIB] [HASH_PASSES]\n");
    return 2;
  }
  rlimit limit{};
  getrlimit(RLIMIT_NOFILE, &limit);
  limit.rlim_cur = limit.rlim_max;
  setrlimit(RLIMIT_NOFILE, &limit);
  const int users = argc > 3 ? std::atoi(argv[3]) : 1000;
  const int lines = argc > 4 ? std::atoi(argv[4]) : 500;
  const int rate = argc > 5 ? std::atoi(argv[5]) : 50;
  const int logons = argc > 6 ? std::atoi(argv[6]) : 300;
  const int hashKib = argc > 7 ? std::atoi(argv[7]) : 8;
  const int hashPasses = argc > 8 ? std::atoi(argv[8]) : 1;
  const std::string binary = std::filesystem::absolute(argv[1]);
  char pattern[] = "/tmp/tolvan-cluster-bench-XXXXXX";
  const std::string work = ::mkdtemp(pattern);

  const int redisPort = FreePort();
  const pid_t redis = Spawn(work, {"redis-server", "--port", std::to_string(redisPort), "--bind", "127.0.0.1", "--save",
                                   "", "--appendonly", "no"},
                            "redis.log");
  WaitForPort(redisPort);
  std::vector<Node> nodes;
  for (const char* id : {"nodeA", "nodeB", "nodeC"}) {
    nodes.push_back(StartNode(binary, argv[2], work + "/" + id, id, redisPort, hashKib, hashPasses));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(500));

  std::vector<std::string> sessions;
  std::vector<int> streams;
  for (int i = 0; i < users; ++i) {
    const int port = nodes[static_cast<size_t>(i) % nodes.size()].port;
    sessions.push_back(LogOnAndJoin(port, "u" + std::to_string(i)));
    streams.push_back(OpenStream(port, sessions.back()));
  }
  Arrivals arrivals(streams);
  arrivals.Collect(0);  // let the enter notices pass
  std::this_thread::sleep_for(std::chrono::seconds(2));
  std::printf("setup done: %d members over %zu nodes, hash cost %d KiB x %d passes\n", users, nodes.size(), hashKib,
              hashPasses);

  // The poster: one line every 1/RATE s from the first member (on the first node).
  std::vector<Clock::time_point> sent(static_cast<size_t>(lines));
  std::thread poster([&] {
    const auto start = Clock::now();
    for (int line = 0; line < lines; ++line) {
      std::this_thread::sleep_until(start + std::chrono::microseconds(1000000LL * line / rate));
      const std::string body = "session=" + sessions[0] + "&message=mark" + std::to_string(line) +
                               "x&towho=&addsays=s&addwordcolor=ff0000&RoomName=" + kLobby;
      sent[static_cast<size_t>(line)] = Clock::now();
      Post(nodes[0].port, "/Blank", body);
    }
  });
  const auto seen = arrivals.Collect(lines);
  poster.join();
  // The last receiver of each line: of all members, and of each node's members.
  std::vector<double> last;
  std::vector<std::vector<double>> lastOnNode(nodes.size());
  size_t incomplete = 0;
  for (int line = 0; line < lines; ++line) {
    const auto found = seen.find(line);
    if (found == seen.end() || found->second.size() < streams.size()) ++incomplete;
    if (found == seen.end()) continue;
    std::vector<Clock::time_point> latest(nodes.size(), sent[static_cast<size_t>(line)]);
    for (const auto& [index, at] : found->second) latest[index % nodes.size()] = std::max(latest[index % nodes.size()], at);
    const auto ms = [&](Clock::time_point at) {
      return std::chrono::duration<double, std::milli>(at - sent[static_cast<size_t>(line)]).count();
    };
    last.push_back(ms(*std::max_element(latest.begin(), latest.end())));
    for (size_t node = 0; node < nodes.size(); ++node) lastOnNode[node].push_back(ms(latest[node]));
  }
  std::printf("fan-out: %d lines at %d/s to %d members on 3 nodes: last receiver p50=%.2fms p99=%.2fms max=%.2fms%s\n",
              lines, rate, users, Percentile(last, 0.5), Percentile(last, 0.99), Percentile(last, 1.0),
              incomplete ? " (SOME LINES DID NOT REACH EVERY MEMBER)" : "");
  for (size_t node = 0; node < nodes.size(); ++node) {
    std::printf("  last receiver on node %zu%s: p50=%.2fms p99=%.2fms\n", node + 1, node == 0 ? " (the poster's)" : "",
                Percentile(lastOnNode[node], 0.5), Percentile(lastOnNode[node], 0.99));
  }

  std::vector<double> logonTimes;
  int refused = 0;
  for (int i = 0; i < logons; ++i) {
    const auto start = Clock::now();
    const std::string answer =
        Post(nodes[1].port, "/logon", "username=u" + std::to_string(i % users) + "&password=pw");
    logonTimes.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    if (SessionOf(answer).empty()) ++refused;
  }
  std::printf("logon through the cluster: %d logons p50=%.2fms p99=%.2fms%s\n", logons, Percentile(logonTimes, 0.5),
              Percentile(logonTimes, 0.99), refused ? " (SOME WERE REFUSED)" : "");

  for (int fd : streams) ::close(fd);
  for (const Node& node : nodes) ::kill(node.pid, SIGINT);
  for (const Node& node : nodes) ::waitpid(node.pid, nullptr, 0);
  ::kill(redis, SIGTERM);
  ::waitpid(redis, nullptr, 0);
  std::filesystem::remove_all(work);
  return 0;
}
