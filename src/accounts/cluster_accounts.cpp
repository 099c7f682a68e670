#include "accounts/cluster_accounts.h"

#include <map>

#include "accounts/node_answer.h"
#include "foundation/text.h"
#include "platform/clock.h"

namespace {

constexpr int kDefaultLevel = 1;

// Creates the account unless the name is taken: 1 or 0. The security data
// (ARGV[5] to ARGV[8]) is kept where it was given.
constexpr const char* kCreateAccount = R"lua(
if redis.call('EXISTS', ARGV[1]) == 1 then return 0 end
redis.call('HSET', ARGV[1], 'name', ARGV[2], 'pw', ARGV[3], 'time', ARGV[4])
local fields = {'email', 'birthday', 'question', 'answer'}
for i, field in ipairs(fields) do
  if ARGV[4 + i] ~= '' then redis.call('HSET', ARGV[1], field, ARGV[4 + i]) end
end
return 1
)lua";

// Replaces the password hash if it is still the one that was checked: 1 or -2.
constexpr const char* kReplacePassword = R"lua(
if redis.call('HGET', ARGV[1], 'pw') ~= ARGV[2] then return -2 end
redis.call('HSET', ARGV[1], 'pw', ARGV[3], 'time', ARGV[4])
return 1
)lua";

using Account = std::map<std::string, std::string>;

std::string Now() { return std::to_string(platform::Now()); }

// The account's hash in Redis; names fold as the account files fold them.
std::string AccountKey(const CRedisCalls& redis, const std::string& name) {
  return redis.Key("account:" + AsciiLower(name));
}

class CAccountAnswers {
 public:
  CAccountAnswers(const ParsedRecord& request, CRedisCalls& redis, const HashCost& cost)
      : m_request(request), m_redis(redis), m_cost(cost), m_name(request.Get("UN")), m_key(AccountKey(redis, m_name)) {}

  std::optional<RequestAnswer> Answer() {
    const std::string& type = m_request.type;
    if (m_name.empty()) return RequestAnswer{type == "RG" ? kNodeAnswerNameTaken : kNodeAnswerRefused, ""};
    if (!SettleKey()) return std::nullopt;
    if (type == "LG") return Logon();
    if (type == "RG") return Register();
    if (type == "CP") return ChangePassword();
    if (type == "CP1") return Question();
    if (type == "CP2") return Recover();
    return RequestAnswer{kNodeAnswerFailed, ""};
  }

 private:
  std::string KeyOf(const std::string& name) const { return AccountKey(m_redis, name); }

  // The name an account stores; "" when there is none; none when Redis failed.
  std::optional<std::string> StoredName(const std::string& key) {
    const std::optional<RedisValue> reply = m_redis.Call({"HGET", key, "name"});
    if (!reply || reply->IsError()) return std::nullopt;
    return reply->AsText();
  }

  // Moves an account to a key no account holds; false when Redis failed.
  // (An error reply means another node moved it first.)
  bool Move(const std::string& from, const std::string& to) { return m_redis.Call({"RENAMENX", from, to}).has_value(); }

  // An account whose key was made by the older folding (a trail byte from
  // 'A' to 'Z' lowered: C8 41 was kept under C8 61) moves to its own
  // key when either name next asks: the name it stores says whose it is.
  // False when Redis failed.
  bool SettleKey() {
    const std::optional<std::string> held = StoredName(m_key);
    if (!held) return false;
    if (!held->empty() && !EqualsFolded(*held, m_name) && !Move(m_key, KeyOf(*held))) return false;
    const std::string olderKey = m_redis.Key("account:" + LowerEveryByte(m_name));
    if (olderKey == m_key) return true;
    const std::optional<std::string> older = StoredName(olderKey);
    if (!older) return false;
    return !EqualsFolded(*older, m_name) || Move(olderKey, m_key);
  }

  // The account's fields; none when Redis failed. An empty map: no account
  // (nor is another name's account that could not be moved off this key).
  std::optional<Account> Load() {
    const std::optional<RedisValue> reply = m_redis.Call({"HGETALL", m_key});
    if (!reply || reply->IsError()) return std::nullopt;
    Account account;
    for (auto& [field, value] : reply->AsPairs()) account[field] = value;
    const auto name = account.find("name");
    if (name != account.end() && !EqualsFolded(name->second, m_name)) return Account();
    return account;
  }

