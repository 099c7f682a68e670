// The metrics port ([network] metrics_port): the server's figures in the
// Prometheus text format, on 127.0.0.1 alone, for a scraper that the
// connection caps never lock out.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <regex>
#include <set>
#include <string>
#include <thread>

#include "support/chat_client.h"
#include "support/http_client.h"
#include "support/redis_process.h"
#include "support/server_process.h"

namespace {
using namespace std::chrono_literals;

const std::string kLobby = "大厅";

// Samples by name and labels as written ("tolvan_lines_total{kind=\"chat\"}").
using Samples = std::map<std::string, double>;

std::string BodyOf(const std::string& answer) {
  const size_t end = answer.find("\r\n\r\n");
  return end == std::string::npos ? std::string() : answer.substr(end + 4);
}

// Reads the text exposition format as a scraper does, failing the test at
// whatever a scraper would refuse: every family has its help and type
// before its samples and once only, names and labels are well formed,
// counters end in "_total", values are numbers, lines end in "\n".
Samples Parse(const std::string& text) {
  static const std::regex help(R"(# HELP ([a-zA-Z_:][a-zA-Z0-9_:]*) .*)");
  static const std::regex type(R"(# TYPE ([a-zA-Z_:][a-zA-Z0-9_:]*) (counter|gauge))");
  static const std::regex sample(
      R"(([a-zA-Z_:][a-zA-Z0-9_:]*)(\{[a-zA-Z_][a-zA-Z0-9_]*="(?:[^"\\\n]|\\.)*"(?:,[a-zA-Z_][a-zA-Z0-9_]*="(?:[^"\\\n]|\\.)*")*\})? (\S+))");
  Samples samples;
  EXPECT_FALSE(text.empty());
  EXPECT_EQ(text.back(), '\n');
  std::set<std::string> declared;
  std::string family;  // the family whose samples may follow
  std::string helped;  // the last family given a help line
  bool counter = false;
  size_t start = 0;
  for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    const std::string line = text.substr(start, end - start);
    std::smatch match;
    if (std::regex_match(line, match, help)) {
      helped = match[1];
    } else if (std::regex_match(line, match, type)) {
      EXPECT_EQ(match[1], helped) << "help before type: " << line;
      EXPECT_TRUE(declared.insert(match[1]).second) << "declared twice: " << line;
      family = match[1];
      counter = match[2] == "counter";
      EXPECT_TRUE(!counter || family.ends_with("_total")) << line;
    } else if (std::regex_match(line, match, sample)) {
      EXPECT_EQ(match[1], family) << "a sample outside its family: " << line;
      const std::string value = match[3];
      char* parsed = nullptr;
      const double number = value == "NaN" ? NAN : std::strtod(value.c_str(), &parsed);
      EXPECT_TRUE(value == "NaN" || value == "+Inf" || value == "-Inf" || *parsed == '\0') << line;
      EXPECT_TRUE(!counter || number >= 0) << line;
      EXPECT_TRUE(samples.emplace(match[1].str() + match[2].str(), number).second) << "sample twice: " << line;
    } else {
      ADD_FAILURE() << "not a line of the format: " << line;
    }
  }
  return samples;
}

// One scrape of the port, checked as a scraper checks it.
Samples Scrape(int port) {
  const std::string answer = Exchange(port, "GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\nAccept: text/plain\r\n\r\n", 5s);
  EXPECT_TRUE(answer.starts_with("HTTP/1.0 200 OK\r\n")) << answer.substr(0, 200);
  EXPECT_NE(answer.find("\r\nContent-Type: text/plain; version=0.0.4; charset=utf-8\r\n"), std::string::npos);
  return Parse(BodyOf(answer));
}

// Scrapes until the figures are as wanted, or for five seconds at most.
Samples ScrapeUntil(int port, const std::function<bool(const Samples&)>& wanted) {
  Samples samples = Scrape(port);
  for (int turn = 0; turn < 50 && !wanted(samples); ++turn) {
    std::this_thread::sleep_for(100ms);
    samples = Scrape(port);
  }
  return samples;
}

class Metrics : public ::testing::Test {
 protected:
  explicit Metrics(const std::string& ini = "")
      : m_metricsPort(FreePort()), m_server("[network]\nmetrics_port = " + std::to_string(m_metricsPort) + "\n" + ini) {}
  void SetUp() override { ASSERT_TRUE(m_server.Start()); }

  std::string Ask(const std::string& target) {
    return Exchange(m_metricsPort, "GET " + target + " HTTP/1.0\r\n\r\n", 5s);
  }
  Samples Scrape() { return ::Scrape(m_metricsPort); }

