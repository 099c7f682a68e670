// Three linked nodes at this machine's limit. MEMBERS members (50,000) over
// three nodes that share one private Redis, each node holding a third of
// the message streams; a member on the first node posts numbered lines.
// With ROOMS = 1 everybody is in one room and every line goes to every
// member; with more rooms the members are spread evenly over them and line
// k is said in room k % ROOMS, by a member of that room on the first node.
//
//   tolvan_cluster50k_bench BINARY SITE_DIR MEMBERS ROOMS LINES [PACES=last] [SETUP_CLIENTS=96]
//
// PACES is a comma-separated list of phases, LINES lines each, one after
// the other on the same streams: "last", the next line leaves when the
// previous one has reached every member of its room; a number, that many
// lines a second, each when due, whatever has arrived. A result line for
// each phase.
//
// Member i is on node i % 3, in room i / (MEMBERS / ROOMS). Setup goes as
// the pages go (register, log on, join, then the message frame), on
// SETUP_CLIENTS client threads at once, passwords hashed at the cheapest
// cost; its time is reported apart. A process may hold 20,000 descriptors,
// so the streams are opened and read by one reader process per node (a
// third of them each); each reader tells its own pacer when a line has
// reached all its members of the line's room, and leaves when and how often
// each line reached them in shared memory. Each node's and Redis's CPU
// over the posting, their resident memory (the most, sampled every 100 ms)
// and the readers' own CPU come with the arrivals.
#include <sys/mman.h>
#include <sys/resource.h>

#include <memory>
#include <new>
#include <stdexcept>
#include <string_view>
#include <type_traits>

#include "bench_support.h"
#include "chat_members.h"
#include "cluster_nodes.h"
#include "line_arrivals.h"

namespace {
using namespace bench;

constexpr int kNodes = 3;
const char* const kNodeIds[kNodes] = {"nodeA", "nodeB", "nodeC"};
// Threads of a reader that open its streams (each waits for its frame's head).
constexpr int kOpeningClients = 16;
// A reader has drained what came before once nothing came for this long.
constexpr int kDrainQuietMs = 500;
// A reader gives up when no line has reached any of its members for this
// long after the first line left; a paced poster waits a little longer.
constexpr int kStallMs = 10000;
constexpr int kPosterWaitMs = kStallMs + 5000;
// A reader waits at most this long for the first line.
constexpr int kFirstLineWaitMs = 120000;
// Where the clients come from. The server closes each setup request's
// connection first, so its side keeps the pair in TIME_WAIT for a minute; a
// later connect from 127.0.0.1 that drew the same port would wait a second
// for its SYN to be sent again. So setup comes from addresses of its own
// (member i from 127.0.1.(i % 250 + 1)), the streams from 127.0.0.1 and the
// poster from 127.0.0.2.
constexpr int kSetupAddresses = 250;
const std::string kPosterAddress = "127.0.0.2";
std::string SetupAddressOf(int member) { return "127.0.1." + std::to_string(member % kSetupAddresses + 1); }

// An array of T in memory shared with the processes forked after it.
template <class T>
class SharedArray {
  static_assert(std::is_trivially_destructible_v<T>);

 public:
  explicit SharedArray(size_t count) : m_count(count), m_bytes(sizeof(T) * std::max<size_t>(count, 1)) {
    void* area = ::mmap(nullptr, m_bytes, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (area == MAP_FAILED) throw std::bad_alloc();
    m_items = static_cast<T*>(area);
    for (size_t i = 0; i < count; ++i) new (&m_items[i]) T();
  }
  ~SharedArray() { ::munmap(m_items, m_bytes); }
  SharedArray(const SharedArray&) = delete;
  SharedArray& operator=(const SharedArray&) = delete;

  T& operator[](size_t i) { return m_items[i]; }
  const T& operator[](size_t i) const { return m_items[i]; }

 private:
  size_t m_count;
  size_t m_bytes;
  T* m_items = nullptr;
};

// What one reader found of one line.
struct LineShare {
  std::atomic<int> reached{0};
  std::atomic<int64_t> firstNs{0};
  std::atomic<int64_t> lastNs{0};
};

// What one reader found of its streams.
struct ReaderShare {
  std::atomic<int> opened{0};
  std::atomic<int> failed{0};  // streams that did not open
  std::atomic<int> open{0};    // still open at the end
  std::atomic<long> bytes{0};
  std::atomic<int64_t> cpuNs{0};  // its CPU from the end of its drain to its end
};

double OwnCpuSeconds() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The layout: who is where, and which room each line goes to.
struct Layout {
  int members = 0;
  int rooms = 1;
  int lines = 0;

