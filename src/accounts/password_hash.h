// Passwords at rest: an Argon2id hash in libsodium's string form
// ("$argon2id$v=19$m=...,t=...,p=1$salt$hash"), never the password itself.
// Hashing is slow on purpose (memory and passes from [user_database]); it
// runs off the event loops.
#pragma once

#include <cstddef>
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
// True when the password matches the stored hash.
bool VerifyPassword(const std::string& stored, const std::string& password);
// A secret checked against what is stored: a hash is verified, anything else
// is a secret kept in clear (from before hashing) and compared byte for byte.
bool MatchesStored(const std::string& stored, const std::string& secret);
