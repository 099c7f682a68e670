// The account files: one small text file per user in the [user_database]
// directory, holding the password, the time of the last successful check
// and the address of the last client. File names fold ASCII letters to lower
// case, so "Tom" and "tom" are one account.
#pragma once

#include <ctime>
#include <string>

inline constexpr size_t kAccountLineArea = 80;   // each line is read through 80 bytes
inline constexpr size_t kMaxPasswordLength = 78;  // what that reader gives back whole

struct UserRecord {
  virtual ~UserRecord() = default;
  std::string name;
  std::string password;
  std::int32_t timestamp = 0;  // seconds; 0 means no account
  std::string address;

  // Setting or checking a password stamps the record with the current time.
  void SetPassword(const std::string& text);
  bool CheckPassword(const std::string& text);
};

struct UserDatabase {
  explicit UserDatabase(std::string directoryPrefix) : directory(std::move(directoryPrefix)) {}
  virtual ~UserDatabase() = default;
  std::string directory;  // a prefix: the file path is prefix + folded name
};

// A name that names a file inside the account directory: not empty, no
// '/', '\\' or NUL, and not "." or "..".
bool IsSafeAccountName(const std::string& name);
std::string AccountPath(const std::string& directory, const std::string& name);

bool LoadUser(UserRecord& record, const std::string& directory, const std::string& name);
// Writes to a temporary file beside the account and renames it over the old
// one, so a crash never leaves a half-written account.
bool SaveUser(const UserRecord& record, const std::string& directory);

// 1 when a new account was stored; 0 when the name is taken or the write failed.
int CreateAccount(const UserDatabase& database, const std::string& name, const std::string& password,
                  const std::string& address);
// 1 on success, -2 on failure. With an empty new password it only verifies
// and records the address (what logon uses).
int CheckAccount(const UserDatabase& database, const std::string& address, const std::string& name,
                 const std::string& password, const std::string& newPassword);
