#include "accounts/password_hash.h"

#include <gtest/gtest.h>

namespace {

const HashCost kCheap{8, 1};  // the smallest cost, for speed

TEST(PasswordHash, VerifiesTheRightPasswordOnly) {
  const std::string stored = HashPassword("secret", kCheap);
  ASSERT_TRUE(IsPasswordHash(stored)) << stored;
  EXPECT_EQ(stored.find("secret"), std::string::npos);
  EXPECT_TRUE(VerifyPassword(stored, "secret"));
  EXPECT_FALSE(VerifyPassword(stored, "Secret"));
  EXPECT_FALSE(VerifyPassword("secret", "secret")) << "a clear password is not a hash";
  EXPECT_NE(HashPassword("secret", kCheap), stored) << "each hash has its own salt";
}

}  // namespace
