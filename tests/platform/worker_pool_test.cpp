#include "platform/worker_pool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <stdexcept>

namespace {
using namespace std::chrono_literals;

TEST(WorkerPool, RunsTasksOnItsThreadsAtTheSameTime) {
  platform::CWorkerPool pool(2, "test pool");
  ASSERT_EQ(pool.ThreadCount(), 2);
  // Each task waits for the other: both finish only when two threads run them.
  std::promise<void> first, second;
  std::shared_future<void> firstDone = first.get_future().share(), secondDone = second.get_future().share();
  std::atomic<int> finished{0};
  ASSERT_TRUE(pool.Submit([&] {
    first.set_value();
    secondDone.wait();
    ++finished;
  }));
  ASSERT_TRUE(pool.Submit([&] {
    second.set_value();
    firstDone.wait();
    ++finished;
  }));
  EXPECT_EQ(secondDone.wait_for(60s), std::future_status::ready);
  pool.Stop();
  EXPECT_EQ(finished, 2);
}

TEST(WorkerPool, AThrowingTaskIsLoggedWithItsCauseAndTheThreadGoesOnServing) {
  platform::CWorkerPool pool(1, "test pool");
  testing::internal::CaptureStdout();
  ASSERT_TRUE(pool.Submit([] { throw std::runtime_error("disk full"); }));
  std::promise<int> after;
  ASSERT_TRUE(pool.Submit([&] { after.set_value(7); }));
  EXPECT_EQ(after.get_future().get(), 7);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "test pool: task failed: disk full\n");
}

TEST(WorkerPool, StopDropsWaitingTasksAndRefusesNewOnes) {
  platform::CWorkerPool pool(1, "test pool");
  std::promise<void> started;
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  std::atomic<bool> droppedRan{false};
  ASSERT_TRUE(pool.Submit([&] {
    started.set_value();
    released.wait();
  }));
  started.get_future().wait();
  ASSERT_TRUE(pool.Submit([&] { droppedRan = true; }));
  std::thread stopper([&] { pool.Stop(); });
  // The stop waits for the running task; let it finish.
  while (pool.Submit([] {})) std::this_thread::yield();
  release.set_value();
  stopper.join();
  EXPECT_FALSE(droppedRan);
  EXPECT_FALSE(pool.Submit([] {}));
}

TEST(WorkerPool, APoolMadeToFinishRunsWhatWaitsBeforeItStops) {
  platform::CWorkerPool pool(1, "test pool", platform::CWorkerPool::OnStop::kFinishQueued);
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  std::atomic<int> ran{0};
  ASSERT_TRUE(pool.Submit([&] { released.wait(); }));
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(pool.Submit([&] { ++ran; }));
  std::thread stopper([&] { pool.Stop(); });
  while (pool.Submit([] {})) std::this_thread::yield();
  release.set_value();
  stopper.join();
  EXPECT_EQ(ran, 3);
}

}  // namespace
