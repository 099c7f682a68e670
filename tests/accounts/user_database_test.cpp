#include "accounts/user_database.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <thread>
#include <vector>

#include "accounts/logon.h"
#include "accounts/registration.h"
#include "accounts/session_id.h"
#include "support/temp_dir.h"

namespace {

const HashCost kCheap{8, 1};  // the smallest cost, for speed

// GBK characters whose trail byte has the value of an ASCII character.
const std::string kSincere = "\xD5\x5C";  // U+8AA0: the trail is '\'
const std::string kJade = "\xAC\x7C";     // U+744B: the trail is '|'
const std::string kChina = "\xC8\x41";    // U+83EF: the trail is 'A'
const std::string kUp = "\x81\x41";       // U+4E04 and U+4E64: two characters whose
const std::string kOther = "\x81\x61";    // trails are 'A' and 'a'

class Accounts : public ::testing::Test {
 protected:
  std::string Prefix() const { return m_dir.Path() + "/users/"; }
  // Line 1 of the account file.
  std::string StoredPassword(const std::string& file) const {
    const std::string text = m_dir.Read("users/" + file);
    return text.substr(0, text.find('\n'));
  }
  TempDir m_dir;
  const UserDatabase m_database{Prefix(), kCheap};
};

TEST_F(Accounts, FirstRegistrationCreatesTheDirectoryAndAPrivateFileWithTheHash) {
  const UserDatabase& database = m_database;
  EXPECT_EQ(CreateAccount(database, "Tom", "secret", "10.0.0.1"), 1);
  const std::string file = m_dir.Read("users/tom");
  EXPECT_EQ(std::count(file.begin(), file.end(), '\n'), 3) << "three lines";
  EXPECT_TRUE(VerifyPassword(StoredPassword("tom"), "secret")) << file;
  EXPECT_EQ(file.find("secret"), std::string::npos);
  EXPECT_GT(StoredPassword("tom").size(), kAccountLineArea) << "longer than the old line reader took";
  EXPECT_EQ(file.substr(file.size() - 9), "10.0.0.1\n");
  EXPECT_EQ(CheckAccount(database, "x", "TOM", "secret", ""), 1) << "the hash line is read back whole";
  EXPECT_EQ(CheckAccount(database, "x", "tom", "Secret", ""), -2);
  struct stat info{};
  ASSERT_EQ(::stat((Prefix() + "tom").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600);
  EXPECT_EQ(CreateAccount(database, "tom", "other", "x"), 0) << "names differing in case are one account";
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(m_dir.File("users")), {}), 1) << "no temporary left";
}

TEST_F(Accounts, AClearPasswordLogsOnAndIsRewrittenWithItsHash) {
  const UserDatabase& database = m_database;
  m_dir.Write("users/tom", "secret\n1000\n1.1.1.1\n");
  EXPECT_EQ(CheckAccount(database, "2.2.2.2", "Tom", "wrong", ""), -2);
  EXPECT_EQ(m_dir.Read("users/tom"), "secret\n1000\n1.1.1.1\n") << "a failed check writes nothing";
  EXPECT_EQ(CheckAccount(database, "2.2.2.2", "Tom", "Secret", ""), -2) << "passwords keep their case";
  EXPECT_EQ(CheckAccount(database, "2.2.2.2", "Tom", "secret", ""), 1);
  const std::string file = m_dir.Read("users/tom");
  EXPECT_TRUE(VerifyPassword(StoredPassword("tom"), "secret")) << file;
  EXPECT_EQ(file.find("\n1000\n"), std::string::npos);
  EXPECT_EQ(file.substr(file.size() - 8), "2.2.2.2\n");
  const std::string hashed = StoredPassword("tom");
  EXPECT_EQ(CheckAccount(database, "4.4.4.4", "tom", "secret", ""), 1);
  EXPECT_EQ(StoredPassword("tom"), hashed) << "a hashed account keeps its hash at logon";
  EXPECT_EQ(CheckAccount(database, "100.200.100.200", "tom", "secret", ""), 1);
  EXPECT_EQ(CheckAccount(database, "5.5.5.5", "tom", "secret", ""), 1);
  const std::string relogged = m_dir.Read("users/tom");
  EXPECT_EQ(std::count(relogged.begin(), relogged.end(), '\n'), 3) << relogged;
  EXPECT_EQ(relogged.substr(relogged.size() - 9), "\n5.5.5.5\n") << "a shorter address leaves nothing of the longer one";
  EXPECT_EQ(CheckAccount(database, "3.3.3.3", "tom", "secret", "newpass"), 1);
  EXPECT_TRUE(VerifyPassword(StoredPassword("tom"), "newpass"));
  EXPECT_EQ(CheckAccount(database, "x", "tom", "secret", ""), -2);
  EXPECT_EQ(CheckAccount(database, "x", "", "secret", ""), -2);
  EXPECT_EQ(CheckAccount(database, "x", "tom", "", ""), -2);
  EXPECT_EQ(CheckAccount(database, "x", "nobody", "pw", ""), -2);
}

