#include "accounts/user_database.h"

#include <sys/file.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>

#include "foundation/file.h"
#include "foundation/settings.h"
#include "foundation/text.h"
#include "foundation/whole_file.h"
#include "platform/clock.h"
#include "platform/console.h"
#include "platform/unique_fd.h"

namespace {

constexpr mode_t kAccountMode = 0600;  // readable by the server's user only
// A creation that keeps finding its name's file replaced by other
// creations gives up after this many rounds.
constexpr int kCreationRounds = 4;

// A write the user is told failed: the console says which file and why.
void SayWriteFailed(const char* step, const std::string& path, int error) {
  platform::ConsolePrintf("Can't %s account file %s: %s\n", step, path.c_str(), std::strerror(error));
}

// Lines 1 to 3: the password, the time and the address.
std::string HeadText(const UserRecord& record) {
  return record.password + "\n" + std::to_string(record.timestamp) + "\n" + record.address + "\n";
}

std::string AccountText(const UserRecord& record) {
  const SecurityData& security = record.security;
  if (security.Empty()) return HeadText(record);
  return HeadText(record) + security.email + "\n" + security.birthday + "\n" + security.question + "\n" +
         security.answer + "\n";
}

// One whole line without its line end ("\r\n" or "\n"); bytes past the
// limit are dropped, so a long line never spills into the next. False at
// the end of the file.
bool ReadWholeLine(std::FILE* file, std::string& line, size_t limit) {
  line.clear();
  int c = std::getc(file);
  if (c == EOF) return false;
  for (; c != EOF && c != '\n'; c = std::getc(file)) {
    if (line.size() < limit) line.push_back(static_cast<char>(c));
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return true;
}

// Lines 4 to 7 of an open account file, when it has them.
void ReadSecurityData(std::FILE* file, SecurityData& security) {
  std::string lines[4];
  for (std::string& line : lines) {
    if (!ReadWholeLine(file, line, kHashLineArea)) return;  // an older file: no security data
  }
  security = SecurityData{lines[0], lines[1], lines[2], lines[3]};
}

// An open account file; true when it is an account. Lines 1 and 2 are read
// as they always were; the address and the security data after them.
bool ReadAccount(std::FILE* file, UserRecord& record) {
  std::string line;
  ReadTextPiece(file, line, kHashLineArea);
  if (!IsPasswordHash(line)) {
    // A password in clear is read as it always was: through 80 bytes.
    std::rewind(file);
    ReadTextPiece(file, line, kAccountLineArea);
  }
  record.password = line.substr(0, line.find('\n'));
  ReadTextPiece(file, line, kAccountLineArea);
  record.timestamp = static_cast<std::int32_t>(std::strtol(line.c_str(), nullptr, 10));
  ReadWholeLine(file, record.address, kAccountLineArea);
  const long head = std::ftell(file);
  record.headLength = head > 0 ? static_cast<size_t>(head) : 0;
  ReadSecurityData(file, record.security);
  return record.timestamp != 0;
}

// The account's file written beside its name, not yet named; the account
// directory is made when it is missing. It is not flushed here: a write
// that must be on disk before its answer (a new account, a new password)
// waits for the group commit of the account work (account_work.h), and a
// logon's rewrite loses nothing that matters.
std::unique_ptr<CPendingFile> WriteAccountFile(const UserRecord& record, const std::string& directory,
                                               Durability durability = Durability::kBestEffort) {
  const std::string path = AccountPath(directory, record.name);
  auto file = std::make_unique<CPendingFile>(path, AccountText(record), kAccountMode, durability);
  if (*file || errno != ENOENT) return file;
  std::error_code ignored;
  const std::filesystem::path parent = std::filesystem::path(path).parent_path();
  if (!parent.empty()) std::filesystem::create_directories(parent, ignored);
  return std::make_unique<CPendingFile>(path, AccountText(record), kAccountMode, durability);
}

// Replaces the account file whole (see foundation/whole_file.h); a failure
// is said on the console.
bool SaveUser(const UserRecord& record, const std::string& directory) {
  if (record.name.empty() || record.password.empty() || record.timestamp == 0 || !IsSafeAccountName(record.name)) {
    return false;
  }
  const std::string path = AccountPath(directory, record.name);
  const std::unique_ptr<CPendingFile> file = WriteAccountFile(record, directory);
  if (!*file) {
    SayWriteFailed("write", path, errno);
    return false;
  }
  if (!file->Replace()) {
    SayWriteFailed("replace", path, errno);
    return false;
  }
  return true;
}

enum class TakenName { kReplaced, kLiveAccount, kChangedMeanwhile, kFailed };

// The name is taken by a file: the new account replaces it only when it is
// no account (its line 2 reads 0). The old file stays locked while it is
// read and replaced; when it lost its name meanwhile (another creation
// replaced it first), the caller tries again.
TakenName ReplaceIfNoAccount(CPendingFile& account, const std::string& path) {
  UniqueFile file = OpenFile(path, "rb");
  if (!file) return errno == ENOENT ? TakenName::kChangedMeanwhile : TakenName::kFailed;
  const int fd = ::fileno(file.get());
  if (::flock(fd, LOCK_EX) != 0) return TakenName::kFailed;
  struct stat held{};
  struct stat named{};
  if (::fstat(fd, &held) != 0 || ::stat(path.c_str(), &named) != 0 || held.st_ino != named.st_ino ||
      held.st_dev != named.st_dev) {
    return TakenName::kChangedMeanwhile;
  }
  UserRecord existing;
  if (ReadAccount(file.get(), existing)) return TakenName::kLiveAccount;
  return account.Replace() ? TakenName::kReplaced : TakenName::kFailed;
}

// Stores a new account's file under a name no account has: of simultaneous
// creations of one name, exactly one succeeds. A file that cannot be made or
// written is said on the console and is no taken name.
int StoreNewAccount(const UserRecord& record, const std::string& directory) {
  const std::string path = AccountPath(directory, record.name);
  const std::unique_ptr<CPendingFile> account = WriteAccountFile(record, directory);
  if (!*account) {
    SayWriteFailed("write", path, errno);
    return kAccountWriteFailed;
  }
  for (int round = 0; round < kCreationRounds; ++round) {
    if (account->Create()) return kAccountCreated;
    if (errno != EEXIST) {
      SayWriteFailed("name", path, errno);
      return kAccountWriteFailed;
    }
    switch (ReplaceIfNoAccount(*account, path)) {
      case TakenName::kReplaced:
        return kAccountCreated;
      case TakenName::kChangedMeanwhile:
        continue;
      case TakenName::kLiveAccount:
        return kAccountNameTaken;
      case TakenName::kFailed:
        SayWriteFailed("replace", path, errno);
        return kAccountWriteFailed;
    }
  }
  return kAccountNameTaken;  // other creations of the name kept coming first
}

// A logon's new time and address, written over the file in place: its
// first line (the hash) is the same bytes as before, so no crash, not even
// a write torn by a power cut, can spoil it; the time keeps its length, and
// the address is only shown, never checked. The security data after the
// address keeps its bytes and places only when lines 1 to 3 keep their
// length; otherwise the file is replaced whole. Saves the temporary file
// and the rename (metadata work that made up most of a logon's cost).
void RecordLogon(const UserRecord& record, const std::string& directory) {
  if (!record.security.Empty() && HeadText(record).size() != record.headLength) {
    SaveUser(record, directory);
    return;
  }
  platform::CUniqueFd fd(::open(AccountPath(directory, record.name).c_str(), O_WRONLY | O_CLOEXEC));
  const std::string text = AccountText(record);
  if (fd && ::pwrite(fd.Get(), text.data(), text.size(), 0) == static_cast<ssize_t>(text.size()) &&
      ::ftruncate(fd.Get(), static_cast<off_t>(text.size())) == 0) {
    return;
  }
  SaveUser(record, directory);
}

// The answer to the hint question is kept like a password: as its hash.
// False when hashing failed.
bool HashAnswer(SecurityData& security, const HashCost& cost) {
  if (security.answer.empty()) return true;
  security.answer = HashPassword(security.answer, cost);
  return !security.answer.empty();
}

// One line of security data the account file can give back.
bool IsStorableField(const std::string& field, size_t limit) {
  if (field.size() > limit) return false;
  for (char c : field) {
    if (static_cast<unsigned char>(c) < 0x20) return false;  // no line end, no control byte
  }
  return true;
}

}  // namespace

bool UserRecord::SetPassword(const std::string& text, const HashCost& cost) {
  std::string hash = HashPassword(text, cost);
  if (hash.empty()) return false;
  password = std::move(hash);
  timestamp = static_cast<std::int32_t>(platform::Now());
  return true;
}

bool UserRecord::CheckPassword(const std::string& text, const HashCost& configured) {
  timestamp = static_cast<std::int32_t>(platform::Now());
  return MatchesStored(password, text, configured, name);
}

UserDatabase ConfiguredUserDatabase() { return UserDatabase(GetSetting("user_database", "directory"), ReadHashCost()); }

bool IsSafeAccountName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && !HasSingleByteOf(name, std::string_view("/\\\0", 3));
}