  const int m_metricsPort;
  ServerProcess m_server;
};

// A logon, a stream and a line move the figures that count them.
TEST_F(Metrics, FiguresMoveWithALogonAStreamAndALine) {
  const Samples before = Scrape();
  for (const char* name :
       {"tolvan_connections_open", "tolvan_connections_accepted_total", "tolvan_connections_refused_total{reason=\"ceiling\"}",
        "tolvan_connections_refused_total{reason=\"per_address\"}", "tolvan_connections_shed_total", "tolvan_rooms",
        "tolvan_streams_reset_at_cap_total", "tolvan_account_work_queued", "tolvan_account_work_queue_limit",
        "tolvan_account_work_refused_total{reason=\"queue_full\"}", "tolvan_account_work_dropped_total",
        "tolvan_registrations_refused_total", "tolvan_lines_refused_total"}) {
    EXPECT_EQ(before.count(name), 1u) << name;
  }
  EXPECT_EQ(before.at("tolvan_sessions"), 0);
  EXPECT_EQ(before.at("tolvan_streams_open"), 0);
  EXPECT_GE(before.at("tolvan_rooms"), 5) << "the rooms of the configuration";
  EXPECT_EQ(before.count("tolvan_nodelink_outbox_records"), 0u) << "no node link, no figures of it";

  {
    const std::unique_ptr<ChatUser> tom = UserInRoom(m_server, "tom", kLobby);
    tom->Say("counted");
    tom->WaitFor("counted");
    const Samples after = Scrape();
    EXPECT_GE(after.at("tolvan_connections_accepted_total") - before.at("tolvan_connections_accepted_total"), 5)
        << "registration, logon, join, stream, line";
    EXPECT_GE(after.at("tolvan_connections_open"), 1) << "the stream";
    EXPECT_EQ(after.at("tolvan_account_work_done_total") - before.at("tolvan_account_work_done_total"), 2)
        << "the registration's hash and the logon's";
    EXPECT_GT(after.at("tolvan_account_work_seconds_total"), before.at("tolvan_account_work_seconds_total"));
    EXPECT_EQ(after.at("tolvan_sessions"), 1);
    EXPECT_EQ(after.at("tolvan_streams_open"), 1);
    const std::string chat = "tolvan_lines_total{kind=\"chat\"}";
    EXPECT_EQ(after.at(chat) - before.at(chat), 1);
    EXPECT_GE(after.at("tolvan_line_deliveries_total") - before.at("tolvan_line_deliveries_total"), 1);
  }
  const auto closed = [](const Samples& samples) { return samples.at("tolvan_streams_open") == 0; };
  EXPECT_TRUE(closed(ScrapeUntil(m_metricsPort, closed))) << "the stream closed with its browser";
}

// The cap per address holds no place for the scraper: it is served while
// its address is turned away from the chat, and counts the refusal.
class MetricsAtTheCap : public Metrics {
 protected:
  MetricsAtTheCap() : Metrics("max_connections_per_address = 2\n") {}
};

TEST_F(MetricsAtTheCap, TheScraperIsServedWhileItsAddressIsTurnedAway) {
  const std::unique_ptr<ChatUser> ann = UserInRoom(m_server, "ann", kLobby);
  const std::unique_ptr<ChatUser> bob = UserInRoom(m_server, "bob", kLobby);
  EXPECT_TRUE(Exchange(m_server.HttpPort(), "GET / HTTP/1.0\r\n\r\n", 5s).starts_with("HTTP/1.0 503 "));
  EXPECT_GE(Scrape()["tolvan_connections_refused_total{reason=\"per_address\"}"], 1);
}

// Only the machine itself reaches the port, whatever bind_address says
// (the chat's port listens on every address here); it serves nothing else.
TEST_F(Metrics, OnlyOnTheLoopbackAddressAndOnlyTheMetrics) {
  const int other = ConnectTo("127.0.0.2", m_metricsPort);
  EXPECT_LT(other, 0) << "127.0.0.2 reached the metrics";
  if (other >= 0) ::close(other);
  const int chat = ConnectTo("127.0.0.2", m_server.HttpPort());
  EXPECT_GE(chat, 0) << "the chat's port listens there";
  if (chat >= 0) ::close(chat);

  EXPECT_TRUE(Ask("/").starts_with("HTTP/1.0 404 ")) << Ask("/");
  EXPECT_TRUE(Ask("/logon.html").starts_with("HTTP/1.0 404 "));
  EXPECT_TRUE(Exchange(m_metricsPort, "BREW /metrics HTTP/1.0\r\n\r\n", 5s).empty()) << "closed without an answer";
}

// With the node link over Redis: whether each of its threads is connected,
// what waits to be sent, and the records read from the other nodes.
TEST(MetricsOfTheNodeLink, ConnectionRecordsAndLag) {
  RedisProcess redis;
  ASSERT_TRUE(redis.Start());
  const auto node = [&redis](const std::string& id, const std::string& extra) {
    return "[general]\nnodeid = " + id + "\nifconnect = 1\n" + redis.IniLines() + "block_ms = 200\n" + extra;
  };
  const int metricsPort = FreePort();
  ServerProcess a(node("nodeA", "[network]\nmetrics_port = " + std::to_string(metricsPort) + "\n"));
  ServerProcess b(node("nodeB", ""));
  for (ServerProcess* server : {&a, &b}) {
    ASSERT_TRUE(server->Start());
    ASSERT_TRUE(server->WaitForConsole("node link: connected to Redis", 5s));
  }
  const auto connected = [](const Samples& samples, const char* side) {
    return samples.at("tolvan_nodelink_connected{side=\"" + std::string(side) + "\"}");
  };
  const auto allConnected = [&connected](const Samples& samples) {
    return connected(samples, "writer") + connected(samples, "reader") + connected(samples, "answerer") == 3;
  };
  const Samples before = ScrapeUntil(metricsPort, allConnected);
  EXPECT_TRUE(allConnected(before));
  const std::string read = "tolvan_nodelink_records_read_total";

  ChatUser ann(b, "ann");
  ASSERT_TRUE(ann.LoggedOn());
  ann.Join(kLobby);
  const Samples after =
      ScrapeUntil(metricsPort, [&](const Samples& samples) { return samples.at(read) > before.at(read); });
  EXPECT_GT(after.at(read), before.at(read)) << "the other node's logon and join";
  EXPECT_TRUE(std::isfinite(after.at("tolvan_nodelink_seconds_since_read")));
  EXPECT_GE(after.at("tolvan_nodelink_read_lag_seconds"), 0);
  EXPECT_EQ(after.count("tolvan_nodelink_outbox_records"), 1u);

  redis.Kill();
  const auto writerDown = [&connected](const Samples& samples) { return connected(samples, "writer") == 0; };
  EXPECT_TRUE(writerDown(ScrapeUntil(metricsPort, writerDown))) << "Redis went away";
}

}  // namespace