TEST_F(Accounts, ZeroOrMissingTimestampIsNoAccount) {
  const UserDatabase& database = m_database;
  m_dir.Write("users/zero", "secret\n0\n1.1.1.1\n");
  m_dir.Write("users/word", "secret\nabc\n");
  m_dir.Write("users/short", "secret\n");
  for (const char* name : {"zero", "word", "short"}) {
    EXPECT_EQ(CheckAccount(database, "x", name, "secret", ""), -2) << name;
  }
  EXPECT_EQ(CreateAccount(database, "zero", "fresh", "9.9.9.9"), 1) << "a dead file is overwritten";
  EXPECT_TRUE(VerifyPassword(StoredPassword("zero"), "fresh"));
}

TEST_F(Accounts, EightyByteLineReaderForClearPasswords) {
  const UserDatabase& database = m_database;
  const std::string fits(78, 'p');
  m_dir.Write("users/fits", fits + "\r\n1000\r\n1.1.1.1\r\n");  // Windows line ends read as text
  EXPECT_EQ(CheckAccount(database, "x", "fits", fits, ""), 1);
  const std::string tooLong(79, 'p');
  m_dir.Write("users/long", tooLong + "\n1000\n");
  EXPECT_EQ(CheckAccount(database, "x", "long", tooLong, ""), -2) << "the 80-byte reader cuts it";
}

