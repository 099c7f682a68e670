// Addresses in their one text form, and lists of trusted addresses and networks.
#include "foundation/ip_address.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace {

TEST(IpAddress, OneTextFormOrNothing) {
  const struct {
    const char* text;
    std::optional<std::string> canonical;
  } cases[] = {
      {"203.0.113.7", "203.0.113.7"},
      {"2001:DB8:0:0:0:0:0:1", "2001:db8::1"},
      {"::ffff:198.51.100.2", "198.51.100.2"},  // IPv4 written as IPv6 is that IPv4 address
      {"::1", "::1"},
      {"", std::nullopt},
      {"unknown", std::nullopt},
      {"localhost", std::nullopt},
      {"203.0.113.7:4711", std::nullopt},  // a port
      {"[2001:db8::1]", std::nullopt},
      {" 203.0.113.7", std::nullopt},
      {"203.0.113.256", std::nullopt},
      {"203.0.113", std::nullopt},
      {"1.2.3.4<script>", std::nullopt},
      {"2001:db8::1%eth0", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(CanonicalIpAddress(c.text), c.canonical) << c.text;
}

TEST(IpAddress, ListsOfAddressesAndNetworks) {
  const std::optional<CAddressList> list = CAddressList::Parse("127.0.0.1, 10.0.0.0/8 192.168.1.128/25,fd00::/8\t::1");
  ASSERT_TRUE(list);
  const struct {
    const char* address;
    bool contained;
  } cases[] = {
      {"127.0.0.1", true},          {"127.0.0.2", false},       {"10.200.3.4", true},
      {"11.0.0.1", false},          {"192.168.1.200", true},    {"192.168.1.127", false},
      {"fd12:3456::1", true},       {"fe80::1", false},         {"::1", true},
      {"::ffff:10.1.1.1", true},    {"not an address", false},  {"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(list->Contains(c.address), c.contained) << c.address;

  const std::optional<CAddressList> empty = CAddressList::Parse(" ,  ");
  ASSERT_TRUE(empty) << "an empty setting trusts nobody";
  EXPECT_TRUE(empty->Empty());
  EXPECT_FALSE(empty->Contains("127.0.0.1"));
  const std::optional<CAddressList> everyone = CAddressList::Parse("0.0.0.0/0");
  ASSERT_TRUE(everyone);
  EXPECT_TRUE(everyone->Contains("203.0.113.7"));
  EXPECT_FALSE(everyone->Contains("2001:db8::1")) << "an IPv4 network holds IPv4 addresses only";

  for (const char* bad : {"localhost", "10.0.0.0/33", "10.0.0.0/", "10.0.0.0/x", "::1/129", "10.0.0.1;", "1.2.3.4/8/8"}) {
    std::string named;
    EXPECT_FALSE(CAddressList::Parse(std::string("127.0.0.1 ") + bad, &named)) << bad;
    EXPECT_EQ(named, bad);
  }
}

}  // namespace
