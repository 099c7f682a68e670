// IP addresses as text: the one form a user's address is kept in (so a ban
// and a later check compare like with like), and lists of addresses and
// networks ("127.0.0.1, 10.0.0.0/8, fd00::/8") that say whose word about a
// client's address is believed.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The address in its one text form: IPv4 in dotted decimal, IPv6 as
// inet_ntop writes it (an IPv4 address written as IPv6, "::ffff:1.2.3.4",
// becomes "1.2.3.4"); nothing when the text is not exactly an address
// (no port, no brackets, no host name, no blanks).
std::optional<std::string> CanonicalIpAddress(std::string_view text);

class CAddressList {
 public:
  // Entries separated by commas and/or blanks: an address ("127.0.0.1",
  // "::1") or a network ("10.0.0.0/8", "fd00::/8"; the bits below the
  // prefix are ignored). Nothing when an entry is neither; then *bad holds it.
  static std::optional<CAddressList> Parse(std::string_view text, std::string* bad = nullptr);

  bool Empty() const { return m_networks.empty(); }
  // The address (any text form CanonicalIpAddress reads) lies in an entry.
  bool Contains(std::string_view address) const;

 private:
  // IPv4 entries are kept as IPv4-mapped IPv6, so one comparison serves both.
  struct Network {
    std::array<std::uint8_t, 16> bytes{};
    int prefixBits = 128;
  };
  static std::optional<Network> ParseNetwork(std::string_view entry);

  std::vector<Network> m_networks;
};
