// The chat server under attack, as it is shipped: the bundled ini's limits
// on and passwords hashed at the bundled cost. While each attack goes on, a
// user logs on again and again from another address and a room chats; their
// times stand beside the same figures without an attack, in the same run.
//
//   tolvan_attack_bench BINARY SITE_DIR MEMBERS SECONDS DESCRIPTORS [ATTACK...] [KEY=VALUE...]
//
// MEMBERS members of one room hold their message frames open from 127.0.0.3,
// and they post line_rate lines a second into it in turn (each at a human
// pace, within the bundled line rate); from 127.0.0.2 a
// user logs on logon_rate times a second (a few accounts in turn). Every
// account is registered and first logged on from an address of its own, as
// people do from their homes. The server may open DESCRIPTORS files (its
// limit, soft and hard, set before it starts), so that a flood reaches its
// ceiling well before this program's own limit. Phases of SECONDS each:
// "quiet", then the attacks named (all of them when none is), all from
// 127.0.0.1 unless said otherwise:
//   abandoned  POST /logon with a wrong password, abandon_rate a second, each
//              connection closed as soon as the request is sent
//   bogus      bogus clients each posting a logon with a wrong password,
//              waiting for the answer, and again at once
//   flood      connections that send nothing, an eighth more than the
//              server's connection ceiling (from as many addresses of
//              127.0.1.0/24 besides 127.0.0.1 as the cap per address needs
//              to let them in); each one the server closes is opened again
//              flood_reopen_ms later
//   chat       a member of the room posting lines as fast as the server
//              answers, on chat_posters connections at once
// Keys: abandon_rate=3000 bogus=256 logon_rate=4 line_rate=20 chat_posters=1
// flood_reopen_ms=1000.
//
// Per phase: the user's logon times (connect to the answer's end, every
// attempt; an unanswered one counts at the 30 s time-out) and what the
// answers were; the room's first/last arrival times; the server's CPU
// (percent of one core) and largest resident memory; the password hashes
// the server computed, estimated from the CPU time of its account threads
// (found, and the CPU of one hash timed, by logons before the first phase);
// the attack's own connections and their outcomes. The server's console
// lines of the phase, and the counters of its /metrics page when it has one
// ([network] metrics_port), go to stderr.
#include <sys/resource.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <regex>
#include <stdexcept>
#include <thread>

#include "bench_support.h"
#include "chat_members.h"
#include "line_arrivals.h"
#include "request_swarm.h"
#include "room_lines.h"