  int PerRoom() const { return members / rooms; }
  int NodeOf(int member) const { return member % kNodes; }
  int RoomOf(int member) const { return member / PerRoom(); }  // 0-based
  int RoomOfLine(int line) const { return line % rooms; }
  // Room names are bench1..benchN (RoomsIni).
  std::string RoomName(int room) const { return bench::RoomName(room + 1); }
  // The first member of the room on the first node: it says the room's lines.
  int PosterOf(int room) const {
    for (int member = room * PerRoom(); member < (room + 1) * PerRoom(); ++member) {
      if (NodeOf(member) == 0) return member;
    }
    throw std::runtime_error("room " + std::to_string(room) + " has no member on the first node");
  }
};

// A reader process's receivers and what it finds in them.
class StreamReader {
 public:
  // lines: this reader's record of each line, in shared memory.
  StreamReader(const Layout& layout, int node, LinePacer& pacer, ReaderShare& share, LineShare* lines)
      : m_layout(layout),
        m_node(node),
        m_pacer(pacer),
        m_share(share),
        m_lines(lines),
        m_openInRoom(static_cast<size_t>(layout.rooms), 0),
        m_noticed(static_cast<size_t>(layout.lines), false),
        m_epoll(::epoll_create1(EPOLL_CLOEXEC)) {}

  // Opens the message frames of this node's members, several at a time.
  void Open(int port, const std::vector<Member>& members) {
    std::vector<int> mine;
    for (int i = 0; i < m_layout.members; ++i) {
      if (m_layout.NodeOf(i) == m_node) mine.push_back(i);
    }
    std::vector<Descriptor> streams(mine.size());
    InParallel(
        static_cast<int>(mine.size()),
        [&](int k) { streams[static_cast<size_t>(k)] = OpenStream(port, members[static_cast<size_t>(mine[k])]); },
        kOpeningClients);
    for (size_t k = 0; k < mine.size(); ++k) {
      if (!streams[k].Valid()) {
        ++m_share.failed;
        continue;
      }
      Watch(std::move(streams[k]), m_layout.RoomOf(mine[k]));
    }
    m_share.opened = static_cast<int>(m_receivers.size());
    m_share.open = static_cast<int>(m_receivers.size());
  }

  // Throws away what came before (the frames' recent lines).
  void Drain() {
    while (ReadOnce(kDrainQuietMs, false) > 0) {
    }
  }

  // Reads until every line has reached every member here of its room, or
  // nothing came for the stall time after the first line left.
  void Run() {
    const double cpuBefore = OwnCpuSeconds();
    const int64_t beginNs = NowNs();
    int64_t lastProgressNs = 0;
    while (m_complete < m_layout.lines) {
      const long before = m_markersSeen;
      ReadOnce(100, true);
      const int64_t now = NowNs();
      if (m_markersSeen != before) lastProgressNs = now;
      const int64_t firstSentNs = m_pacer.SentNs(0);
      if (firstSentNs == 0) {
        if (now - beginNs >= kFirstLineWaitMs * 1'000'000LL) break;
        continue;
      }
      if (now - std::max(lastProgressNs, firstSentNs) >= kStallMs * 1'000'000LL) break;
    }
    m_share.cpuNs = static_cast<int64_t>((OwnCpuSeconds() - cpuBefore) * 1e9);
    m_share.bytes = m_bytes;
  }

 private:
  struct Receiver {
    Descriptor fd;
    int room = 0;
    int lastLine = -1;  // a line's second copy is not counted again
    std::string carry;  // the start of a marker cut between two reads
    bool open = true;
  };

