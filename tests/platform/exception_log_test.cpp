#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <stdexcept>
#include <string>

#include "platform/console.h"
#include "platform/thread.h"

namespace {

std::string DescribeWhatIsThrown(const std::function<void()>& thrower) {
  try {
    thrower();
  } catch (...) {
    return platform::DescribeException(std::current_exception());
  }
  return "nothing thrown";
}

template <class Outer, class Inner>
void ThrowNested(Outer outer, Inner inner) {
  try {
    throw inner;
  } catch (...) {
    std::throw_with_nested(outer);
  }
}

TEST(ExceptionLog, DescribesWhatWasThrownWithTheCausesItNests) {
  struct Case {
    const char* name;
    std::function<void()> thrower;
    const char* expected;
  };
  const Case cases[] = {
      {"a standard exception", [] { throw std::runtime_error("disk full"); }, "disk full"},
      {"out of memory", [] { throw std::bad_alloc(); }, "std::bad_alloc"},
      {"an empty message", [] { throw std::runtime_error(""); }, "an exception without a message"},
      {"not a std::exception", [] { throw 42; }, "unknown exception"},
      {"a cause nested in an operation",
       [] { ThrowNested(std::runtime_error("reading users/abc"), std::out_of_range("line 3")); },
       "reading users/abc: line 3"},
      {"two levels", [] {
         try {
           ThrowNested(std::runtime_error("line 3"), std::invalid_argument("not a number"));
         } catch (...) {
           std::throw_with_nested(std::runtime_error("reading users/abc"));
         }
       },
       "reading users/abc: line 3: not a number"},
      {"a non-standard cause nested", [] { ThrowNested(std::runtime_error("reading users/abc"), 7); },
       "reading users/abc: unknown exception"},
  };
  for (const Case& one : cases) EXPECT_EQ(DescribeWhatIsThrown(one.thrower), one.expected) << one.name;
  EXPECT_EQ(platform::DescribeException(nullptr), "no exception");
}

TEST(ExceptionLog, SaysTheOperationTheDetailsAndTheCause) {
  testing::internal::CaptureStdout();
  try {
    throw std::runtime_error("disk full");
  } catch (...) {
    platform::LogException("saving an account", "file users/abc");
  }
  try {
    throw 1;
  } catch (...) {
    platform::LogException("event loop 2: task failed");
  }
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "saving an account (file users/abc): disk full\n"
            "event loop 2: task failed: unknown exception\n");
}

TEST(ExceptionLog, AThreadEndedByAnExceptionSaysWhichAndWhy) {
  testing::internal::CaptureStdout();
  std::thread thread = platform::StartThread("the test thread", [] { throw std::runtime_error("body broke"); });
  ASSERT_TRUE(thread.joinable());
  thread.join();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "thread the test thread ended: body broke\n");
}

}  // namespace
