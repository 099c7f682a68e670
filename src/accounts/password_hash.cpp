#include "accounts/password_hash.h"

#include <sodium.h>

#include "foundation/settings.h"

namespace {
// libsodium must be started once before any other call; later calls are free.
bool SodiumReady() {
  static const bool ready = sodium_init() >= 0;
  return ready;
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
  const size_t memory = std::max<size_t>(cost.memoryKib * 1024, crypto_pwhash_MEMLIMIT_MIN);
  const unsigned long long passes = std::max<unsigned long long>(cost.passes, crypto_pwhash_OPSLIMIT_MIN);
  if (crypto_pwhash_str_alg(hashed, password.data(), password.size(), passes, memory, crypto_pwhash_ALG_ARGON2ID13) !=
      0) {
    return std::string();
  }
  return hashed;
}

bool IsPasswordHash(const std::string& stored) { return stored.rfind("$argon2id$", 0) == 0; }

bool VerifyPassword(const std::string& stored, const std::string& password) {
  if (!SodiumReady() || !IsPasswordHash(stored)) return false;
  return crypto_pwhash_str_verify(stored.c_str(), password.data(), password.size()) == 0;
}

bool MatchesStored(const std::string& stored, const std::string& secret) {
  return IsPasswordHash(stored) ? VerifyPassword(stored, secret) : stored == secret;
}
