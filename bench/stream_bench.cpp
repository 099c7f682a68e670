// The chat server's message streams under fan-out. Starts the server binary
// in a scratch copy of the site; users register, log on, join a room and
// open their message frame as a browser does; one member posts lines.
//
//   tolvan_stream_bench BINARY SITE_DIR rooms ROOMS PER_ROOM LINES [PACE=answer] [IDLE_SECONDS=0]
//       ROOMS x PER_ROOM users, PER_ROOM to a room, every stream open; the
//       first user posts LINES lines into the first room. PACE "answer":
//       the next line goes when the server has answered the previous POST;
//       "last": when the previous line has reached every member's stream;
//       "both": answer, then last, on the same streams.
//       Reports arrivals, the server's CPU per line, the setup time, its
//       memory per stream and its CPU while the streams sit idle.
//   tolvan_stream_bench BINARY SITE_DIR openloop MEMBERS SECONDS READERS FIRST_RATE [FACTOR=1.5] [MAX_RATE=4000]
//       MEMBERS users in one room with their message frames open, read by
//       READERS processes; the first posts the chat form at a fixed rate for
//       SECONDS, each line on a connection of its own and never waiting for
//       an answer; a ladder of rates from FIRST_RATE up by FACTOR finds the
//       highest at which the last member's p99 stays under 1 s (open_loop.h).
//   tolvan_stream_bench BINARY SITE_DIR api MEMBERS LINES [PACE=both]
//       MEMBERS users in one room with their message frames open; the first
//       posts LINES lines through the JSON API (POST /api/say) on one kept
//       HTTP/1.1 connection, paced as above. Reports the same arrivals.
//   tolvan_stream_bench BINARY SITE_DIR logons USERS MEMORY_KIB PASSES [THREADS=2]
//       USERS accounts registered, then USERS logons by 32 clients at once,
//       with passwords hashed at that cost on THREADS account threads:
//       registrations and logons per second.
//   tolvan_stream_bench BINARY SITE_DIR attack USERS LINES SILENT STALLED [RATE=50]
//       USERS chat in one room, first in quiet, then while SILENT
//       connections send nothing and STALLED members of the room hold
//       streams they never read (small receive buffer); last, as a control,
//       with those members' streams open and read. Each phase posts LINES
//       lines paced by the answers; quiet and attacked also post LINES lines
//       at RATE lines a second, a chat's pace, so that their times compare
//       at one rate.
#include <stdexcept>
#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

#include "api_client.h"
#include "bench_support.h"
#include "chat_members.h"
#include "line_arrivals.h"
#include "open_loop.h"
#include "rate_poster.h"
#include "room_lines.h"

