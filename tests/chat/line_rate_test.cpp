// The line rate of a session: a bucket of line_burst lines that refills at
// lines_per_minute, taken without a lock by the loops of many requests.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "chat/line_rate.h"

namespace {

TEST(LineBudget, ABurstThenOneLinePerInterval) {
  const LineRate rate{3, 60};  // one line a second
  CLineBudget budget;
  const std::int64_t start = 1'000'000;
  for (int line = 0; line < 3; ++line) EXPECT_TRUE(budget.Take(rate, start)) << line;
  EXPECT_FALSE(budget.Take(rate, start));
  EXPECT_FALSE(budget.Take(rate, start + 999)) << "a refused line takes nothing, and brings nothing back";
  EXPECT_TRUE(budget.Take(rate, start + 1000));
  EXPECT_FALSE(budget.Take(rate, start + 1000));
  // A quiet minute fills the bucket, never more than full.
  for (int line = 0; line < 3; ++line) EXPECT_TRUE(budget.Take(rate, start + 60'000)) << line;
  EXPECT_FALSE(budget.Take(rate, start + 60'000));
}

TEST(LineBudget, OffUnlessBothKeysAreSet) {
  CLineBudget budget;
  for (const LineRate rate : {LineRate{0, 0}, LineRate{10, 0}, LineRate{0, 60}}) {
    for (int line = 0; line < 100; ++line) EXPECT_TRUE(budget.Take(rate, 5));
  }
}

// Requests of one session on several loops at once get the burst between
// them, not a burst each.
TEST(LineBudget, ConcurrentTakersShareOneBurst) {
  const LineRate rate{50, 1};
  CLineBudget budget;
  std::atomic<int> taken{0};
  std::vector<std::thread> threads;
  for (int thread = 0; thread < 4; ++thread) {
    threads.emplace_back([&] {
      for (int line = 0; line < 100; ++line) {
        if (budget.Take(rate, 1'000)) ++taken;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(taken.load(), 50);
}

}  // namespace
