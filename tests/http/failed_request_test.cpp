// A request whose handler throws: the client gets a short error page and the
// connection closes; the console names the request and the cause; the next
// request is served as usual.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "http/turned_away.h"
#include "support/http_client.h"
#include "support/http_on_loop.h"

namespace {
using namespace std::chrono_literals;

std::string Ask(HttpOnLoop& http, const std::string& request) {
  const platform::CUniqueFd client = http.Connect();
  SendAll(client.Get(), request);
  return ReadUntilClose(client.Get(), 5s);
}

bool IsFailedAnswer(const std::string& answer) {
  return answer.rfind("HTTP/1.0 500 ", 0) == 0 && answer.find(kRequestFailedText) != std::string::npos;
}

TEST(FailedRequest, IsAnswered500AndLoggedWithItsCauseAndTheNextIsServed) {
  CParkedRequest leftParked;
  HttpOnLoop http([&](CRequest& request) {
    const std::string path = request.Path().value_or("");
    if (path == "/broken") throw std::runtime_error("handler broke");
    if (path == "/late") request.Park().Resume([](CPage&) { throw std::runtime_error("answer broke"); });
    if (path == "/parked-then-broken") {
      leftParked = request.Park();
      throw std::runtime_error("broke after parking");
    }
    request.Page().Append("served");
  });
  testing::internal::CaptureStdout();
  const std::string broken = Ask(http, "GET /broken?session=12345678 HTTP/1.0\r\n\r\n");
  const std::string late = Ask(http, "POST /late HTTP/1.0\r\nContent-Length: 11\r\n\r\npassword=pw");
  const std::string parked = Ask(http, "GET /parked-then-broken HTTP/1.0\r\n\r\n");
  const std::string console = testing::internal::GetCapturedStdout();

  EXPECT_TRUE(IsFailedAnswer(broken)) << broken;
  EXPECT_TRUE(IsFailedAnswer(late)) << late;
  EXPECT_TRUE(IsFailedAnswer(parked)) << parked;
  EXPECT_TRUE(leftParked.ClientGone()) << "work a failed request parked for need not be done";
  for (const char* line : {"request failed (GET /broken, client 10.0.0.9, connection ",
                           "): handler broke\n", "request failed (POST /late, client 10.0.0.9, connection ",
                           "): answer broke\n", "): broke after parking\n"}) {
    EXPECT_NE(console.find(line), std::string::npos) << line << " in:\n" << console;
  }
  EXPECT_EQ(console.find("12345678"), std::string::npos) << "the query stays off the console";
  EXPECT_EQ(console.find("pw"), std::string::npos) << "so does the body";

  const std::string fine = Ask(http, "GET /fine HTTP/1.0\r\n\r\n");
  EXPECT_NE(fine.find("served"), std::string::npos) << fine;
}

}  // namespace
