#include "accounts/session_id.h"

#include <sys/random.h>

#include <cstdint>
#include <random>

namespace {
std::uint64_t SecureRandom() {
  std::uint64_t value = 0;
  if (getrandom(&value, sizeof value, 0) == static_cast<ssize_t>(sizeof value)) return value;
  std::random_device device;  // the kernel's source through another door
  return (static_cast<std::uint64_t>(device()) << 32) ^ device();
}

std::uint64_t Power36(size_t digits) {
  std::uint64_t power = 1;
  for (size_t i = 0; i < digits; ++i) power *= 36;
  return power;
}
}  // namespace

std::string ToBase36(unsigned long long value) {
  const char* digits = "0123456789abcdefghijklmnopqrstuvwxyz";
  std::string text;
  do {
    text.insert(text.begin(), digits[value % 36]);
    value /= 36;
  } while (value != 0);
  return text;
}

std::string MakeSessionId() {
  return ToBase36(SecureRandom() % Power36(kSessionIdFirstDigits)) +
         ToBase36(SecureRandom() % Power36(kSessionIdSecondDigits));
}