  void Watch(Descriptor fd, int room) {
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.u64 = m_receivers.size();
    ::epoll_ctl(m_epoll.Get(), EPOLL_CTL_ADD, fd.Get(), &event);
    Receiver receiver;
    receiver.fd = std::move(fd);
    receiver.room = room;
    m_receivers.push_back(std::move(receiver));
    ++m_openInRoom[static_cast<size_t>(room)];
  }

  // One wait and the reads it allows; the number of receivers that had data.
  int ReadOnce(int timeoutMs, bool watch) {
    epoll_event events[512];
    const int ready = ::epoll_wait(m_epoll.Get(), events, 512, timeoutMs);
    static char buffer[65536];
    int active = 0;
    for (int i = 0; i < ready; ++i) {
      Receiver& receiver = m_receivers[events[i].data.u64];
      const ssize_t n = ::recv(receiver.fd.Get(), buffer, sizeof buffer, MSG_DONTWAIT);
      if (n > 0) {
        ++active;
        if (watch) Take(receiver, std::string_view(buffer, static_cast<size_t>(n)));
      } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
        Close(receiver);
      }
    }
    return active;
  }

  // Every whole marker ("Zq", digits, "x") in what was read counts.
  void Take(Receiver& receiver, std::string_view data) {
    m_bytes += static_cast<long>(data.size());
    ScanMarkers(receiver.carry, data, [&](long line) {
      if (line >= 0 && line < m_layout.lines) Arrived(receiver, static_cast<int>(line));
    });
  }

  void Arrived(Receiver& receiver, int line) {
    if (line < 0 || line >= m_layout.lines || line <= receiver.lastLine) return;
    receiver.lastLine = line;
    ++m_markersSeen;
    LineShare& share = m_lines[static_cast<size_t>(line)];
    const int64_t now = NowNs();
    if (share.reached++ == 0) share.firstNs = now;
    share.lastNs = now;
    CompleteIfDone(line);
  }

  void CompleteIfDone(int line) {
    const size_t at = static_cast<size_t>(line);
    if (m_noticed[at] || m_pacer.SentNs(line) == 0) return;
    if (m_lines[at].reached < m_openInRoom[static_cast<size_t>(m_layout.RoomOfLine(line))]) return;
    m_noticed[at] = true;
    ++m_complete;
    m_pacer.NoteComplete(line);
  }

  // A stream the server closed no longer counts; its room's lines that
  // reached all the others are complete.
  void Close(Receiver& receiver) {
    if (!receiver.open) return;
    receiver.open = false;
    ::epoll_ctl(m_epoll.Get(), EPOLL_CTL_DEL, receiver.fd.Get(), nullptr);
    receiver.fd.Reset();
    --m_openInRoom[static_cast<size_t>(receiver.room)];
    --m_share.open;
    for (int line = 0; line < m_layout.lines; ++line) CompleteIfDone(line);
  }

  const Layout& m_layout;
  const int m_node;
  LinePacer& m_pacer;
  ReaderShare& m_share;
  LineShare* m_lines;
  std::vector<Receiver> m_receivers;
  std::vector<int> m_openInRoom;
  std::vector<bool> m_noticed;
  Descriptor m_epoll;
  int m_complete = 0;
  long m_markersSeen = 0;
  long m_bytes = 0;
};

// One reader process per node: forked with no other thread running in
// this process; each says on the ready pipe when its streams are open and
// drained.
class Readers {
 public:
  Readers(const Layout& layout, const std::vector<Member>& members, const std::vector<int>& ports)
      : m_layout(layout), m_shares(kNodes), m_lines(static_cast<size_t>(kNodes) * static_cast<size_t>(layout.lines)) {
    for (int node = 0; node < kNodes; ++node) m_pacers.push_back(std::make_unique<LinePacer>(layout.lines));
    int ready[2];
    if (::pipe2(ready, O_CLOEXEC) != 0) throw std::runtime_error("no pipe");
    Descriptor readyIn(ready[0]), readyOut(ready[1]);
    for (int node = 0; node < kNodes; ++node) {
      std::fflush(stdout);
      const pid_t pid = ::fork();
      if (pid == 0) {
        readyIn.Reset();
        RunReader(node, ports[static_cast<size_t>(node)], members, readyOut.Get());
      }
      m_pids.push_back(pid);
    }
    readyOut.Reset();
    char byte;
    for (int node = 0; node < kNodes; ++node) {
      if (::read(readyIn.Get(), &byte, 1) != 1) {
        KillAll();  // no destructor runs for a constructor that throws
        throw std::runtime_error("a reader ended before its streams were open");
      }
    }
  }
  ~Readers() { KillAll(); }
  Readers(const Readers&) = delete;
  Readers& operator=(const Readers&) = delete;