namespace {
using namespace bench;

std::vector<int> Numbers(const std::vector<Descriptor>& streams, size_t count) {
  std::vector<int> fds;
  for (size_t i = 0; i < count && i < streams.size(); ++i) fds.push_back(streams[i].Get());
  return fds;
}

double IdleCpuPercent(pid_t pid, int seconds) {
  if (seconds <= 0) return 0;
  const double before = CpuSeconds(pid);
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  return 100.0 * (CpuSeconds(pid) - before) / seconds;
}

int RunRooms(const std::string& binary, const std::string& site, int rooms, int perRoom, int lines,
             const std::string& pace, int idleSeconds) {
  const ScratchServer server(binary, site, RoomsIni(rooms));
  if (!server.Running()) throw std::runtime_error("the server did not start");
  const int users = rooms * perRoom;
  const auto setupStart = Clock::now();
  const std::vector<Member> members = EnrolMany(server.Port(), "u", users, perRoom);
  const double enrolMs = MsSince(setupStart);
  const long rssBeforeStreams = ResidentKb(server.Pid());
  const std::vector<Descriptor> streams = OpenStreams(server.Port(), members);
  const double setupMs = MsSince(setupStart);
  const long rssAfterStreams = ResidentKb(server.Pid());
  const double idleCpu = IdleCpuPercent(server.Pid(), idleSeconds);

  bool complete = true;
  for (const bool paceLast : {false, true}) {
    if (pace != "both" && paceLast != (pace == "last")) continue;
    const std::vector<int> receivers = Numbers(streams, static_cast<size_t>(perRoom));
    const Fanout run = PostLines(server, ByForm(server, members[0]), receivers, lines, Pace{paceLast});
    complete = complete && run.figures.complete == lines;
    std::printf("result bench=fanout server=ours rooms=%d members=%d streams=%d receivers=%d pace=%s %s "
                "server_cpu_ms_per_line=%.3f hash_cost=8KiB/1pass setup_s=%.2f setup_ms_per_user=%.3f enrol_ms_per_user=%.3f "
                "rss_kb_per_stream=%.2f idle_cpu_pct=%.2f\n",
                rooms, perRoom, users, perRoom, paceLast ? "last" : "answer", Describe(run.figures).c_str(),
                run.serverCpuMsPerLine, setupMs / 1000, setupMs / users, enrolMs / users,
                static_cast<double>(rssAfterStreams - rssBeforeStreams) / users, idleCpu);
  }
  return complete ? 0 : 1;
}

int RunOpenLoop(const std::string& binary, const std::string& site, int perRoom, int seconds, int readers,
                double firstRate, double factor, double highest) {
  const ScratchServer server(binary, site, RoomsIni(1));
  if (!server.Running()) throw std::runtime_error("the server did not start");
  const std::vector<Member> members = EnrolMany(server.Port(), "u", perRoom, perRoom);
  const std::vector<Descriptor> streams = OpenStreams(server.Port(), members);
  const std::vector<int> receivers = Numbers(streams, streams.size());
  const std::string label = "bench=openloop server=ours members=" + std::to_string(perRoom) +
                            " readers=" + std::to_string(readers) + " seconds=" + std::to_string(seconds);
  FindHighestRate(label, firstRate, factor, highest, 2, 1000, [&](double rate) {
    LinePacer pacer(static_cast<int>(rate * seconds));
    SpreadArrivals arrivals(receivers, pacer, readers);
    arrivals.Start(10000);
    const double cpuBefore = CpuSeconds(server.Pid());
    const RatePosting posting = PostAtRate(server.Port(), members[0], pacer, rate, NowNs() + 50'000'000);
    RateRun run{arrivals.Finish(), ""};
    const double cpu = CpuSeconds(server.Pid()) - cpuBefore;
    char note[200];
    std::snprintf(note, sizeof note, "server_cpu_ms_per_line=%.3f server_cpu_pct=%.1f posts_failed=%d posts_unanswered=%d",
                  run.figures.complete > 0 ? 1000.0 * cpu / run.figures.complete : 0.0, 100.0 * cpu / seconds,
                  posting.failed, posting.unanswered);
    run.note = note;
    return run;
  });
  return 0;
}

// The room's first member posts through the JSON API, on one kept connection.
int RunApi(const std::string& binary, const std::string& site, int perRoom, int lines, const std::string& pace) {
  const ScratchServer server(binary, site, RoomsIni(1));
  if (!server.Running()) throw std::runtime_error("the server did not start");
  const std::vector<Member> members = EnrolMany(server.Port(), "u", perRoom, perRoom);
  const std::vector<Descriptor> streams = OpenStreams(server.Port(), members);
  bool complete = true;
  for (const bool paceLast : {false, true}) {
    if (pace != "both" && paceLast != (pace == "last")) continue;
    KeptApiConnection api(server.Port());
    const std::string session = members[0].session;
    const SayLine say = [&api, &session](const std::string& text) {
      return api.Post("/api/say", "{\"session\":\"" + session + "\",\"text\":\"" + text + "\"}") == 204;
    };
    const Fanout run = PostLines(server, say, Numbers(streams, streams.size()), lines, Pace{paceLast});
    complete = complete && run.figures.complete == lines;
    std::printf("result bench=api server=ours members=%d receivers=%zu pace=%s %s server_cpu_ms_per_line=%.3f "
                "connections=%d\n",
                perRoom, streams.size(), paceLast ? "last" : "answer", Describe(run.figures).c_str(),
                run.serverCpuMsPerLine, api.Connections());
  }
  return complete ? 0 : 1;
}

// How many of the connections the server has closed by now.
int ClosedByServer(const std::vector<Descriptor>& connections) {
  int closed = 0;
  for (const Descriptor& connection : connections) {
    pollfd state{connection.Get(), POLLRDHUP, 0};
    if (::poll(&state, 1, 0) > 0 && (state.revents & (POLLRDHUP | POLLHUP | POLLERR))) ++closed;
  }
  return closed;
}

int RunAttack(const std::string& binary, const std::string& site, int users, int lines, int silent, int stalled,
              int rate) {
  const ScratchServer server(binary, site, RoomsIni(1));
  if (!server.Running()) throw std::runtime_error("the server did not start");
  const int port = server.Port();
  const std::vector<Member> members = EnrolMany(port, "u", users, users);
  const std::vector<Member> stallers = EnrolMany(port, "s", stalled, stalled);
  const std::vector<Descriptor> streams = OpenStreams(port, members);
  const std::vector<int> receivers = Numbers(streams, streams.size());

  const Fanout quiet = PostLines(server, ByForm(server, members[0]), receivers, lines, Pace{});
  const Fanout quietAtRate = PostLines(server, ByForm(server, members[0]), receivers, lines, Pace{false, rate});
  const long rssBefore = ResidentKb(server.Pid());
  std::vector<Descriptor> silentConnections;
  for (int i = 0; i < silent; ++i) silentConnections.push_back(ConnectLoopback(port));
  std::vector<Descriptor> stalledStreams;
  for (const Member& staller : stallers) stalledStreams.push_back(OpenStream(port, staller, 4096, false));
  const Fanout attacked = PostLines(server, ByForm(server, members[0]), receivers, lines, Pace{});
  const Fanout attackedAtRate = PostLines(server, ByForm(server, members[0]), receivers, lines, Pace{false, rate});
  const long rssAfter = ResidentKb(server.Pid());
  const int silentClosed = ClosedByServer(silentConnections);
  const int stalledClosed = ClosedByServer(stalledStreams);
  silentConnections.clear();
  stalledStreams.clear();

  // The control: as many streams in the room as under attack, all of them
  // read, so what the stalled ones cost beyond their number shows.
  std::this_thread::sleep_for(std::chrono::seconds(1));
  const std::vector<Descriptor> crowdStreams = OpenStreams(port, stallers);
  std::vector<int> everybody = receivers;
  for (const Descriptor& stream : crowdStreams) everybody.push_back(stream.Get());
  const Fanout crowd = PostLines(server, ByForm(server, members[0]), everybody, lines, Pace{});

  std::printf("result bench=attack phase=quiet members=%d streams=%d %s server_cpu_ms_per_line=%.3f\n",
              users + stalled, users, Describe(quiet.figures).c_str(), quiet.serverCpuMsPerLine);
  std::printf("result bench=attack phase=attack members=%d streams=%d silent=%d stalled=%d %s "
              "server_cpu_ms_per_line=%.3f rss_before_kb=%ld rss_after_kb=%ld silent_closed=%d stalled_closed=%d\n",
              users + stalled, users + stalled, silent, stalled, Describe(attacked.figures).c_str(),
              attacked.serverCpuMsPerLine, rssBefore, rssAfter, silentClosed, stalledClosed);
  std::printf("result bench=attack phase=quiet_rate lines_per_s_posted=%d %s server_cpu_ms_per_line=%.3f\n", rate,
              Describe(quietAtRate.figures).c_str(), quietAtRate.serverCpuMsPerLine);
  std::printf("result bench=attack phase=attack_rate lines_per_s_posted=%d %s server_cpu_ms_per_line=%.3f\n", rate,
              Describe(attackedAtRate.figures).c_str(), attackedAtRate.serverCpuMsPerLine);
  std::printf("result bench=attack phase=crowd members=%d streams=%d %s server_cpu_ms_per_line=%.3f\n",
              users + stalled, users + stalled, Describe(crowd.figures).c_str(), crowd.serverCpuMsPerLine);
  return quiet.figures.complete == lines && attacked.figures.complete == lines &&
                 quietAtRate.figures.complete == lines && attackedAtRate.figures.complete == lines
             ? 0
             : 1;
}

int Usage() {
  std::fprintf(stderr,
               "usage: tolvan_stream_bench BINARY SITE_DIR rooms ROOMS PER_ROOM LINES [answer|last|both] [IDLE_SECONDS]\n"
               "       tolvan_stream_bench BINARY SITE_DIR openloop MEMBERS SECONDS READERS FIRST_RATE [FACTOR] [MAX_RATE]\n"
               "       tolvan_stream_bench BINARY SITE_DIR api MEMBERS LINES [answer|last|both]\n"
               "       tolvan_stream_bench BINARY SITE_DIR attack USERS LINES SILENT STALLED [RATE]\n");
  return 2;
}

}  // namespace

