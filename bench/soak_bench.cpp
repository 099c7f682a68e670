// Message frames that live: many streams held open through nginx for a long
// time while every room gets a line each second. Starts the server binary in
// a scratch copy of the site (on 127.0.0.1, trusting the proxy) and nginx
// in front of it with the proxy settings of docs/deploy.md (plain HTTP: the
// client has no TLS, and what is watched here does not depend on it).
//
//   tolvan_soak_bench BINARY SITE_DIR NGINX STREAMS SECONDS [PER_ROOM=100] [SAMPLE_SECONDS=10]
//       STREAMS members in rooms of PER_ROOM register, log on, join and
//       open their message frames through nginx; then for SECONDS seconds
//       the first member of each room posts a numbered line every second.
//       A stream is lost when it closes before the end or misses a line
//       that was posted; the time from a line's POST to its arrival in
//       each stream is the delivery time. Every SAMPLE_SECONDS the server's and nginx's
//       resident memory are sampled (printed as they come on stderr);
//       reported: start, end and maximum, CPU shares, delivery times.
#include <dirent.h>

#include <atomic>
#include <map>
#include <stdexcept>
#include <thread>

#include "bench_support.h"
#include "chat_members.h"
#include "line_arrivals.h"

namespace {
using namespace bench;

constexpr int kGraceMs = 5000;  // after the last line, for lines still on their way

// The server behind a proxy on this machine, as docs/deploy.md sets it up.
std::string ServerIni(int rooms) {
  return RoomsIni(rooms) + "[network]\nbind_address = 127.0.0.1\ntrusted_proxies = 127.0.0.1\n";
}

// nginx in a scratch directory of its own (pid, logs, temporary files),
// in the foreground as a child of this process, proxying to the port.
class ScratchNginx {
 public:
  ScratchNginx(const std::string& program, int upstreamPort) {
    char pattern[] = "/tmp/tolvan-soak-nginx-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) return;
    m_dir = pattern;
    m_port = FreePort();
    std::ofstream(m_dir + "/nginx.conf") << Config(upstreamPort);
    m_pid = ::fork();
    if (m_pid == 0) {
      const std::string prefix = m_dir + "/";
      const std::string config = m_dir + "/nginx.conf";
      const std::string errors = m_dir + "/error.log";
      ::execl(program.c_str(), program.c_str(), "-p", prefix.c_str(), "-e", errors.c_str(), "-c", config.c_str(), "-g",
              "daemon off;", static_cast<char*>(nullptr));
      ::_exit(127);
    }
    for (int i = 0; i < 250 && !ConnectLoopback(m_port).Valid(); ++i) {
      if (::waitpid(m_pid, nullptr, WNOHANG) == m_pid) {
        m_pid = -1;
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }
  ~ScratchNginx() {
    if (m_pid > 0) {
      ::kill(m_pid, SIGTERM);  // a fast stop: the streams it holds never end by themselves
      ::waitpid(m_pid, nullptr, 0);
    }
    if (!m_dir.empty()) {
      std::error_code ignored;
      std::filesystem::remove_all(m_dir, ignored);
    }
  }
  ScratchNginx(const ScratchNginx&) = delete;
  ScratchNginx& operator=(const ScratchNginx&) = delete;

  bool Running() const { return m_pid > 0 && ConnectLoopback(m_port).Valid(); }
  int Port() const { return m_port; }
  pid_t Pid() const { return m_pid; }

 private:
  std::string Config(int upstreamPort) const {
    const std::string& d = m_dir;
    return "worker_processes 2;\nworker_rlimit_nofile 20000;\npid " + d + "/nginx.pid;\nerror_log " + d +
           "/error.log;\nevents { worker_connections 8192; }\nhttp {\n  access_log off;\n"
           "  client_body_temp_path " + d + "/body;\n  proxy_temp_path " + d + "/proxy;\n"
           "  fastcgi_temp_path " + d + "/fastcgi;\n  uwsgi_temp_path " + d + "/uwsgi;\n  scgi_temp_path " + d +
           "/scgi;\n  server {\n    listen 127.0.0.1:" + std::to_string(m_port) + " backlog=1024;\n"
           "    location / {\n      proxy_pass http://127.0.0.1:" + std::to_string(upstreamPort) + ";\n"
           "      proxy_http_version 1.0;\n      proxy_buffering off;\n      proxy_read_timeout 90s;\n"
           "      proxy_set_header Host $host;\n"
           "      proxy_set_header X-Forwarded-For $proxy_add_x_forwarded_for;\n"
           "      proxy_set_header X-Real-IP $remote_addr;\n    }\n  }\n}\n";
  }

  std::string m_dir;
  int m_port = 0;
  pid_t m_pid = -1;
};

// The process and its children (nginx's master and workers).
std::vector<pid_t> ProcessTree(pid_t root) {
  std::vector<pid_t> tree{root};
  DIR* proc = ::opendir("/proc");
  if (proc == nullptr) return tree;
  while (const dirent* entry = ::readdir(proc)) {
    const pid_t pid = std::atoi(entry->d_name);
    if (pid <= 0) continue;
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    const std::string text((std::istreambuf_iterator<char>(stat)), {});
    const size_t close = text.rfind(')');
    if (close == std::string::npos) continue;
    std::istringstream fields(text.substr(close + 2));
    std::string state;
    pid_t parent = 0;
    if (fields >> state >> parent && parent == root) tree.push_back(pid);
  }
  ::closedir(proc);
  return tree;
}

long TreeResidentKb(pid_t root) {
  long total = 0;
  for (pid_t pid : ProcessTree(root)) total += ResidentKb(pid);
  return total;
}

double TreeCpuSeconds(pid_t root) {
  double total = 0;
  for (pid_t pid : ProcessTree(root)) total += CpuSeconds(pid);
  return total;
}

// Resident memory of one process tree over the run.
struct MemoryTrace {
  long start = 0, end = 0, max = 0;
  void Add(long kb) {
    if (start == 0) start = kb;
    end = kb;
    max = std::max(max, kb);
  }
};

// The lines of one room as the poster said them: when each left, and
// whether the server answered its POST (a line without an answer may never
// have been said, and is not missed).
struct RoomLines {
  std::vector<std::atomic<int64_t>> sentNs;  // read by the reader while the poster writes
  std::vector<char> answered;                // read once the poster has ended
};

// One member's message frame: the lines it has shown (in order), and
// whether it ended before the soak did.
struct Stream {
  int fd = -1;
  int room = 0;
  std::vector<char> seen;
  std::string carry;  // a marker cut between two reads
  bool closedEarly = false;
  double closedAtS = 0;
};

class Soak {
 public:
  Soak(const std::vector<Descriptor>& streams, int perRoom, int lines)
      : m_epoll(::epoll_create1(EPOLL_CLOEXEC)), m_lines(lines), m_open(static_cast<int>(streams.size())) {
    m_rooms.resize((streams.size() + static_cast<size_t>(perRoom) - 1) / static_cast<size_t>(perRoom));
    for (RoomLines& room : m_rooms) {
      room.sentNs = std::vector<std::atomic<int64_t>>(static_cast<size_t>(lines));
      room.answered.assign(static_cast<size_t>(lines), 0);
    }
    for (size_t i = 0; i < streams.size(); ++i) {
      Stream stream;
      stream.fd = streams[i].Get();
      stream.room = static_cast<int>(i) / perRoom;
      stream.seen.assign(static_cast<size_t>(lines), 0);
      m_streams.push_back(std::move(stream));
      epoll_event event{};
      event.events = EPOLLIN | EPOLLRDHUP;
      event.data.u64 = i;
      ::epoll_ctl(m_epoll.Get(), EPOLL_CTL_ADD, m_streams.back().fd, &event);
    }
  }

  RoomLines& Room(int room) { return m_rooms[static_cast<size_t>(room)]; }
  int Rooms() const { return static_cast<int>(m_rooms.size()); }
  int Open() const { return m_open; }

  // Reads what arrives for up to timeoutMs.
  void ReadFor(int timeoutMs, Clock::time_point soakStart) {
    epoll_event events[512];
    const int ready = ::epoll_wait(m_epoll.Get(), events, 512, timeoutMs);
    static char buffer[65536];
    for (int i = 0; i < ready; ++i) {
      Stream& stream = m_streams[events[i].data.u64];
      for (;;) {
        const ssize_t n = ::recv(stream.fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n > 0) {
          Take(stream, std::string_view(buffer, static_cast<size_t>(n)));
          continue;
        }
        if (n == 0 || (errno != EAGAIN && errno != EINTR)) Closed(stream, soakStart);
        break;
      }
    }
  }

  struct Figures {
    int closedEarly = 0, missingLines = 0, lost = 0;
    long linesMissed = 0;
    double firstCloseS = -1;
    double p50 = 0, p99 = 0;
  };

  Figures Count() const {
    Figures figures;
    for (const Stream& stream : m_streams) {
      long missed = 0;
      const RoomLines& room = m_rooms[static_cast<size_t>(stream.room)];
      for (size_t line = 0; line < stream.seen.size(); ++line) missed += room.answered[line] && !stream.seen[line];
      figures.closedEarly += stream.closedEarly;
      figures.missingLines += missed > 0;
      figures.lost += stream.closedEarly || missed > 0;
      figures.linesMissed += missed;
      if (stream.closedEarly && (figures.firstCloseS < 0 || stream.closedAtS < figures.firstCloseS)) {
        figures.firstCloseS = stream.closedAtS;
      }
    }
    figures.p50 = Percentile(m_delays, 0.5);
    figures.p99 = Percentile(m_delays, 0.99);
    return figures;
  }

 private:
  // Finds the line markers ("Zq<n>x") in what arrived.
  void Take(Stream& stream, std::string_view data) {
    stream.carry.append(data);
    size_t at = 0;
    for (;;) {
      const size_t marker = stream.carry.find("Zq", at);
      if (marker == std::string::npos) {
        at = stream.carry.empty() || stream.carry.back() != 'Z' ? stream.carry.size() : stream.carry.size() - 1;
        break;
      }
      const size_t end = stream.carry.find('x', marker);
      if (end == std::string::npos) {
        at = marker;  // the rest comes with the next read
        break;
      }
      const int line = std::atoi(stream.carry.c_str() + marker + 2);
      if (line >= 0 && line < m_lines && !stream.seen[static_cast<size_t>(line)]) {
        stream.seen[static_cast<size_t>(line)] = 1;
        const int64_t sent = m_rooms[static_cast<size_t>(stream.room)].sentNs[static_cast<size_t>(line)].load();
        if (sent > 0) m_delays.push_back(static_cast<double>(NowNs() - sent) / 1e6);
      }
      at = end + 1;
    }
    stream.carry.erase(0, at);
  }

  void Closed(Stream& stream, Clock::time_point soakStart) {
    if (stream.closedEarly) return;
    ::epoll_ctl(m_epoll.Get(), EPOLL_CTL_DEL, stream.fd, nullptr);
    stream.closedEarly = true;
    stream.closedAtS = MsSince(soakStart) / 1000;
    --m_open;
  }

  Descriptor m_epoll;
  int m_lines;
  int m_open;
  std::vector<RoomLines> m_rooms;
  std::vector<Stream> m_streams;
  std::vector<double> m_delays;
};

int Run(const std::string& binary, const std::string& site, const std::string& nginxProgram, int streamCount,
        int seconds, int perRoom, int sampleSeconds) {
  const int rooms = (streamCount + perRoom - 1) / perRoom;
  const ScratchServer server(binary, site, ServerIni(rooms));
  if (!server.Running()) throw std::runtime_error("the server did not start");
  const ScratchNginx nginx(nginxProgram, server.Port());
  if (!nginx.Running()) throw std::runtime_error("nginx did not start");
  const int port = nginx.Port();
  const std::vector<Member> members = EnrolMany(port, "s", streamCount, perRoom);
  const std::vector<Descriptor> streams = OpenStreams(port, members);
  std::fprintf(stderr, "soak: %d streams open through nginx, %d rooms; %d s of a line a second in each room\n",
               streamCount, rooms, seconds);

  Soak soak(streams, perRoom, seconds);
  MemoryTrace serverRss, nginxRss;
  const auto sample = [&](double atS) {
    serverRss.Add(ResidentKb(server.Pid()));
    nginxRss.Add(TreeResidentKb(nginx.Pid()));
    std::fprintf(stderr, "soak t=%4.0fs open=%d server_rss_kb=%ld nginx_rss_kb=%ld\n", atS, soak.Open(),
                 serverRss.end, nginxRss.end);
  };
  const auto start = Clock::now();
  sample(0);
  const double serverCpuBefore = CpuSeconds(server.Pid());
  const double nginxCpuBefore = TreeCpuSeconds(nginx.Pid());

  std::atomic<bool> posting{true};
  std::atomic<int> failedPosts{0};
  std::thread poster([&] {
    // Each room's line k leaves at k seconds, the rooms spread over the second.
    for (int line = 0; line < seconds; ++line) {
      for (int room = 0; room < rooms; ++room) {
        std::this_thread::sleep_until(start + std::chrono::seconds(line) + std::chrono::seconds(1) * room / rooms);
        RoomLines& lines = soak.Room(room);
        lines.sentNs[static_cast<size_t>(line)].store(NowNs());
        const bool answered = Say(port, members[static_cast<size_t>(room * perRoom)], LineMarker(line));
        lines.answered[static_cast<size_t>(line)] = answered;
        failedPosts += !answered;
      }
    }
    posting = false;
  });

  auto nextSample = start + std::chrono::seconds(sampleSeconds);
  while (posting || Clock::now() < start + std::chrono::seconds(seconds) + std::chrono::milliseconds(kGraceMs)) {
    soak.ReadFor(100, start);
    if (Clock::now() >= nextSample) {
      sample(MsSince(start) / 1000);
      nextSample += std::chrono::seconds(sampleSeconds);
    }
  }
  poster.join();
  const double elapsedS = MsSince(start) / 1000;
  const double serverCpu = CpuSeconds(server.Pid()) - serverCpuBefore;
  const double nginxCpu = TreeCpuSeconds(nginx.Pid()) - nginxCpuBefore;
  sample(elapsedS);

  const Soak::Figures figures = soak.Count();
  std::printf("result bench=soak streams=%d rooms=%d per_room=%d seconds=%d lines_per_stream=%d posts_failed=%d "
              "streams_lost=%d streams_closed_early=%d streams_missing_lines=%d lines_missed=%ld first_close_s=%s "
              "delivery_p50_ms=%.3f delivery_p99_ms=%.3f "
              "server_rss_start_kb=%ld server_rss_end_kb=%ld server_rss_max_kb=%ld server_rss_growth=%.3f "
              "nginx_rss_start_kb=%ld nginx_rss_end_kb=%ld nginx_rss_max_kb=%ld nginx_rss_growth=%.3f "
              "server_cpu_pct=%.2f nginx_cpu_pct=%.2f\n",
              streamCount, rooms, perRoom, seconds, seconds, failedPosts.load(), figures.lost, figures.closedEarly,
              figures.missingLines, figures.linesMissed,
              figures.firstCloseS < 0 ? "none" : std::to_string(static_cast<int>(figures.firstCloseS)).c_str(),
              figures.p50, figures.p99,
              serverRss.start, serverRss.end, serverRss.max,
              static_cast<double>(serverRss.end) / static_cast<double>(std::max(serverRss.start, 1L)), nginxRss.start,
              nginxRss.end, nginxRss.max,
              static_cast<double>(nginxRss.end) / static_cast<double>(std::max(nginxRss.start, 1L)),
              100 * serverCpu / elapsedS, 100 * nginxCpu / elapsedS);
  return figures.lost == 0 && failedPosts == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  RaiseOpenFileLimit();
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() < 5) {
    std::fprintf(stderr,
                 "usage: tolvan_soak_bench BINARY SITE_DIR NGINX STREAMS SECONDS [PER_ROOM=100] [SAMPLE_SECONDS=10]\n");
    return 2;
  }
  try {
    return Run(args[0], args[1], args[2], std::stoi(args[3]), std::stoi(args[4]),
               args.size() > 5 ? std::stoi(args[5]) : 100, args.size() > 6 ? std::stoi(args[6]) : 10);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "tolvan_soak_bench: %s\n", error.what());
    return 1;
  }
}