bool IsStorablePassword(const std::string& password) {
  return password.size() <= kMaxPasswordLength && password.find_first_of("\r\n") == std::string::npos;
}

bool IsStorableSecurityData(const SecurityData& data) {
  return IsStorableField(data.email, kSecurityFieldLimit) && IsStorableField(data.birthday, kSecurityFieldLimit) &&
         IsStorableField(data.question, kHintQuestionLimit) && IsStorableField(data.answer, kSecurityFieldLimit) &&
         data.question.empty() == data.answer.empty();
}

std::string AccountPath(const std::string& directory, const std::string& name) { return directory + AsciiLower(name); }

bool LoadUser(UserRecord& record, const std::string& directory, const std::string& name) {
  if (name.empty() || !IsSafeAccountName(name)) return false;
  UniqueFile file = OpenFile(AccountPath(directory, name), "rb");
  if (!file) return false;
  record.name = name;
  return ReadAccount(file.get(), record);
}

int CreateAccount(const UserDatabase& database, const std::string& name, const std::string& password,
                  const std::string& address, const SecurityData& security) {
  try {
    UserRecord record;
    // A taken name is told before any hashing.
    if (LoadUser(record, database.directory, name) || !IsSafeAccountName(name)) return kAccountNameTaken;
    record = UserRecord();
    record.name = name;
    record.address = address;
    record.security = security;
    if (!record.SetPassword(password, database.cost) || !HashAnswer(record.security, database.cost)) {
      platform::ConsolePrintf("Can't hash the password of new account %s (out of memory)\n", name.c_str());
      return kAccountWriteFailed;
    }
    return StoreNewAccount(record, database.directory);
  } catch (const std::exception& error) {
    platform::ConsolePrintf("Can't create account %s: %s\n", name.c_str(), error.what());
    return kAccountWriteFailed;
  }
}