int RunLogons(const std::string& binary, const std::string& site, int users, int memoryKib, int passes, int threads) {
  const ScratchServer server(binary, site,
                             "[user_database]\nhash_memory_kib = " + std::to_string(memoryKib) +
                                 "\nhash_passes = " + std::to_string(passes) + "\nhash_threads = " +
                                 std::to_string(threads) + "\n");
  if (!server.Running()) throw std::runtime_error("the server did not start");
  const auto registering = Clock::now();
  const double cpuBeforeRegistering = CpuSeconds(server.Pid());
  InParallel(users, [&](int i) { Post(server.Port(), "/register", "username=l" + std::to_string(i) + "&password=pw"); });
  const double registerSeconds = MsSince(registering) / 1000;
  const double cpuBeforeLogons = CpuSeconds(server.Pid());
  std::atomic<int> failed{0};
  const auto start = Clock::now();
  InParallel(users, [&](int i) {
    const std::string frameset = Post(server.Port(), "/logon", "username=l" + std::to_string(i) + "&password=pw");
    if (frameset.find("session=") == std::string::npos) ++failed;
  });
  const double seconds = MsSince(start) / 1000;
  const double cpuAfter = CpuSeconds(server.Pid());
  std::printf(
      "result bench=logons users=%d hash_memory_kib=%d hash_passes=%d failed=%d registrations_per_s=%.1f "
      "server_cpu_ms_per_registration=%.3f seconds=%.2f logons_per_s=%.1f server_cpu_ms_per_logon=%.3f\n",
      users, memoryKib, passes, failed.load(), users / registerSeconds,
      (cpuBeforeLogons - cpuBeforeRegistering) * 1000 / users, seconds, users / seconds,
      (cpuAfter - cpuBeforeLogons) * 1000 / users);
  return failed == 0 ? 0 : 1;
}

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  RaiseOpenFileLimit();
  const std::vector<std::string> args(argv + 1, argv + argc);
  try {
    if (args.size() >= 6 && args[2] == "rooms") {
      return RunRooms(args[0], args[1], std::stoi(args[3]), std::stoi(args[4]), std::stoi(args[5]),
                      args.size() > 6 ? args[6] : "answer", args.size() > 7 ? std::stoi(args[7]) : 0);
    }
    if (args.size() >= 7 && args[2] == "openloop") {
      return RunOpenLoop(args[0], args[1], std::stoi(args[3]), std::stoi(args[4]), std::stoi(args[5]),
                         std::stod(args[6]), args.size() > 7 ? std::stod(args[7]) : 1.5,
                         args.size() > 8 ? std::stod(args[8]) : 4000);
    }
    if (args.size() >= 5 && args[2] == "api") {
      return RunApi(args[0], args[1], std::stoi(args[3]), std::stoi(args[4]), args.size() > 5 ? args[5] : "both");
    }
    if (args.size() >= 6 && args[2] == "logons") {
      return RunLogons(args[0], args[1], std::stoi(args[3]), std::stoi(args[4]), std::stoi(args[5]),
                       args.size() > 6 ? std::stoi(args[6]) : 2);
    }
    if (args.size() >= 7 && args[2] == "attack") {
      return RunAttack(args[0], args[1], std::stoi(args[3]), std::stoi(args[4]), std::stoi(args[5]),
                       std::stoi(args[6]), args.size() > 7 ? std::stoi(args[7]) : 50);
    }
  } catch (const std::exception& error) {
    std::fprintf(stderr, "tolvan_stream_bench: %s\n", error.what());
    return 1;
  }
  return Usage();
}
