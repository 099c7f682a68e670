// The metrics registry: families, labels and values as the text exposition
// format writes them, and counters bumped from many threads at once.
#include <gtest/gtest.h>

#include <cmath>
#include <thread>
#include <vector>

#include "foundation/metrics.h"

namespace {

TEST(MetricRegistry, WritesFamiliesWithTheirHelpTypeAndSamples) {
  CMetricRegistry registry;
  CCounter said;
  said.Add(3);
  CGauge open;
  open.Add(5);
  open.Subtract(2);
  registry.Add("lines_total", "Lines said\\ by kind\nper kind", said, {{"kind", "chat"}});
  registry.Add("open", "Open now", open);
  registry.Add(MetricType::kCounter, "lines_total", "", [] { return 7.0; }, {{"kind", "a \"quoted\\\"\nkind"}});
  registry.Add(MetricType::kGauge, "lag_seconds", "Lag", [] { return 0.25; }, {{"a", "1"}, {"b", "2"}});
  registry.Add(MetricType::kGauge, "unknown", "Not known yet", [] { return NAN; });
  registry.Add(MetricType::kGauge, "big", "Past what a double holds exactly", [] { return 1e300; });
  EXPECT_EQ(registry.Render(),
            "# HELP lines_total Lines said\\\\ by kind\\nper kind\n"
            "# TYPE lines_total counter\n"
            "lines_total{kind=\"chat\"} 3\n"
            "lines_total{kind=\"a \\\"quoted\\\\\\\"\\nkind\"} 7\n"
            "# HELP open Open now\n"
            "# TYPE open gauge\n"
            "open 3\n"
            "# HELP lag_seconds Lag\n"
            "# TYPE lag_seconds gauge\n"
            "lag_seconds{a=\"1\",b=\"2\"} 0.25\n"
            "# HELP unknown Not known yet\n"
            "# TYPE unknown gauge\n"
            "unknown NaN\n"
            "# HELP big Past what a double holds exactly\n"
            "# TYPE big gauge\n"
            "big 1e+300\n");
}

// Counters are bumped by every loop at once and read by the scraper
// meanwhile (a ThreadSanitizer build checks the reads too).
TEST(MetricRegistry, CountersTakeBumpsFromManyThreads) {
  CMetricRegistry registry;
  CCounter lines;
  registry.Add("lines_total", "Lines", lines);
  constexpr int kThreads = 4;
  constexpr int kBumps = 10000;
  std::vector<std::thread> threads;
  for (int thread = 0; thread < kThreads; ++thread) {
    threads.emplace_back([&lines] {
      for (int bump = 0; bump < kBumps; ++bump) lines.Add();
    });
  }
  for (int scrape = 0; scrape < 20; ++scrape) EXPECT_NE(registry.Render().find("lines_total "), std::string::npos);
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(lines.Value(), static_cast<std::uint64_t>(kThreads * kBumps));
  EXPECT_NE(registry.Render().find("\nlines_total 40000\n"), std::string::npos);
}

}  // namespace
