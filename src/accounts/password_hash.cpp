#include "accounts/password_hash.h"

#include <sodium.h>

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <limits>
#include <string_view>

#include "foundation/settings.h"
#include "platform/console.h"

namespace {
// libsodium must be started once before any other call; later calls are free.
bool SodiumReady() {
  static const bool ready = sodium_init() >= 0;
  return ready;
}

// The decimal number at the text, the text moved past it; a number too
// large to hold reads as the largest (it is beyond any ceiling all the same).
std::optional<unsigned long long> ReadNumber(const char*& at, const char* end) {
  unsigned long long value = 0;
  const std::from_chars_result read = std::from_chars(at, end, value);
  if (read.ec == std::errc::invalid_argument) return std::nullopt;
  at = read.ptr;
  return read.ec == std::errc::result_out_of_range ? std::numeric_limits<unsigned long long>::max() : value;
}

// The cost raised to the least that libsodium computes.
HashCost CostAsComputed(const HashCost& cost) {
  return HashCost{std::max<size_t>(cost.memoryKib, crypto_pwhash_MEMLIMIT_MIN / 1024),
                  std::max<unsigned>(cost.passes, crypto_pwhash_OPSLIMIT_MIN)};
}
}  // namespace

HashCost ReadHashCost() {
  HashCost cost;
  const int memory = GetSettingInt("user_database", "hash_memory_kib");
  const int passes = GetSettingInt("user_database", "hash_passes");
  if (memory > 0) cost.memoryKib = static_cast<size_t>(memory);
  if (passes > 0) cost.passes = static_cast<unsigned>(passes);
  return cost;
}

std::string HashPassword(const std::string& password, const HashCost& cost) {
  if (!SodiumReady()) return std::string();
  char hashed[crypto_pwhash_STRBYTES];
  const HashCost used = CostAsComputed(cost);
  if (crypto_pwhash_str_alg(hashed, password.data(), password.size(), used.passes, used.memoryKib * 1024,
                            crypto_pwhash_ALG_ARGON2ID13) != 0) {
    return std::string();
  }
  return hashed;
}

bool IsPasswordHash(const std::string& stored) { return stored.rfind("$argon2id$", 0) == 0; }

std::optional<HashCost> StoredHashCost(const std::string& stored) {
  // "$argon2id$v=19$m=19456,t=2,p=1$salt$hash"
  const size_t memoryAt = stored.find("$m=");
  if (memoryAt == std::string::npos) return std::nullopt;
  const char* at = stored.data() + memoryAt + 3;
  const char* const end = stored.data() + stored.size();
  const std::optional<unsigned long long> memory = ReadNumber(at, end);
  if (!memory || std::string_view(at, static_cast<size_t>(end - at)).substr(0, 3) != ",t=") return std::nullopt;
  at += 3;
  const std::optional<unsigned long long> passes = ReadNumber(at, end);
  if (!passes) return std::nullopt;
  return HashCost{static_cast<size_t>(std::min<unsigned long long>(*memory, std::numeric_limits<size_t>::max())),
                  static_cast<unsigned>(std::min<unsigned long long>(*passes, std::numeric_limits<unsigned>::max()))};
}

bool VerifyPassword(const std::string& stored, const std::string& password, const HashCost& configured,
                    const std::string& account) {
  if (!SodiumReady() || !IsPasswordHash(stored)) return false;
  const std::optional<HashCost> asked = StoredHashCost(stored);
  if (!asked) return false;
  const HashCost allowed = CostAsComputed(configured);
  if (asked->memoryKib > std::uint64_t{kStoredCostCeiling} * allowed.memoryKib ||
      asked->passes > std::uint64_t{kStoredCostCeiling} * allowed.passes) {
    platform::ConsolePrintf(
        "refused the stored password hash of %s: it asks for %zu KiB and %u passes, more than %u times the "
        "configured %zu KiB and %u passes\n",
        account.c_str(), asked->memoryKib, asked->passes, kStoredCostCeiling, allowed.memoryKib, allowed.passes);
    return false;
  }
  return crypto_pwhash_str_verify(stored.c_str(), password.data(), password.size()) == 0;
}

bool MatchesStored(const std::string& stored, const std::string& secret, const HashCost& configured,
                   const std::string& account) {
  return IsPasswordHash(stored) ? VerifyPassword(stored, secret, configured, account) : stored == secret;
}