  void MarkSent(int line) {
    for (auto& pacer : m_pacers) pacer->MarkSent(line);
  }
  int64_t SentNs(int line) const { return m_pacers[0]->SentNs(line); }
  // True when the line has reached every member of its room (on every node) in time.
  bool WaitComplete(int line, int timeoutMs) {
    for (auto& pacer : m_pacers) {
      if (!pacer->WaitComplete(line, timeoutMs)) return false;
    }
    return true;
  }
  void Wait() {
    for (pid_t pid : m_pids) ::waitpid(pid, nullptr, 0);
    m_pids.clear();
  }
  void KillAll() {
    for (pid_t pid : m_pids) ::kill(pid, SIGKILL);
    Wait();
  }
  const ReaderShare& Share(int node) const { return m_shares[static_cast<size_t>(node)]; }
  const LineShare& Line(int node, int line) const {
    return m_lines[static_cast<size_t>(node) * static_cast<size_t>(m_layout.lines) + static_cast<size_t>(line)];
  }

 private:
  [[noreturn]] void RunReader(int node, int port, const std::vector<Member>& members, int readyOut) {
    try {
      StreamReader reader(m_layout, node, *m_pacers[static_cast<size_t>(node)], m_shares[static_cast<size_t>(node)],
                          &m_lines[static_cast<size_t>(node) * static_cast<size_t>(m_layout.lines)]);
      reader.Open(port, members);
      reader.Drain();
      if (::write(readyOut, "r", 1) != 1) ::_exit(1);
      reader.Run();
    } catch (const std::exception& error) {
      std::fprintf(stderr, "reader %d: %s\n", node, error.what());
      ::_exit(1);
    }
    ::_exit(0);
  }

  const Layout& m_layout;
  SharedArray<ReaderShare> m_shares;
  SharedArray<LineShare> m_lines;
  std::vector<std::unique_ptr<LinePacer>> m_pacers;
  std::vector<pid_t> m_pids;
};

// A process's resident memory along the run and its CPU over a phase.
struct ProcessFigures {
  long rssStartKb = 0;     // started, nobody in yet
  long rssEnrolledKb = 0;  // every member logged on and in a room
  long rssStreamsKb = 0;   // every stream open
  long rssMostKb = 0;      // the most while the lines went out (every phase)
  double cpuSeconds = 0;   // over the phase
};

// One pacing of LINES lines, numbered from first on.
struct Phase {
  std::string pace;  // "last" or lines a second
  int first = 0;
  int lines = 0;
  int sent = 0;
  double seconds = 0;

