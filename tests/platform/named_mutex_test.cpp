#include "platform/named_mutex.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/stop_event.h"

namespace {
using namespace std::chrono_literals;

TEST(NamedMutex, OneNameIsOneMutexWhileItIsOpen) {
  platform::NamedMutexPtr a = platform::OpenNamedMutex("tol2test");
  platform::NamedMutexPtr b = platform::OpenNamedMutex("tol2test");
  EXPECT_EQ(a, b);
  EXPECT_NE(platform::OpenNamedMutex(""), platform::OpenNamedMutex(""));
}

TEST(NamedMutex, IsReentrantForItsHolder) {
  platform::NamedMutexPtr mutex = platform::OpenNamedMutex("tol2reentrant");
  platform::CMutexGuard outer(*mutex);
  ASSERT_TRUE(outer);
  platform::CMutexGuard inner(*mutex);
  EXPECT_TRUE(inner);
}

TEST(NamedMutex, TimedOutWaitDoesNotRunTheGuardedBlock) {
  platform::SetWaitRuleForTests(100ms, 10ms);
  platform::NamedMutexPtr mutex = platform::OpenNamedMutex("tol2busy");
  std::atomic<bool> held{false};
  std::atomic<bool> release{false};
  std::thread holder([&] {
    platform::CMutexGuard guard(*mutex);
    held = true;
    while (!release) std::this_thread::sleep_for(1ms);
  });
  while (!held) std::this_thread::sleep_for(1ms);

  bool ranGuardedBlock = false;
  testing::internal::CaptureStdout();
  const auto start = std::chrono::steady_clock::now();
  std::thread waiter([&] {
    platform::CMutexGuard guard(*mutex);
    if (guard) ranGuardedBlock = true;
  });
  waiter.join();
  const auto waited = std::chrono::steady_clock::now() - start;
  const std::string console = testing::internal::GetCapturedStdout();
  release = true;
  holder.join();

  EXPECT_FALSE(ranGuardedBlock);
  EXPECT_GE(waited, 100ms);
  EXPECT_LT(waited, 2s);
  EXPECT_NE(console.find("tol2busy"), std::string::npos) << console;
  // Once the holder lets go the mutex is free again.
  platform::CMutexGuard after(*mutex);
  EXPECT_TRUE(after);
  platform::SetWaitRuleForTests(10000ms, 1000ms);
}

TEST(NamedMutex, WaitRuleDependsOnlyOnTheThread) {
  const auto timeout = platform::WaitRuleTimeout();
  EXPECT_GE(timeout, 10000ms);
  EXPECT_LE(timeout, 14000ms);
  EXPECT_EQ(timeout.count() % 1000, 0);
  EXPECT_EQ(platform::WaitRuleTimeout(), timeout);
}

TEST(StopEvent, StaysSetAndWakesWaiters) {
  platform::CStopEvent event;
  EXPECT_FALSE(event.Wait(1));
  std::thread setter([&] {
    std::this_thread::sleep_for(20ms);
    event.Set();
  });
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(event.Wait(5000));
  EXPECT_LT(std::chrono::steady_clock::now() - start, 1s);
  setter.join();
  EXPECT_TRUE(event.IsSet());
  EXPECT_TRUE(event.Wait(0));
  EXPECT_GE(event.PollFd(), 0);
}

}  // namespace