  // Without an account, a hash at the configured cost all the same: the
  // time of the answer does not tell whether the name has an account.
  bool Matches(const Account& account, const std::string& password) const {
    const auto stored = account.find("pw");
    if (stored == account.end()) {
      HashPassword(password, m_cost);
      return false;
    }
    return VerifyPassword(stored->second, password, m_cost, m_request.Get("UN"));
  }

  static std::string Field(const Account& account, const char* name) {
    const auto found = account.find(name);
    return found != account.end() ? found->second : std::string();
  }

  std::optional<RequestAnswer> Status(const std::optional<RedisValue>& reply) {
    if (!reply || reply->IsError()) return std::nullopt;
    return RequestAnswer{static_cast<int>(reply->integer), ""};
  }

  std::optional<RequestAnswer> Logon() {
    const std::optional<Account> account = Load();
    if (!account) return std::nullopt;
    if (!Matches(*account, m_request.Get("PW"))) return RequestAnswer{kNodeAnswerRefused, ""};
    if (!m_redis.Call({"HSET", m_key, "time", Now(), "ip", m_request.Get("IP")})) return std::nullopt;
    const std::string level = Field(*account, "level");
    return RequestAnswer{level.empty() ? kDefaultLevel : std::atoi(level.c_str()), ""};
  }

  std::optional<RequestAnswer> Register() {
    if (m_request.Get("PW").empty()) return RequestAnswer{kNodeAnswerNameTaken, ""};
    const std::string hash = HashPassword(m_request.Get("PW"), m_cost);
    if (hash.empty()) return RequestAnswer{kNodeAnswerFailed, ""};
    // The answer to the hint question is kept like a password: as its hash.
    std::string answer;
    if (!m_request.Get("AN").empty()) {
      answer = HashPassword(m_request.Get("AN"), m_cost);
      if (answer.empty()) return RequestAnswer{kNodeAnswerFailed, ""};
    }
    return Status(m_redis.Script(kCreateAccount, {m_key, m_request.Get("UN"), hash, Now(), m_request.Get("EM"),
                                                  m_request.Get("BD"), m_request.Get("HQ"), answer}));
  }

  // The new password in place of the checked one.
  std::optional<RequestAnswer> Replace(const Account& account, const std::string& password) {
    if (password.empty()) return RequestAnswer{kNodeAnswerRefused, ""};
    const std::string hash = HashPassword(password, m_cost);
    if (hash.empty()) return RequestAnswer{kNodeAnswerFailed, ""};
    return Status(m_redis.Script(kReplacePassword, {m_key, Field(account, "pw"), hash, Now()}));
  }

  std::optional<RequestAnswer> ChangePassword() {
    const std::optional<Account> account = Load();
    if (!account) return std::nullopt;
    if (!Matches(*account, m_request.Get("PWO"))) return RequestAnswer{kNodeAnswerRefused, ""};
    return Replace(*account, m_request.Get("PWN"));
  }

  std::optional<RequestAnswer> Question() {
    const std::optional<Account> account = Load();
    if (!account) return std::nullopt;
    const std::string question = Field(*account, "question");
    const bool canRecover = !question.empty() && !Field(*account, "answer").empty();
    return RequestAnswer{kNodeAnswerDone, canRecover ? question : kNoSecurityData};
  }

  std::optional<RequestAnswer> Recover() {
    const std::optional<Account> account = Load();
    if (!account) return std::nullopt;
    // An answer stored by registration is a hash; one stored by hand, the answer itself.
    const std::string answer = Field(*account, "answer");
    const bool right = !answer.empty() && MatchesStored(answer, m_request.Get("AN"), m_cost, m_request.Get("UN")) &&
                       Field(*account, "email") == m_request.Get("EM") &&
                       Field(*account, "birthday") == m_request.Get("BD");
    if (!right) return RequestAnswer{kNodeAnswerRefused, ""};
    return Replace(*account, m_request.Get("PW"));
  }

  const ParsedRecord& m_request;
  CRedisCalls& m_redis;
  const HashCost& m_cost;
  const std::string m_name;
  const std::string m_key;
};

}  // namespace

std::optional<RequestAnswer> AnswerFromAccounts(const ParsedRecord& request, CRedisCalls& redis, const HashCost& cost) {
  return CAccountAnswers(request, redis, cost).Answer();
}

bool SetClusterAccountPassword(CRedisCalls& redis, const std::string& name, const std::string& password,
                               const HashCost& cost) {
  const std::string hash = HashPassword(password, cost);
  if (hash.empty()) return false;
  const std::optional<RedisValue> reply =
      redis.Call({"HSET", AccountKey(redis, name), "name", name, "pw", hash, "time", Now()});
  return reply && !reply->IsError();
}
