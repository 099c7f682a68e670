// A stored password hash is computed only while its cost stays within four
// times the configured one: a file (or a Redis entry) asking for gigabytes
// must not make every logon of that name take them.
#include <gtest/gtest.h>

#include <regex>

#include "accounts/password_hash.h"
#include "support/http_client.h"
#include "support/server_process.h"
#include "support/site_files.h"

namespace {
using namespace std::chrono_literals;

TEST(StoredHashCeiling, AHashCostingMoreThanFourTimesTheConfiguredCostIsRefused) {
  // The tests' cost is 8 KiB and one pass: the ceiling is 32 KiB and four passes.
  ServerProcess server;
  struct Case {
    std::string name;
    HashCost cost;
    bool logsOn;
  } cases[] = {
      {"atceiling", {32, 4}, true},
      {"bigmemory", {64, 1}, false},
      {"manypasses", {8, 5}, false},
  };
  for (const Case& c : cases) {
    const std::string hash = HashPassword("pw", c.cost);
    ASSERT_FALSE(hash.empty());
    server.Dir().Write("users/" + c.name, hash + "\n1700000000\n127.0.0.1\n");
  }
  ASSERT_TRUE(server.Start());
  for (const Case& c : cases) {
    const std::string answer = HttpPost(server.HttpPort(), "/logon", "username=" + c.name + "&password=pw");
    EXPECT_EQ(std::regex_search(answer, std::regex("session=[0-9a-z]+")), c.logsOn) << c.name;
    const std::string said = "refused the stored password hash of " + c.name;
    if (c.logsOn) {
      EXPECT_EQ(server.Console().find(said), std::string::npos) << server.Console();
    } else {
      EXPECT_TRUE(server.WaitForConsole(said, 2s)) << server.Console();
    }
  }
}

}  // namespace
