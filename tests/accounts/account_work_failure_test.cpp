// Account work that throws (an account file that cannot be read, memory
// that runs out) still answers its request: an error page at once, the
// cause on the console; the request is not left waiting for its time-out.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "accounts/account_work.h"
#include "http/turned_away.h"
#include "platform/worker_pool.h"
#include "support/http_client.h"
#include "support/http_on_loop.h"

namespace {
using namespace std::chrono_literals;

TEST(AccountWork, WorkThatThrowsAnswersAnErrorPageAndSaysWhy) {
  platform::CWorkerPool pool(1, "AccountWork");
  CAccountWork work(&pool, nullptr, AccountWorkLimits{}, HashCost{});
  HttpOnLoop http([&work](CRequest& request) {
    work.Park(
        request, AnswerWhen::kDone, []() -> int { throw std::runtime_error("account file unreadable"); },
        [](int, CPage& page) { page.Append("never written"); });
  });
  testing::internal::CaptureStdout();
  const platform::CUniqueFd client = http.Connect();
  const std::string body = "username=someone&password=abc";
  SendAll(client.Get(), "POST /logon HTTP/1.0\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body);
  const std::string answer = ReadUntilClose(client.Get(), 5s);
  const std::string console = testing::internal::GetCapturedStdout();
  EXPECT_EQ(answer.rfind("HTTP/1.0 500 ", 0), 0u) << answer;
  EXPECT_NE(answer.find(kRequestFailedText), std::string::npos);
  EXPECT_NE(console.find("request failed (POST /logon, client 10.0.0.9, connection "), std::string::npos) << console;
  EXPECT_NE(console.find("): account file unreadable\n"), std::string::npos) << console;
}

}  // namespace