  bool ByLast() const { return pace == "last"; }
  std::string Name() const { return ByLast() ? "last" : "rate" + pace; }
};

struct Setup {
  double enrolSeconds = 0;
  double openSeconds = 0;
  int clients = 0;
};

// The phase's lines said through the chat form on the first node, paced by
// the arrivals or at a fixed rate; sets the lines sent.
void PostLines(const Layout& layout, const std::vector<Member>& members, int port, Readers& readers, Phase& phase) {
  const double perSecond = phase.ByLast() ? 0 : std::atof(phase.pace.c_str());
  const int64_t startNs = NowNs();
  for (int k = 0; k < phase.lines; ++k) {
    const int line = phase.first + k;
    if (!phase.ByLast()) {
      const int64_t dueNs = startNs + static_cast<int64_t>(1e9 * k / perSecond);
      if (dueNs > NowNs()) std::this_thread::sleep_for(std::chrono::nanoseconds(dueNs - NowNs()));
    }
    const Member& poster = members[static_cast<size_t>(layout.PosterOf(layout.RoomOfLine(line)))];
    readers.MarkSent(line);
    if (!Say(port, poster, LineMarker(line), kPosterAddress)) return;
    phase.sent = k + 1;
    if (phase.ByLast() && !readers.WaitComplete(line, kPosterWaitMs)) return;
  }
}

std::string NodeWords(int node, const ProcessFigures& f, int streams, const Phase& phase) {
  const std::string name = "node" + std::to_string(node + 1) + "_";
  const char* n = name.c_str();
  char text[600];
  std::snprintf(text, sizeof text,
                " %sstreams=%d %scpu_pct=%.1f %scpu_ms_per_line=%.3f %srss_start_kb=%ld %srss_enrolled_kb=%ld "
                "%srss_streams_kb=%ld %srss_most_kb=%ld %srss_kb_per_stream=%.2f %sstream_rss_kb_per_stream=%.2f",
                n, streams, n, 100 * f.cpuSeconds / std::max(phase.seconds, 1e-9), n,
                phase.sent > 0 ? 1000 * f.cpuSeconds / phase.sent : 0.0, n, f.rssStartKb, n, f.rssEnrolledKb, n,
                f.rssStreamsKb, n, f.rssMostKb, n, streams > 0 ? static_cast<double>(f.rssMostKb) / streams : 0.0, n,
                streams > 0 ? static_cast<double>(f.rssStreamsKb - f.rssEnrolledKb) / streams : 0.0);
  return text;
}

// The phase's arrivals over every reader: the figures of the lines that
// reached every member of their room, and how many did not.
std::string ArrivalWords(const Layout& layout, const Readers& readers, const Phase& phase) {
  std::vector<double> firsts, lasts;
  std::vector<std::vector<double>> lastOnNode(kNodes);
  int complete = 0, opened = 0, closed = 0, failed = 0;
  long missed = 0;
  int64_t lastDoneNs = 0;
  for (int node = 0; node < kNodes; ++node) {
    opened += readers.Share(node).opened;
    closed += readers.Share(node).opened - readers.Share(node).open;
    failed += readers.Share(node).failed;
  }
  for (int line = phase.first; line < phase.first + phase.lines; ++line) {
    int reached = 0;
    int64_t firstNs = 0, lastNs = 0;
    for (int node = 0; node < kNodes; ++node) {
      const LineShare& share = readers.Line(node, line);
      if (share.reached == 0) continue;
      reached += share.reached;
      firstNs = firstNs == 0 ? share.firstNs.load() : std::min(firstNs, share.firstNs.load());
      lastNs = std::max(lastNs, share.lastNs.load());
    }
    missed += layout.PerRoom() - reached;
    if (reached < layout.PerRoom()) continue;
    ++complete;
    const int64_t sentNs = readers.SentNs(line);
    lastDoneNs = std::max(lastDoneNs, lastNs);
    firsts.push_back(static_cast<double>(firstNs - sentNs) / 1e6);
    lasts.push_back(static_cast<double>(lastNs - sentNs) / 1e6);
    for (int node = 0; node < kNodes; ++node) {
      lastOnNode[static_cast<size_t>(node)].push_back(static_cast<double>(readers.Line(node, line).lastNs - sentNs) /
                                                      1e6);
    }
  }
  const double seconds = static_cast<double>(lastDoneNs - readers.SentNs(phase.first)) / 1e9;
  char text[900];
  std::snprintf(text, sizeof text,
                "lines=%d sent=%d complete=%d lines_short=%d deliveries_missed=%ld streams=%d streams_failed=%d "
                "receivers_closed=%d lines_per_s=%.2f first_p50_ms=%.3f first_p99_ms=%.3f last_p50_ms=%.3f "
                "last_p99_ms=%.3f last_max_ms=%.3f",
                phase.lines, phase.sent, complete, phase.lines - complete, missed, opened, failed, closed,
                complete > 0 && seconds > 0 ? complete / seconds : 0.0, Percentile(firsts, 0.5),
                Percentile(firsts, 0.99), Percentile(lasts, 0.5), Percentile(lasts, 0.99), Percentile(lasts, 1.0));
  std::string words = text;
  for (int node = 0; node < kNodes; ++node) {
    std::snprintf(text, sizeof text, " node%d_last_p50_ms=%.3f node%d_last_p99_ms=%.3f", node + 1,
                  Percentile(lastOnNode[static_cast<size_t>(node)], 0.5), node + 1,
                  Percentile(lastOnNode[static_cast<size_t>(node)], 0.99));
    words += text;
  }
  return words;
}

// Three nodes and their Redis, the members enrolled and their streams open;
// then each phase in turn on the same streams, a result line for each.
int RunCluster(const std::string& binary, const std::string& site, const Layout& layout, std::vector<Phase> phases,
               int setupClients) {
  ScratchRedis redis;
  if (!redis.Running()) throw std::runtime_error("redis-server did not start");
  std::vector<std::unique_ptr<ScratchServer>> nodes;
  std::vector<int> ports;
  for (int node = 0; node < kNodes; ++node) {
    nodes.push_back(std::make_unique<ScratchServer>(
        binary, site, RoomsIni(layout.rooms) + ClusterNodeIni(kNodeIds[node], redis.Port())));
    if (!nodes.back()->Running()) throw std::runtime_error(std::string(kNodeIds[node]) + " did not start");
    ports.push_back(nodes.back()->Port());
  }
  std::this_thread::sleep_for(std::chrono::seconds(1));  // every node has said hello
  std::vector<ProcessFigures> figures(kNodes + 1);      // the nodes, then Redis
  const auto pidOf = [&](size_t i) { return i < nodes.size() ? nodes[i]->Pid() : redis.Pid(); };
  for (size_t i = 0; i < figures.size(); ++i) figures[i].rssStartKb = ResidentKb(pidOf(i));

  Setup setup{0, 0, setupClients};
  const auto enrolStart = Clock::now();
  std::vector<Member> members(static_cast<size_t>(layout.members));
  InParallel(
      layout.members,
      [&](int i) {
        Member& member = members[static_cast<size_t>(i)];
        member = Enrol(ports[static_cast<size_t>(layout.NodeOf(i))], "u" + std::to_string(i),
                       layout.RoomName(layout.RoomOf(i)), SetupAddressOf(i));
        if (member.session.empty()) throw std::runtime_error("logon failed for " + member.name);
      },
      setupClients);
  setup.enrolSeconds = MsSince(enrolStart) / 1000;
  for (size_t i = 0; i < figures.size(); ++i) figures[i].rssEnrolledKb = ResidentKb(pidOf(i));
  std::printf("enrolled %d members in %.1f s\n", layout.members, setup.enrolSeconds);

  const auto openStart = Clock::now();
  Readers readers(layout, members, ports);  // forks: no other thread runs here now
  setup.openSeconds = MsSince(openStart) / 1000;
  for (size_t i = 0; i < figures.size(); ++i) figures[i].rssStreamsKb = ResidentKb(pidOf(i));
  std::printf("opened the streams in %.1f s\n", setup.openSeconds);

  std::vector<std::unique_ptr<RssSampler>> samplers;
  for (size_t i = 0; i < figures.size(); ++i) samplers.push_back(std::make_unique<RssSampler>(pidOf(i)));
  std::vector<std::vector<ProcessFigures>> byPhase;
  std::vector<double> readersCpu;
  for (Phase& phase : phases) {
    std::vector<double> cpuBefore;
    for (size_t i = 0; i < figures.size(); ++i) cpuBefore.push_back(CpuSeconds(pidOf(i)));
    const auto start = Clock::now();
    PostLines(layout, members, ports[0], readers, phase);
    if (&phase == &phases.back()) readers.Wait();  // the readers leave when the last line has reached them
    phase.seconds = MsSince(start) / 1000;
    byPhase.emplace_back();
    for (size_t i = 0; i < figures.size(); ++i) byPhase.back().push_back({0, 0, 0, 0, CpuSeconds(pidOf(i)) - cpuBefore[i]});
    if (phase.sent < phase.lines) break;
  }
  for (size_t i = 0; i < figures.size(); ++i) figures[i].rssMostKb = samplers[i]->Stop();
  readers.Wait();

  double readersCpuSeconds = 0;
  for (int node = 0; node < kNodes; ++node) readersCpuSeconds += static_cast<double>(readers.Share(node).cpuNs) / 1e9;
  double postingSeconds = 0;
  for (const Phase& phase : phases) postingSeconds += phase.seconds;
  bool allReached = true;
  for (size_t p = 0; p < byPhase.size(); ++p) {
    const Phase& phase = phases[p];
    std::string words = "result bench=cluster50k nodes=3 members=" + std::to_string(layout.members) +
                        " rooms=" + std::to_string(layout.rooms) + " per_room=" + std::to_string(layout.PerRoom()) +
                        " pace=" + phase.Name() + " " + ArrivalWords(layout, readers, phase);
    double worstPerStream = 0;
    for (int node = 0; node < kNodes; ++node) {
      ProcessFigures f = figures[static_cast<size_t>(node)];
      f.cpuSeconds = byPhase[p][static_cast<size_t>(node)].cpuSeconds;
      const int streams = readers.Share(node).opened;
      words += NodeWords(node, f, streams, phase);
      if (streams > 0) worstPerStream = std::max(worstPerStream, static_cast<double>(f.rssMostKb) / streams);
    }
    const double redisCpu = byPhase[p].back().cpuSeconds;
    char text[600];
    std::snprintf(text, sizeof text,
                  " rss_kb_per_stream_worst=%.2f redis_cpu_pct=%.1f redis_cpu_ms_per_line=%.3f redis_rss_most_kb=%ld "
                  "readers_cpu_pct=%.1f phase_s=%.2f enrol_s=%.1f open_s=%.1f setup_s=%.1f setup_clients=%d "
                  "hash_cost=8KiB/1pass",
                  worstPerStream, 100 * redisCpu / std::max(phase.seconds, 1e-9),
                  phase.sent > 0 ? 1000 * redisCpu / phase.sent : 0.0, figures.back().rssMostKb,
                  100 * readersCpuSeconds / std::max(postingSeconds, 1e-9), phase.seconds, setup.enrolSeconds,
                  setup.openSeconds, setup.enrolSeconds + setup.openSeconds, setup.clients);
    std::printf("%s%s\n", words.c_str(), text);
    allReached = allReached && words.find(" lines_short=0 ") != std::string::npos;
  }
  return allReached && byPhase.size() == phases.size() ? 0 : 1;
}

// "last,2": a phase paced by the arrivals, then one at 2 lines a second.
std::vector<Phase> PhasesOf(const std::string& paces, int linesEach) {
  std::vector<Phase> phases;
  size_t at = 0;
  while (at <= paces.size()) {
    const size_t comma = std::min(paces.find(',', at), paces.size());
    Phase phase;
    phase.pace = paces.substr(at, comma - at);
    phase.first = static_cast<int>(phases.size()) * linesEach;
    phase.lines = linesEach;
    if (!phase.ByLast() && std::atof(phase.pace.c_str()) <= 0) return {};
    phases.push_back(phase);
    at = comma + 1;
  }
  return phases;
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  if (argc < 6) {
    std::fprintf(stderr,
                 "usage: tolvan_cluster50k_bench BINARY SITE_DIR MEMBERS ROOMS LINES [PACES=last] [SETUP_CLIENTS=96]\n");
    return 2;
  }
  RaiseOpenFileLimit();
  Layout layout;
  layout.members = std::atoi(argv[3]);
  layout.rooms = std::atoi(argv[4]);
  const int linesEach = std::atoi(argv[5]);
  const std::vector<Phase> phases = PhasesOf(argc > 6 ? argv[6] : "last", linesEach);
  layout.lines = linesEach * static_cast<int>(phases.size());
  const int setupClients = argc > 7 ? std::atoi(argv[7]) : 96;
  if (layout.rooms < 1 || linesEach < 1 || phases.empty() || layout.members % layout.rooms != 0 ||
      layout.PerRoom() < kNodes || setupClients < 1) {
    std::fprintf(stderr, "tolvan_cluster50k_bench: MEMBERS must split evenly into ROOMS of at least %d, LINES > 0, "
                         "PACES a list of \"last\" and rates\n", kNodes);
    return 2;
  }
  try {
    return RunCluster(argv[1], argv[2], layout, phases, setupClients);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "tolvan_cluster50k_bench: %s\n", error.what());
    return 1;
  }
}
