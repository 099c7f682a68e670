#include "accounts/password_hash.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

const HashCost kCheap{8, 1};  // the smallest cost, for speed

TEST(PasswordHash, VerifiesTheRightPasswordOnly) {
  const std::string stored = HashPassword("secret", kCheap);
  ASSERT_TRUE(IsPasswordHash(stored)) << stored;
  EXPECT_EQ(stored.find("secret"), std::string::npos);
  EXPECT_TRUE(VerifyPassword(stored, "secret", kCheap, "tom"));
  EXPECT_FALSE(VerifyPassword(stored, "Secret", kCheap, "tom"));
  EXPECT_FALSE(VerifyPassword("secret", "secret", kCheap, "tom")) << "a clear password is not a hash";
  EXPECT_NE(HashPassword("secret", kCheap), stored) << "each hash has its own salt";
}

// What a stored hash asks for is read from its text; what cannot be read
// is no cost, and what is too large to hold reads as the largest.
TEST(PasswordHash, StoredCostIsReadFromTheHashText) {
  const std::optional<HashCost> cost = StoredHashCost(HashPassword("secret", HashCost{64, 3}));
  ASSERT_TRUE(cost);
  EXPECT_EQ(cost->memoryKib, 64u);
  EXPECT_EQ(cost->passes, 3u);
  const std::optional<HashCost> huge = StoredHashCost("$argon2id$v=19$m=99999999999999999999999,t=4294967296,p=1$s$h");
  ASSERT_TRUE(huge);
  EXPECT_EQ(huge->memoryKib, std::numeric_limits<size_t>::max());
  EXPECT_EQ(huge->passes, std::numeric_limits<unsigned>::max());
  for (const char* unreadable : {"$argon2id$v=19$m=,t=2,p=1$s$h", "$argon2id$v=19$m=8,p=1$s$h", "$argon2id$v=19$t=2"}) {
    EXPECT_FALSE(StoredHashCost(unreadable)) << unreadable;
    EXPECT_FALSE(VerifyPassword(unreadable, "secret", kCheap, "tom")) << unreadable;
  }
}

}  // namespace
