// Message-stream benchmark (127.0.0.1 only). Starts the server binary in a
// scratch copy of the bundled site, then:
//   fanout: N users in one room with their message frames open; one of
//     them posts a line, and the time from the end of the POST to the
//     arrival of the line on each stream is recorded (first and last
//     member per post, over many posts);
//   idle:   the server's CPU time while the N streams sit idle;
//   memory: the server's resident memory before and after opening M more
//     streams.
//
//   tolvan_stream_bench BINARY SITE_DIR [USERS=1000] [POSTS=50] [STREAMS=10000]
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {
using Clock = std::chrono::steady_clock;
int g_port = 0;

int Connect() {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(g_port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

std::string Exchange(const std::string& request) {
  const int fd = Connect();
  if (fd < 0) return "";
  ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
  std::string answer;
  char buffer[65536];
  ssize_t n;
  while ((n = ::recv(fd, buffer, sizeof buffer, 0)) > 0) answer.append(buffer, static_cast<size_t>(n));
  ::close(fd);
  return answer;
}

std::string Post(const std::string& path, const std::string& body) {
  return Exchange("POST " + path + " HTTP/1.0\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body);
}

// "大厅" in GB2312, URL-encoded.
const std::string kLobby = "%B4%F3%CC%FC";

std::string LogOn(const std::string& name) {
  Post("/register", "username=" + name + "&password=pw");
  const std::string frameset = Post("/logon", "username=" + name + "&password=pw");
  std::smatch match;
  if (!std::regex_search(frameset, match, std::regex("session=([0-9a-z]+)"))) return "";
  const std::string session = match[1].str();
  Exchange("GET /Blank?session=" + session + "&message=/join%20" + kLobby + " HTTP/1.0\r\nHost: bench\r\n\r\n");
  return session;
}

int OpenStream(const std::string& session) {
  const int fd = Connect();
  const std::string request = "GET /messages?session=" + session + "&RoomName=" + kLobby + " HTTP/1.0\r\nHost: bench\r\n\r\n";
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
  return values[std::min(values.size() - 1, static_cast<size_t>(p * values.size()))];
}

long ProcessTicks(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), {});
  std::istringstream fields(text.substr(text.rfind(')') + 2));
  std::string field;
  long utime = 0, stime = 0;
  for (int i = 3; i <= 15 && fields >> field; ++i) {
    if (i == 14) utime = std::atol(field.c_str());
    if (i == 15) stime = std::atol(field.c_str());
  }
  return utime + stime;
}

long ResidentKb(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
  }
  return 0;
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

pid_t StartServer(const std::string& binary, const std::string& site, const std::string& work) {
  std::filesystem::copy(site, work, std::filesystem::copy_options::recursive);
  g_port = FreePort();
  std::ofstream(work + "/tolvann2.ini", std::ios::app)
      << "\n[network]\nhttp_port = " << g_port << "\ntelnet_port = " << FreePort() << "\n";
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (::chdir(work.c_str()) != 0) ::_exit(127);
    std::freopen("console.txt", "w", stdout);
    ::execl(binary.c_str(), binary.c_str(), "-debug", nullptr);
    ::_exit(127);
  }
  for (int i = 0; i < 200; ++i) {
    const int fd = Connect();
    if (fd >= 0) {
      ::close(fd);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return pid;
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  if (argc < 3) {
    std::fprintf(stderr, "usage: tolvan_stream_bench BINARY SITE_DIR [USERS] [POSTS] [STREAMS]\n");
    return 2;
  }
  rlimit limit{};
  getrlimit(RLIMIT_NOFILE, &limit);
  limit.rlim_cur = limit.rlim_max;
  setrlimit(RLIMIT_NOFILE, &limit);
  const int users = argc > 3 ? std::atoi(argv[3]) : 1000;
  const int posts = argc > 4 ? std::atoi(argv[4]) : 50;
  const int extraStreams = argc > 5 ? std::atoi(argv[5]) : 10000;
  char pattern[] = "/tmp/tolvan-bench-XXXXXX";
  const std::string work = std::string(::mkdtemp(pattern)) + "/site";
  const pid_t server = StartServer(std::filesystem::absolute(argv[1]), argv[2], work);

  std::vector<std::string> sessions;
  std::vector<int> streams;
  for (int i = 0; i < users; ++i) {
    sessions.push_back(LogOn("u" + std::to_string(i)));
    streams.push_back(OpenStream(sessions.back()));
  }
  const int epoll = ::epoll_create1(0);
  for (size_t i = 0; i < streams.size(); ++i) {
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.u32 = static_cast<uint32_t>(i);
    ::epoll_ctl(epoll, EPOLL_CTL_ADD, streams[i], &event);
  }
  // Let the enter notices drain.
  std::vector<epoll_event> events(4096);
  char buffer[65536];
  for (int ready; (ready = ::epoll_wait(epoll, events.data(), static_cast<int>(events.size()), 500)) > 0;) {
    for (int i = 0; i < ready; ++i) {
      if (::recv(streams[events[i].data.u32], buffer, sizeof buffer, MSG_DONTWAIT) == 0) {
        std::printf("stream %u was closed by the server\n", events[i].data.u32);
        ::epoll_ctl(epoll, EPOLL_CTL_DEL, streams[events[i].data.u32], nullptr);
      }
    }
  }

  std::printf("setup done: %d users with open streams\n", users);
  std::vector<double> firsts, lasts, all;
  for (int p = 0; p < posts; ++p) {
    const std::string marker = "mark" + std::to_string(p) + "x";
    const std::string body = "session=" + sessions[0] + "&message=" + marker +
                             "&towho=&addsays=s&addwordcolor=ff0000&RoomName=" + kLobby;
    const std::string request =
        "POST /Blank HTTP/1.0\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
    const int fd = Connect();
    ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    const auto sent = Clock::now();
    std::vector<bool> got(streams.size(), false);
    std::vector<std::string> partial(streams.size());
    size_t arrived = 0;
    double first = 0, last = 0;
    while (arrived < streams.size()) {
      const int ready = ::epoll_wait(epoll, events.data(), static_cast<int>(events.size()), 5000);
      if (ready <= 0) break;
      const auto now = Clock::now();
      for (int i = 0; i < ready; ++i) {
        const uint32_t index = events[i].data.u32;
        const ssize_t n = ::recv(streams[index], buffer, sizeof buffer, MSG_DONTWAIT);
        if (n <= 0 || got[index]) continue;
        partial[index].append(buffer, static_cast<size_t>(n));
        if (partial[index].find(marker) == std::string::npos) continue;
        got[index] = true;
        const double ms = std::chrono::duration<double, std::milli>(now - sent).count();
        if (arrived++ == 0) first = ms;
        last = ms;
        all.push_back(ms);
      }
    }
    ::close(fd);
    firsts.push_back(first);
    lasts.push_back(last);
    if (arrived < streams.size()) std::printf("post %d: only %zu of %zu streams got the line\n", p, arrived, streams.size());
  }
  std::printf("fanout: users=%d posts=%d first-member median=%.2fms p99=%.2fms; last-member median=%.2fms p99=%.2fms; "
              "all deliveries p50=%.2fms p99=%.2fms\n",
              users, posts, Percentile(firsts, 0.5), Percentile(firsts, 0.99), Percentile(lasts, 0.5),
              Percentile(lasts, 0.99), Percentile(all, 0.5), Percentile(all, 0.99));

  const long ticksBefore = ProcessTicks(server);
  std::this_thread::sleep_for(std::chrono::seconds(10));
  const long ticks = ProcessTicks(server) - ticksBefore;
  std::printf("idle: %d open streams, server CPU %.2f%% of one core over 10 s\n", users,
              100.0 * ticks / sysconf(_SC_CLK_TCK) / 10.0);

  const long rssBefore = ResidentKb(server);
  std::vector<int> more;
  for (int i = 0; i < extraStreams; ++i) more.push_back(OpenStream(sessions[static_cast<size_t>(i) % sessions.size()]));
  std::this_thread::sleep_for(std::chrono::seconds(1));
  const long rssAfter = ResidentKb(server);
  const std::string probe = Exchange("GET /nothing.html HTTP/1.0\r\nHost: bench\r\n\r\n");
  std::printf("memory: %d more streams, server resident %ld KB -> %ld KB, %.1f KB per stream; server %s\n",
              extraStreams, rssBefore, rssAfter, extraStreams ? double(rssAfter - rssBefore) / extraStreams : 0.0,
              probe.rfind("HTTP/1.0 200 OK", 0) == 0 ? "still answering" : "NOT answering");

  for (int fd : more) ::close(fd);
  for (int fd : streams) ::close(fd);
  ::kill(server, SIGINT);
  ::waitpid(server, nullptr, 0);
  std::filesystem::remove_all(std::filesystem::path(work).parent_path());
  return 0;
}
