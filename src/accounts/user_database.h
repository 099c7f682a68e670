// The account files: one small text file per user in the [user_database]
// directory, of three lines: the password's hash, the time of the last
// successful check and the address of the last client. An account that
// keeps data for recovering a forgotten password has four lines more: the
// e-mail address, the birthday, the hint question and the hash of its
// answer. A file written before hashing holds the password itself on line
// 1; it still logs on, and that logon rewrites it with the hash. File names
// fold ASCII letters to lower case, so "Tom" and "tom" are one account.
#pragma once

#include <cstdint>
#include <string>

#include "accounts/password_hash.h"

inline constexpr size_t kAccountLineArea = 80;   // a clear password line is read through 80 bytes
inline constexpr size_t kMaxPasswordLength = 78;  // what that reader gives back whole
inline constexpr size_t kHashLineArea = 160;      // a hash line (about 100 bytes) is read through this many
inline constexpr size_t kSecurityFieldLimit = 78;  // bytes of an e-mail address, a birthday or an answer
inline constexpr size_t kHintQuestionLimit = 49;   // bytes of a hint question: what the recovery form shows

// What recovers a forgotten password: the e-mail address, the birthday, the
// hint question and its answer. All optional; an account recovers only
// with a question and an answer.
struct SecurityData {
  std::string email;
  std::string birthday;
  std::string question;
  std::string answer;  // as typed; in a UserRecord, its hash
  bool Empty() const { return email.empty() && birthday.empty() && question.empty() && answer.empty(); }
  bool CanRecover() const { return !question.empty() && !answer.empty(); }
};

struct UserRecord {
  virtual ~UserRecord() = default;
  std::string name;
  std::string password;  // line 1 as stored: a hash, or the password of an older file
  std::int32_t timestamp = 0;  // seconds; 0 means no account
  std::string address;
  SecurityData security;  // lines 4 to 7; none in a file without them
  size_t headLength = 0;  // bytes of lines 1 to 3 in the file as read

  // Stores the password's hash and stamps the record with the current time;
  // false (the record unchanged) when hashing failed.
  bool SetPassword(const std::string& text, const HashCost& cost);
  // Checks against the stored hash (refused above the ceiling of the
  // configured cost, see password_hash.h), or byte for byte against a
  // password stored in clear; stamps the record with the current time
  // either way.
  bool CheckPassword(const std::string& text, const HashCost& configured);
  bool StoredInClear() const { return !IsPasswordHash(password); }
};

struct UserDatabase {
  UserDatabase(std::string directoryPrefix, HashCost hashCost)
      : directory(std::move(directoryPrefix)), cost(hashCost) {}
  virtual ~UserDatabase() = default;
  std::string directory;  // a prefix: the file path is prefix + folded name
  HashCost cost;          // of the hashes it stores
};

// The account directory and hash cost [user_database] names, as the
// settings read now give them.
UserDatabase ConfiguredUserDatabase();

// A name that names a file inside the account directory: not empty, no
// '/', '\\' or NUL, and not "." or "..".
bool IsSafeAccountName(const std::string& name);
// A password the account file's 80-byte line reader would give back whole
// (at most 78 bytes, no line end): the only passwords an account may have.
bool IsStorablePassword(const std::string& password);
// Security data an account may keep: each field one line within its limit,
// and a question only with an answer, an answer only with a question.
bool IsStorableSecurityData(const SecurityData& data);
std::string AccountPath(const std::string& directory, const std::string& name);

bool LoadUser(UserRecord& record, const std::string& directory, const std::string& name);

inline constexpr int kAccountCreated = 1;
inline constexpr int kAccountNameTaken = 0;
// A file could not be made or written (a full disk, no permission, no
// descriptor left), or hashing failed; the console has said why. The same
// number as "no answer" from a peer node.
inline constexpr int kAccountWriteFailed = -1;

// kAccountCreated when a new account was stored, kAccountNameTaken when the
// name is taken, kAccountWriteFailed. Of simultaneous creations of one name
// exactly one stores its file. The security data's answer is stored as its hash.
int CreateAccount(const UserDatabase& database, const std::string& name, const std::string& password,
                  const std::string& address, const SecurityData& security = {});
// Gives the account this password, made when it is missing, on disk before
// it returns (the operator's command; no old password is asked). False,
// with errno set, when the file cannot be written.
bool SetAccountPassword(const UserDatabase& database, const std::string& name, const std::string& password);
// 1 on success, -2 for no such account or a wrong password (both after one
// hash at the database's cost), kAccountWriteFailed when a new password
// could not be stored. With an empty new password it only verifies and
// records the address (what logon uses).
int CheckAccount(const UserDatabase& database, const std::string& address, const std::string& name,
                 const std::string& password, const std::string& newPassword);

// The account's hint question; "" when there is no such account or it keeps
// no question and answer.
std::string HintQuestion(const std::string& directory, const std::string& name);
// A forgotten password replaced: 1 when the account can recover, the given
// e-mail address and birthday are the stored ones and the answer matches
// (the given question is not looked at), and the new password is stored;
// kAccountWriteFailed when it could not be stored; -2 otherwise, also for
// an empty new password or one no account may have.
int RecoverAccount(const UserDatabase& database, const std::string& address, const std::string& name,
                   const SecurityData& given, const std::string& newPassword);