bool SetAccountPassword(const UserDatabase& database, const std::string& name, const std::string& password) {
  UserRecord record;
  record.name = name;
  if (!IsSafeAccountName(name) || !record.SetPassword(password, database.cost)) {
    errno = EINVAL;
    return false;
  }
  const std::unique_ptr<CPendingFile> file = WriteAccountFile(record, database.directory, Durability::kDurable);
  return *file && file->Replace();
}

int CheckAccount(const UserDatabase& database, const std::string& address, const std::string& name,
                 const std::string& password, const std::string& newPassword) {
  if (name.empty() || password.empty()) return -2;
  UserRecord record;
  if (!LoadUser(record, database.directory, name)) {
    // No such account costs what a wrong password costs: the time of the
    // answer does not tell whether the name has an account.
    HashPassword(password, database.cost);
    return -2;
  }
  const bool storedInClear = record.StoredInClear();
  if (!record.CheckPassword(password, database.cost)) return -2;
  record.address = address;
  if (!newPassword.empty()) {
    if (!record.SetPassword(newPassword, database.cost)) return kAccountWriteFailed;
    return SaveUser(record, database.directory) ? 1 : kAccountWriteFailed;
  }
  // A file from before hashing keeps the hash from now on (when hashing
  // fails, the password stays as it was and the logon still succeeds).
  if (storedInClear && record.SetPassword(password, database.cost)) {
    // Lost in a power cut, the file keeps its clear password and still logs on.
    SaveUser(record, database.directory);
    return 1;
  }
  RecordLogon(record, database.directory);
  return 1;
}

std::string HintQuestion(const std::string& directory, const std::string& name) {
  UserRecord record;
  if (!LoadUser(record, directory, name) || !record.security.CanRecover()) return std::string();
  return record.security.question;
}

int RecoverAccount(const UserDatabase& database, const std::string& address, const std::string& name,
                   const SecurityData& given, const std::string& newPassword) {
  if (newPassword.empty() || !IsStorablePassword(newPassword)) return -2;
  UserRecord record;
  if (!LoadUser(record, database.directory, name) || !record.security.CanRecover()) return -2;
  const SecurityData& stored = record.security;
  // The answer is checked even when the rest is wrong: the time taken tells nothing.
  const bool answerMatches = MatchesStored(stored.answer, given.answer, database.cost, name);
  if (!answerMatches || given.email != stored.email || given.birthday != stored.birthday) return -2;
  if (!record.SetPassword(newPassword, database.cost)) return kAccountWriteFailed;
  record.address = address;
  return SaveUser(record, database.directory) ? 1 : kAccountWriteFailed;
}