namespace {
using namespace bench;

const std::string kAttacker = "127.0.0.1";
const std::string kUser = "127.0.0.2";
const std::string kRoomAddress = "127.0.0.3";
constexpr int kUserAccounts = 8;
constexpr int kAnswerTimeoutMs = 30000;
// Logons that find the account threads and time one hash.
constexpr int kCalibrationLogons = 36;
constexpr int kCalibrationClients = 6;  // below the bundled cap of requests under way per address

// The server's own words, in the pages' GB2312 (this file is compiled to it).
const std::string kBusyTitle = "服务器忙";
const std::string kAddressFullText = "来自您的地址的连接太多";
const std::string kServerFullText = "服务器的连接已满";

// An account's home: an address of its own in 127.1.0.0/16, or for a
// later attempt in 127.2.0.0/16 and up (see PostPatiently).
std::string HomeAddress(int account, int attempt = 0) {
  return "127." + std::to_string(1 + attempt) + "." + std::to_string(account / 250) + "." +
         std::to_string(account % 250 + 1);
}

bool IsBusy(const std::string& answer) { return answer.find(kBusyTitle) != std::string::npos; }

// What came of one connection, from what it read and the error that ended it.
std::string Outcome(const std::string& answer, int error) {
  if (answer.empty()) return error == ECONNRESET ? "reset" : error != 0 ? "error" : "closed";
  if (answer.find(kAddressFullText) != std::string::npos) return "refused_address";
  if (answer.find(kServerFullText) != std::string::npos) return "refused_full";
  if (IsBusy(answer)) return "busy";
  if (answer.find("session=") != std::string::npos) return "ok";
  if (answer.rfind("HTTP/1.0 200", 0) == 0) return "answered";
  return "other";
}

struct Settings {
  std::string binary, site;
  int members = 100;
  int seconds = 10;
  int descriptors = 8192;
  std::vector<std::string> attacks;
  double abandonRate = 3000;
  int bogus = 256;
  double logonRate = 4;
  int lineRate = 20;
  int chatPosters = 1;
  int floodReopenMs = 1000;
};

// Setup only (it runs with the limits on too): tries again while the answer
// is "busy", each time from another address of the account's, because the
// server counts a registration refused as busy against the address's
// registrations per minute.
std::string PostPatiently(int port, const std::string& target, const std::string& body, int account) {
  std::string answer;
  for (int attempt = 0; attempt < 100; ++attempt) {
    answer = Post(port, target, body, HomeAddress(account, attempt));
    if (!IsBusy(answer)) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  return answer;
}

Member EnrolFromHome(int port, const std::string& name, int home, const std::string& room) {
  Member member{name, room, ""};
  const std::string registered = PostPatiently(port, "/register", "username=" + name + "&password=pw", home);
  const std::string frameset = PostPatiently(port, "/logon", "username=" + name + "&password=pw", home);
  member.session = SessionOf(frameset);
  if (member.session.empty()) {
    throw std::runtime_error("logon failed for " + name + "; registration answered:\n" + registered +
                             "\nlogon answered:\n" + frameset);
  }
  Join(port, member, HomeAddress(home));
  return member;
}

std::string LogonRequest(const std::string& name, const std::string& password) {
  return PostRequest("/logon", "username=" + name + "&password=" + password);
}

std::string ReadFrom(const std::string& path, std::streamoff offset) {
  std::ifstream in(path, std::ios::binary);
  in.seekg(offset);
  return std::string((std::istreambuf_iterator<char>(in)), {});
}

std::streamoff FileSize(const std::string& path) {
  std::error_code error;
  const auto size = std::filesystem::file_size(path, error);
  return error ? 0 : static_cast<std::streamoff>(size);
}

double OwnCpuSeconds() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

std::string LoadAverage() {
  std::ifstream in("/proc/loadavg");
  std::string first;
  in >> first;
  return first;
}

// The counters of the server's /metrics page (Prometheus text), by name
// and labels; empty when nothing answers there.
std::map<std::string, double> ScrapeMetrics(int port) {
  std::map<std::string, double> metrics;
  if (port <= 0) return metrics;
  const std::string answer = Exchange(port, "GET /metrics HTTP/1.0\r\nHost: bench\r\n\r\n", "", 2000);
  const size_t body = answer.find("\r\n\r\n");
  if (answer.rfind("HTTP/1.", 0) != 0 || answer.find(" 200 ") > 12 || body == std::string::npos) return metrics;
  std::istringstream lines(answer.substr(body + 4));
  std::string line;
  while (std::getline(lines, line)) {
    const size_t space = line.rfind(' ');
    if (line.empty() || line[0] == '#' || space == std::string::npos) continue;
    metrics[line.substr(0, space)] = std::atof(line.c_str() + space + 1);
  }
  return metrics;
}

// The server's account threads, told apart by the CPU they spend on logons,
// and the CPU one hash takes there: what turns their CPU time into hashes.
struct HashMeter {
  std::vector<int> threads;
  double secondsPerHash = 0;

  double Seconds(const std::map<int, double>& now, const std::map<int, double>& before) const {
    double seconds = 0;
    for (int thread : threads) {
      const auto found = before.find(thread);
      if (now.count(thread)) seconds += now.at(thread) - (found == before.end() ? 0 : found->second);
    }
    return seconds;
  }
  double Hashes(const std::map<int, double>& now, const std::map<int, double>& before) const {
    return secondsPerHash > 0 ? Seconds(now, before) / secondsPerHash : 0;
  }
};

HashMeter MeasureHashes(const ScratchServer& server) {
  const auto before = ThreadCpuSeconds(server.Pid());
  std::atomic<int> next{0}, loggedOn{0};
  std::vector<std::thread> clients;
  for (int c = 0; c < kCalibrationClients; ++c) {
    clients.emplace_back([&] {
      for (int i = next++; i < kCalibrationLogons; i = next++) {
        const std::string answer =
            Exchange(server.Port(), LogonRequest("user" + std::to_string(i % kUserAccounts), "pw"), kUser, kAnswerTimeoutMs);
        if (Outcome(answer, 0) == "ok") ++loggedOn;
      }
    });
  }
  for (std::thread& client : clients) client.join();
  const auto after = ThreadCpuSeconds(server.Pid());
  HashMeter meter;
  double most = 0;
  for (const auto& [thread, seconds] : after) most = std::max(most, seconds - (before.count(thread) ? before.at(thread) : 0));
  for (const auto& [thread, seconds] : after) {
    if (seconds - (before.count(thread) ? before.at(thread) : 0) >= most / 4) meter.threads.push_back(thread);
  }
  if (loggedOn > 0) meter.secondsPerHash = meter.Seconds(after, before) / loggedOn;
  return meter;
}

// The server as the attacks find it, with the room and the accounts the
// phases use.
class Stage {
 public:
  explicit Stage(const Settings& settings)
      : m_settings(settings),
        m_metricsPort(FreePort()),
        m_server(settings.binary, settings.site, ServerIni(m_metricsPort), ScratchOptions{true, settings.descriptors}) {
    if (!m_server.Running()) throw std::runtime_error("the server did not start");
    const auto start = Clock::now();
    const int port = m_server.Port();
    m_members = std::vector<Member>(static_cast<size_t>(settings.members));
    InParallel(settings.members, [&](int i) {
      m_members[static_cast<size_t>(i)] = EnrolFromHome(port, "m" + std::to_string(i), i, RoomName(1));
    });
    InParallel(kUserAccounts, [&](int i) {
      PostPatiently(port, "/register", "username=user" + std::to_string(i) + "&password=pw", settings.members + i);
    });
    PostPatiently(port, "/register", "username=victim&password=pw", settings.members + kUserAccounts);
    m_flooder = EnrolFromHome(port, "flooder", settings.members + kUserAccounts + 1, RoomName(1));
    m_streams = OpenStreams(port, m_members, kRoomAddress);
    for (const Descriptor& stream : m_streams) m_receivers.push_back(stream.Get());
    m_setupSeconds = MsSince(start) / 1000;
    m_hashes = MeasureHashes(m_server);
    std::smatch match;
    const std::string console = ReadFrom(m_server.ConsolePath(), 0);
    if (std::regex_search(console, match, std::regex("At most ([0-9]+) connections open at once"))) {
      m_ceiling = std::stoi(match[1].str());
    }
    m_perAddress = BundledCapPerAddress();
  }

  std::string Describe() const {
    char text[400];
    std::snprintf(text, sizeof text,
                  "members=%d setup_s=%.1f descriptor_limit=%d ceiling=%d cap_per_address=%d hash_threads=%zu "
                  "cpu_ms_per_hash=%.1f metrics=%s",
                  m_settings.members, m_setupSeconds, m_settings.descriptors, m_ceiling, m_perAddress,
                  m_hashes.threads.size(), m_hashes.secondsPerHash * 1000,
                  ScrapeMetrics(m_metricsPort).empty() ? "no" : "yes");
    return text;
  }

  const ScratchServer& Server() const { return m_server; }
  int Port() const { return m_server.Port(); }
  int MetricsPort() const { return m_metricsPort; }
  // The room's lines come from its members in turn, so that each of them
  // speaks at a human pace, within the bundled line rate.
  SayLine Posters() const {
    return [this, next = std::make_shared<size_t>(0)](const std::string& text) {
      const Member& poster = m_members[(*next)++ % m_members.size()];
      return Say(m_server.Port(), poster, text, kRoomAddress);
    };
  }
  const Member& Flooder() const { return m_flooder; }
  const std::vector<int>& Receivers() const { return m_receivers; }
  const HashMeter& Hashes() const { return m_hashes; }
  int Ceiling() const { return m_ceiling; }
  int CapPerAddress() const { return m_perAddress; }

 private:
  // The bundled limits stay on (the stage keeps them); members never idle
  // out; the room is the first of the list.
  static std::string ServerIni(int metricsPort) {
    return kLongSessions + "[rooms]\n1 = " + RoomName(1) + "\n[network]\nmetrics_port = " + std::to_string(metricsPort) +
           "\n";
  }

  int BundledCapPerAddress() const {
    std::ifstream ini(m_settings.site + "/tolvann2.ini");
    std::string line;
    int cap = 0;
    while (std::getline(ini, line)) {
      if (line.rfind("max_connections_per_address", 0) == 0) cap = std::atoi(line.c_str() + line.find('=') + 1);
    }
    return cap;
  }

  const Settings& m_settings;
  const int m_metricsPort;
  ScratchServer m_server;
  std::vector<Member> m_members;
  Member m_flooder;
  std::vector<Descriptor> m_streams;
  std::vector<int> m_receivers;
  double m_setupSeconds = 0;
  HashMeter m_hashes;
  int m_ceiling = 0;
  int m_perAddress = 0;
};

// A swarm against the stage's server whose connections end as Outcome says.
SwarmPlan PlanOf(const Stage& stage, SwarmMode mode, int slots, std::function<std::string(long n)> request) {
  SwarmPlan plan;
  plan.port = stage.Port();
  plan.mode = mode;
  plan.slots = slots;
  plan.request = std::move(request);
  plan.classify = Outcome;
  return plan;
}

// A logon to an account that exists, with a wrong password.
std::string BogusLogon(long n) { return LogonRequest("victim", "wrong" + std::to_string(n)); }

// The attacks, as swarms of connections.
SwarmPlan AbandonedLogons(const Stage& stage, const Settings& settings) {
  SwarmPlan plan = PlanOf(stage, SwarmMode::kAbandon, 512, BogusLogon);
  plan.perSecond = settings.abandonRate;
  plan.total = static_cast<long>(settings.abandonRate * settings.seconds);
  return plan;
}

SwarmPlan BogusLogons(const Stage& stage, const Settings& settings) {
  return PlanOf(stage, SwarmMode::kAwaitAnswer, settings.bogus, BogusLogon);
}

SwarmPlan ConnectionFlood(const Stage& stage, const Settings& settings) {
  SwarmPlan plan = PlanOf(stage, SwarmMode::kHoldIdle, stage.Ceiling() + std::max(200, stage.Ceiling() / 8), {});
  plan.pauseMs = settings.floodReopenMs;
  const int perAddress = stage.CapPerAddress() > 0 ? stage.CapPerAddress() : plan.slots;
  const int addresses = (plan.slots + perAddress - 1) / perAddress;
  plan.sources = {kAttacker};
  for (int i = 1; i < addresses; ++i) plan.sources.push_back("127.0.1." + std::to_string(i));
  return plan;
}

SwarmPlan ChatFlood(const Stage& stage, const Settings& settings) {
  const Member flooder = stage.Flooder();
  return PlanOf(stage, SwarmMode::kAwaitAnswer, settings.chatPosters, [flooder](long n) {
    return PostRequest("/Blank", ChatFormBody(flooder, "flood" + std::to_string(n)));
  });
}

// The user who logs on again and again while an attack goes on.
SwarmPlan UserLogons(const Stage& stage, const Settings& settings) {
  SwarmPlan plan = PlanOf(stage, SwarmMode::kAwaitAnswer, 64, [](long n) {
    return LogonRequest("user" + std::to_string(n % kUserAccounts), "pw");
  });
  plan.sources = {kUser};
  plan.perSecond = settings.logonRate;
  plan.total = static_cast<long>(settings.logonRate * settings.seconds);
  plan.answerTimeoutMs = kAnswerTimeoutMs;
  return plan;
}

std::optional<SwarmPlan> AttackPlan(const std::string& name, const Stage& stage, const Settings& settings) {
  if (name == "abandoned") return AbandonedLogons(stage, settings);
  if (name == "bogus") return BogusLogons(stage, settings);
  if (name == "flood") return ConnectionFlood(stage, settings);
  if (name == "chat") return ChatFlood(stage, settings);
  return std::nullopt;
}

// The outcomes each kind of attack reports, also when none ended so.
std::vector<std::string> OutcomesOf(SwarmMode mode) {
  switch (mode) {
    case SwarmMode::kAbandon: return {"abandoned"};
    case SwarmMode::kAwaitAnswer: return {"answered", "busy", "refused_address", "unanswered"};
    case SwarmMode::kHoldIdle: return {"reset", "closed", "refused_address", "refused_full", "held"};
  }
  return {};
}

// Percentiles of the connections' times, of one outcome or (none named) all.
std::string TimesOf(const SwarmFigures& figures, const std::string& prefix, const std::string& outcome = "") {
  std::vector<double> times;
  for (const auto& [name, each] : figures.outcomes) {
    if (outcome.empty() || name == outcome) times.insert(times.end(), each.begin(), each.end());
  }
  char text[200];
  std::snprintf(text, sizeof text, "%sp50_ms=%.1f %sp99_ms=%.1f %smax_ms=%.1f", prefix.c_str(), Percentile(times, 0.5),
                prefix.c_str(), Percentile(times, 0.99), prefix.c_str(), Percentile(times, 1.0));
  return text;
}

// Prints what moved on the server's /metrics page over the phase.
void PrintMetricChanges(const std::string& phase, const std::map<std::string, double>& before,
                        const std::map<std::string, double>& after) {
  for (const auto& [name, value] : after) {
    const auto found = before.find(name);
    const double was = found == before.end() ? 0 : found->second;
    if (value != was) std::fprintf(stderr, "  metric %s: %s %+g (now %g)\n", phase.c_str(), name.c_str(), value - was, value);
  }
}

void PrintConsole(const std::string& phase, const std::string& text) {
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) std::fprintf(stderr, "  console %s: %s\n", phase.c_str(), line.c_str());
}

// One phase: the attack (if any) starts, then the user's logons and the
// room's lines run for the phase's seconds beside it; then it stops.
bool RunPhase(Stage& stage, const Settings& settings, const std::string& name) {
  const ScratchServer& server = stage.Server();
  const std::optional<SwarmPlan> plan = AttackPlan(name, stage, settings);
  const std::streamoff consoleStart = FileSize(server.ConsolePath());
  const auto metricsBefore = ScrapeMetrics(stage.MetricsPort());
  std::unique_ptr<RequestSwarm> attack;
  RequestSwarm user(UserLogons(stage, settings));
  std::optional<RssSampler> rss;
  std::map<int, double> threadsBefore;
  double serverCpuBefore = 0, ownCpuBefore = 0, leadSeconds = 0;
  Clock::time_point started;

  const int lines = settings.lineRate * settings.seconds;
  const Fanout room = PostLines(server, stage.Posters(), stage.Receivers(), lines, Pace{false, settings.lineRate}, [&] {
                                  started = Clock::now();
                                  threadsBefore = ThreadCpuSeconds(server.Pid());
                                  serverCpuBefore = CpuSeconds(server.Pid());
                                  ownCpuBefore = OwnCpuSeconds();
                                  rss.emplace(server.Pid());
                                  if (plan) {
                                    attack = std::make_unique<RequestSwarm>(*plan);
                                    attack->Start();
                                    // The flood is measured once it stands.
                                    while (plan->mode == SwarmMode::kHoldIdle && !attack->AllSlotsTried() &&
                                           MsSince(started) < 60000) {
                                      std::this_thread::sleep_for(std::chrono::milliseconds(20));
                                    }
                                  }
                                  leadSeconds = MsSince(started) / 1000;
                                  user.Start();
                                });
  const bool userDone = user.WaitDone(kAnswerTimeoutMs + 5000);
  user.Stop();
  const long attackOpenAtEnd = attack ? attack->OpenNow() : 0;
  if (attack) attack->Stop();
  const double wall = MsSince(started) / 1000;
  const double serverCpu = CpuSeconds(server.Pid()) - serverCpuBefore;
  const double ownCpu = OwnCpuSeconds() - ownCpuBefore;
  const auto threadsAfter = ThreadCpuSeconds(server.Pid());
  const long rssMost = rss->Stop();
  const long rssEnd = ResidentKb(server.Pid());
  const double hashes = stage.Hashes().Hashes(threadsAfter, threadsBefore);

  // A logon a while after the last refusal closes the console's account of the burst.
  std::this_thread::sleep_for(std::chrono::milliseconds(2000));
  Exchange(stage.Port(), LogonRequest("user0", "pw"), kUser, kAnswerTimeoutMs);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  PrintConsole(name, ReadFrom(server.ConsolePath(), consoleStart));
  PrintMetricChanges(name, metricsBefore, ScrapeMetrics(stage.MetricsPort()));

  const SwarmFigures& users = user.Figures();
  std::string line = "result bench=attack_limits phase=" + name + " seconds=" + std::to_string(settings.seconds) + " " +
                     users.Describe("user_", {"ok", "busy", "unanswered"}) + " " + TimesOf(users, "user_") + " " +
                     TimesOf(users, "user_ok_", "ok") + " " + Describe(room.figures);
  char figures[600];
  std::snprintf(figures, sizeof figures,
                " server_cpu_pct=%.1f server_rss_most_kb=%ld server_rss_end_kb=%ld hashes_est=%.0f "
                "bench_cpu_pct=%.1f lead_s=%.2f wall_s=%.1f load1=%s user_done=%d",
                100 * serverCpu / wall, rssMost, rssEnd, hashes, 100 * ownCpu / wall, leadSeconds, wall,
                LoadAverage().c_str(), userDone ? 1 : 0);
  line += figures;
  if (attack) {
    const SwarmFigures& done = attack->Figures();
    // The hashes beyond the user's own logons (each answered one was hashed).
    const double attackHashes = std::max(0.0, hashes - static_cast<double>(users.Count("ok") + users.Count("answered")));
    char rate[300];
    std::snprintf(rate, sizeof rate, " attack_seconds=%.1f attack_per_s=%.0f attack_open_at_end=%ld attack_hashes_est=%.0f",
                  done.seconds, done.seconds > 0 ? done.started / done.seconds : 0, attackOpenAtEnd, attackHashes);
    line += " " + done.Describe("attack_", OutcomesOf(plan->mode)) + rate;
  }
  std::printf("%s\n", line.c_str());
  return room.figures.complete == lines && userDone;
}

int Usage() {
  std::fprintf(stderr,
               "usage: tolvan_attack_bench BINARY SITE_DIR MEMBERS SECONDS DESCRIPTORS [abandoned|bogus|flood|chat]... "
               "[abandon_rate=N] [bogus=N] [logon_rate=N] [line_rate=N] [chat_posters=N] [flood_reopen_ms=N]\n");
  return 2;
}

Settings ReadSettings(const std::vector<std::string>& args) {
  Settings settings;
  settings.binary = args[0];
  settings.site = args[1];
  settings.members = std::stoi(args[2]);
  settings.seconds = std::stoi(args[3]);
  settings.descriptors = std::stoi(args[4]);
  for (size_t i = 5; i < args.size(); ++i) {
    const std::string& word = args[i];
    const size_t equals = word.find('=');
    if (equals == std::string::npos) {
      settings.attacks.push_back(word);
      continue;
    }
    const std::string key = word.substr(0, equals);
    const double value = std::stod(word.substr(equals + 1));
    if (key == "abandon_rate") settings.abandonRate = value;
    else if (key == "bogus") settings.bogus = static_cast<int>(value);
    else if (key == "logon_rate") settings.logonRate = value;
    else if (key == "line_rate") settings.lineRate = static_cast<int>(value);
    else if (key == "chat_posters") settings.chatPosters = static_cast<int>(value);
    else if (key == "flood_reopen_ms") settings.floodReopenMs = static_cast<int>(value);
    else throw std::invalid_argument("unknown key " + key);
  }
  if (settings.attacks.empty()) settings.attacks = {"abandoned", "bogus", "flood", "chat"};
  return settings;
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  RaiseOpenFileLimit();
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() < 5) return Usage();
  try {
    const Settings settings = ReadSettings(args);
    for (const std::string& attack : settings.attacks) {
      if (attack != "abandoned" && attack != "bogus" && attack != "flood" && attack != "chat") return Usage();
    }
    Stage stage(settings);
    std::printf("result bench=attack_limits phase=setup %s\n", stage.Describe().c_str());
    bool complete = RunPhase(stage, settings, "quiet");
    for (const std::string& attack : settings.attacks) complete = RunPhase(stage, settings, attack) && complete;
    return complete ? 0 : 1;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "tolvan_attack_bench: %s\n", error.what());
    return 1;
  }
}
