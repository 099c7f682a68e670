// Passwords at rest: an Argon2id hash in libsodium's string form
// ("$argon2id$v=19$m=...,t=...,p=1$salt$hash"), never the password itself.
// Hashing is slow on purpose (memory and passes from [user_database]); it
// runs off the event loops.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

inline constexpr size_t kDefaultHashMemoryKib = 19 * 1024;  // 19 MiB
inline constexpr unsigned kDefaultHashPasses = 2;

struct HashCost {
  size_t memoryKib = kDefaultHashMemoryKib;
  unsigned passes = kDefaultHashPasses;
};

// [user_database] hash_memory_kib and hash_passes, or the defaults.
HashCost ReadHashCost();

// The hash of the password at that cost; "" when hashing failed (out of memory).
std::string HashPassword(const std::string& password, const HashCost& cost);
// True when the stored text is a hash this system writes.
bool IsPasswordHash(const std::string& stored);
// A stored hash is computed only while its cost stays within this many
// times the configured one (a hash asking for gigabytes would take them at
// every logon of its name).
inline constexpr unsigned kStoredCostCeiling = 4;
// The memory and passes a stored hash asks for; none when it does not say.
std::optional<HashCost> StoredHashCost(const std::string& stored);

// True when the password matches the stored hash. A hash above the ceiling
// of the configured cost (the default cost unless given) is not computed:
// false, and the console names the account.
bool VerifyPassword(const std::string& stored, const std::string& password, const HashCost& configured = HashCost(),
                    const std::string& account = "");
// A secret checked against what is stored: a hash is verified, anything else
// is a secret kept in clear (from before hashing) and compared byte for byte.
bool MatchesStored(const std::string& stored, const std::string& secret, const HashCost& configured = HashCost(),
                   const std::string& account = "");