// The security data (lines 4 to 7) stays with the account whatever the
// length of the addresses its logons write before it, and through a change
// of password; the answer is kept as its hash.
TEST_F(Accounts, SecurityDataStaysThroughLogonsAndPasswordChanges) {
  const UserDatabase& database = m_database;
  EXPECT_EQ(CreateAccount(database, "Tom", "secret", "1.1.1.1", {"tom@x", "1990", "猫叫什么?", "咪咪"}), 1);
  for (const char* address : {"1.1.1.2", "100.200.100.200", "5.5.5.5"}) {
    EXPECT_EQ(CheckAccount(database, address, "tom", "secret", ""), 1) << address;
  }
  EXPECT_EQ(CheckAccount(database, "::1", "tom", "secret", "newpass"), 1);
  const std::string file = m_dir.Read("users/tom");
  EXPECT_EQ(std::count(file.begin(), file.end(), '\n'), 7) << file;
  EXPECT_NE(file.find("\n::1\ntom@x\n1990\n猫叫什么?\n$argon2id$"), std::string::npos) << file;
  EXPECT_EQ(HintQuestion(Prefix(), "TOM"), "猫叫什么?");

  struct Case {
    SecurityData given;
    std::string password;
    int result;
  } cases[] = {
      {{"tom@x", "1990", "", "狗狗"}, "fresh", -2},
      {{"tom@X", "1990", "", "咪咪"}, "fresh", -2},
      {{"tom@x", "1991", "", "咪咪"}, "fresh", -2},
      {{"tom@x", "1990", "", "咪咪"}, "", -2},
      {{"tom@x", "1990", "", "咪咪"}, "two\nlines", -2},
      {{"tom@x", "1990", "", "咪咪"}, "fresh", 1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(RecoverAccount(database, "2.2.2.2", "tom", c.given, c.password), c.result) << c.given.answer;
  }
  EXPECT_EQ(CheckAccount(database, "x", "tom", "fresh", ""), 1);
  EXPECT_EQ(CheckAccount(database, "x", "tom", "newpass", ""), -2);
}

// Older files: three lines cannot recover; security data written by hand,
// with Windows line ends and the answer in clear, recovers.
TEST_F(Accounts, OlderFilesAndHandWrittenSecurityData) {
  const UserDatabase& database = m_database;
  m_dir.Write("users/old", "secret\n1000\n1.1.1.1\n");
  m_dir.Write("users/hand", "secret\r\n1000\r\n1.1.1.1\r\nh@x\r\n1990\r\npet?\r\ncat\r\n");
  EXPECT_EQ(HintQuestion(Prefix(), "old"), "");
  EXPECT_EQ(RecoverAccount(database, "x", "old", {"", "", "", ""}, "fresh"), -2);
  EXPECT_EQ(HintQuestion(Prefix(), "hand"), "pet?");
  EXPECT_EQ(RecoverAccount(database, "x", "hand", {"h@x", "1990", "", "cat"}, "fresh"), 1);
  EXPECT_EQ(CheckAccount(database, "x", "hand", "fresh", ""), 1);
  EXPECT_EQ(HintQuestion(Prefix(), "hand"), "pet?");
}

TEST_F(Accounts, NamesThatWouldLeaveTheDirectoryAreNoAccounts) {
  const UserDatabase& database = m_database;
  m_dir.Write("secret", "pw\n1000\n");
  for (const char* name : {"../secret", "..", ".", "a/b", "a\\b"}) {
    EXPECT_FALSE(IsSafeAccountName(name)) << name;
    EXPECT_EQ(CheckAccount(database, "x", name, "pw", ""), -2) << name;
    EXPECT_EQ(CreateAccount(database, name, "pw", "x"), 0) << name;
  }
  EXPECT_FALSE(std::filesystem::exists(m_dir.File("users/..")) && std::filesystem::exists(m_dir.File("b")));
}

// Only single-byte ASCII letters fold: characters whose trail bytes are
// 'A' and 'a' are two accounts, in two files, each with its own password.
TEST_F(Accounts, CharactersDifferingInTheirTrailAreTwoAccounts) {
  const UserDatabase& database = m_database;
  EXPECT_EQ(CreateAccount(database, kUp, "first", "x"), 1);
  EXPECT_EQ(CreateAccount(database, kOther, "second", "x"), 1) << "not taken by the other character";
  EXPECT_EQ(CheckAccount(database, "x", kUp, "second", ""), -2);
  EXPECT_EQ(CheckAccount(database, "x", kOther, "first", ""), -2);
  EXPECT_EQ(CheckAccount(database, "x", kUp, "first", ""), 1);
  EXPECT_EQ(CheckAccount(database, "x", kOther, "second", ""), 1);
  EXPECT_TRUE(VerifyPassword(StoredPassword(kUp), "first"));
  EXPECT_TRUE(VerifyPassword(StoredPassword(kOther), "second"));

  EXPECT_EQ(CreateAccount(database, "Tom" + kChina + kSincere, "pw", "x"), 1) << "a trail '\\' names no folder";
  EXPECT_EQ(CheckAccount(database, "x", "tOM" + kChina + kSincere, "pw", ""), 1);
  EXPECT_TRUE(std::filesystem::exists(Prefix() + "tom" + kChina + kSincere));
}

// Simultaneous creations of one new name, also over a file that is no
// account: exactly one is told it was created, and its password is stored.
TEST_F(Accounts, OfSimultaneousCreationsOfOneNameExactlyOneWins) {
  constexpr int kRacers = 8;
  for (const bool overDeadFile : {false, true}) {
    const std::string name = overDeadFile ? "dead" : "fresh";
    if (overDeadFile) m_dir.Write("users/dead", "old\n0\n1.1.1.1\n");
    std::vector<int> results(kRacers);
    std::vector<std::thread> racers;
    for (int i = 0; i < kRacers; ++i) {
      racers.emplace_back([&, i] { results[i] = CreateAccount(m_database, name, "pw" + std::to_string(i), "x"); });
    }
    for (std::thread& racer : racers) racer.join();
    ASSERT_EQ(std::count(results.begin(), results.end(), 1), 1) << name;
    const int winner = static_cast<int>(std::find(results.begin(), results.end(), 1) - results.begin());
    EXPECT_TRUE(VerifyPassword(StoredPassword(name), "pw" + std::to_string(winner))) << name;
  }
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(m_dir.File("users")), {}), 2) << "no temporary left";
}

