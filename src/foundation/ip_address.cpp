#include "foundation/ip_address.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <cstring>

namespace {

constexpr int kIpv4Bits = 32;
constexpr int kIpv6Bits = 128;
constexpr int kMappedPrefixBits = kIpv6Bits - kIpv4Bits;  // ::ffff:0:0/96 holds the IPv4 addresses

// The 16 bytes of an address, IPv4 mapped into IPv6; nothing for other text.
std::optional<std::array<std::uint8_t, 16>> AddressBytes(std::string_view text) {
  if (text.empty() || text.size() >= INET6_ADDRSTRLEN) return std::nullopt;
  const std::string copy(text);  // inet_pton wants a NUL after the text
  std::array<std::uint8_t, 16> bytes{};
  in_addr ipv4{};
  if (::inet_pton(AF_INET, copy.c_str(), &ipv4) == 1) {
    bytes[10] = bytes[11] = 0xFF;
    std::memcpy(&bytes[12], &ipv4, sizeof ipv4);
    return bytes;
  }
  in6_addr ipv6{};
  if (::inet_pton(AF_INET6, copy.c_str(), &ipv6) == 1) {
    std::memcpy(bytes.data(), &ipv6, sizeof ipv6);
    return bytes;
  }
  return std::nullopt;
}

bool IsMappedIpv4(const std::array<std::uint8_t, 16>& bytes) {
  static constexpr std::uint8_t kMappedPrefix[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
  return std::memcmp(bytes.data(), kMappedPrefix, sizeof kMappedPrefix) == 0;
}

// The first bits of both are the same.
bool SamePrefix(const std::array<std::uint8_t, 16>& a, const std::array<std::uint8_t, 16>& b, int bits) {
  const int wholeBytes = bits / 8;
  if (std::memcmp(a.data(), b.data(), static_cast<size_t>(wholeBytes)) != 0) return false;
  const int restBits = bits % 8;
  if (restBits == 0) return true;
  const auto mask = static_cast<std::uint8_t>(0xFF << (8 - restBits));
  return (a[static_cast<size_t>(wholeBytes)] & mask) == (b[static_cast<size_t>(wholeBytes)] & mask);
}

// "N" as a prefix length of at most limit bits.
std::optional<int> PrefixBits(std::string_view text, int limit) {
  if (text.empty() || text.size() > 3) return std::nullopt;
  int bits = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    bits = bits * 10 + (c - '0');
  }
  if (bits > limit) return std::nullopt;
  return bits;
}

}  // namespace

std::optional<std::string> CanonicalIpAddress(std::string_view text) {
  const std::optional<std::array<std::uint8_t, 16>> bytes = AddressBytes(text);
  if (!bytes) return std::nullopt;
  char written[INET6_ADDRSTRLEN];
  const bool ipv4 = IsMappedIpv4(*bytes);
  if (::inet_ntop(ipv4 ? AF_INET : AF_INET6, ipv4 ? &(*bytes)[12] : bytes->data(), written, sizeof written) ==
      nullptr) {
    return std::nullopt;
  }
  return std::string(written);
}

std::optional<CAddressList> CAddressList::Parse(std::string_view text, std::string* bad) {
  CAddressList list;
  constexpr std::string_view kSeparators = ", \t";
  size_t at = text.find_first_not_of(kSeparators);
  while (at != std::string_view::npos) {
    const size_t end = text.find_first_of(kSeparators, at);
    const std::string_view entry = text.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at);
    at = end == std::string_view::npos ? end : text.find_first_not_of(kSeparators, end);
    const std::optional<Network> network = ParseNetwork(entry);
    if (!network) {
      if (bad != nullptr) *bad = std::string(entry);
      return std::nullopt;
    }
    list.m_networks.push_back(*network);
  }
  return list;
}

// "address" or "address/bits"; an IPv4 prefix counts within the mapped range.
std::optional<CAddressList::Network> CAddressList::ParseNetwork(std::string_view entry) {
  const size_t slash = entry.find('/');
  const std::string_view address = entry.substr(0, slash);
  const std::optional<std::array<std::uint8_t, 16>> bytes = AddressBytes(address);
  if (!bytes) return std::nullopt;
  const bool ipv4 = IsMappedIpv4(*bytes) && address.find(':') == std::string_view::npos;
  const int limit = ipv4 ? kIpv4Bits : kIpv6Bits;
  const std::optional<int> bits = slash == std::string_view::npos ? limit : PrefixBits(entry.substr(slash + 1), limit);
  if (!bits) return std::nullopt;
  return Network{*bytes, ipv4 ? *bits + kMappedPrefixBits : *bits};
}

bool CAddressList::Contains(std::string_view address) const {
  if (m_networks.empty()) return false;
  const std::optional<std::array<std::uint8_t, 16>> bytes = AddressBytes(address);
  if (!bytes) return false;
  for (const Network& network : m_networks) {
    if (SamePrefix(*bytes, network.bytes, network.prefixBits)) return true;
  }
  return false;
}