TEST(RegistrationNames, RulesDifferByPath) {
  struct Case {
    std::string name;
    bool local;
    bool nodeLink;
  } cases[] = {
      {"tom", false, false},
      {"a b", true, true},
      {"a#b", true, false},
      {"a+b", false, true},
      {"a\tb", true, true},
      {"a:b", true, true},
      {"a'b", true, true},
      {"a%b", true, true},
      {"a&b", true, true},
      {"a\x7f", true, true},
      {"a\x80", true, true},
      {"a\xff", true, true},
      {"大家", true, true},
      {"大家好", false, false},
      {"★星", true, true},
      {"☆", true, true},
      {"\xA1\xA1\xEE\xB0", true, true},  // 0xA1 and 0xEE from two characters
      {"../x", true, false},
      // Trail bytes are no ASCII characters: D5 5C ('\\'), AC 7C ('|'), C8 41 ('A').
      {kSincere, false, false},
      {"a" + kJade + kChina, false, false},
      {kSincere + "\\", true, true},
      {"a\x95", true, true},  // a lead byte without its trail is no character
      {"\x95 ", true, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(BreaksNameRules(c.name, NameRules::kLocal), c.local) << c.name;
    EXPECT_EQ(BreaksNameRules(c.name, NameRules::kNodeLink), c.nodeLink) << c.name;
  }
}

TEST(LogonNames, SingleByteCharactersAreTestedNotTrailBytes) {
  for (const std::string& name : std::vector<std::string>{kSincere, "tom", kJade + kChina, kUp, "\x82\x80"}) {
    EXPECT_TRUE(IsAcceptableLogonName(name)) << name;
  }
  for (const std::string& name :
       std::vector<std::string>{"", "a b", "a\\b", kSincere + "'", "a\x80", "a\xFF", "a\x95", "\x95:"}) {
    EXPECT_FALSE(IsAcceptableLogonName(name)) << name;
  }
}

TEST(SessionIds, TwoBase36NumbersOfUpToThirteenCharacters) {
  EXPECT_EQ(ToBase36(0), "0");
  EXPECT_EQ(ToBase36(35), "z");
  EXPECT_EQ(ToBase36(36), "10");
  std::set<std::string> seen;
  for (int i = 0; i < 2000; ++i) {
    const std::string id = MakeSessionId();
    EXPECT_GE(id.size(), 2u);
    EXPECT_LE(id.size(), 13u);
    EXPECT_EQ(id.find_first_not_of("0123456789abcdefghijklmnopqrstuvwxyz"), std::string::npos);
    seen.insert(id);
  }
  EXPECT_EQ(seen.size(), 2000u);
}

}  // namespace
