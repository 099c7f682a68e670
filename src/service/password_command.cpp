#include "service/password_command.h"

#include <cerrno>
#include <cstring>
#include <optional>

#include "accounts/cluster_accounts.h"
#include "accounts/registration.h"
#include "accounts/super_manager.h"
#include "accounts/user_database.h"
#include "foundation/settings.h"
#include "nodelink/cluster_settings.h"
#include "nodelink/redis_connection.h"
#include "platform/console.h"
#include "platform/hidden_input.h"

namespace {

constexpr int kSet = 0;
constexpr int kRefused = 1;
constexpr int kUsage = 2;
constexpr int kRedisTimeoutMs = 5000;

// Redis for the one call the command makes.
class CRedisForCommand : public CRedisCalls {
 public:
  CRedisForCommand(CRedisConnection& redis, std::string prefix) : m_redis(redis), m_prefix(std::move(prefix)) {}
  std::string Key(std::string_view name) const override { return m_prefix + std::string(name); }
  std::optional<RedisValue> Call(const RedisArgs& args) override { return m_redis.Call(args); }
  std::optional<RedisValue> Script(std::string_view source, const RedisArgs& args) override {
    return m_redis.Script(source, args);
  }

 private:
  CRedisConnection& m_redis;
  const std::string m_prefix;
};

// A name an account may have: one registration takes, or the super manager's.
bool IsAccountName(const std::string& name) {
  const NameRules rules = NodeLinkOn() ? NameRules::kNodeLink : NameRules::kLocal;
  return IsSafeAccountName(name) && name.size() <= kMaxUserNameLength &&
         (IsSuperManagerAccount(name) || !BreaksNameRules(name, rules));
}

// The password, typed twice at a terminal; none when it was not given.
std::optional<std::string> ReadPassword(const std::string& name) {
  const std::string prompt = "Password for " + name + ": ";
  std::optional<std::string> password = platform::ReadHiddenLine(prompt.c_str());
  if (!password) {
    platform::ConsoleWrite("No password was given; nothing was changed.\n");
    return std::nullopt;
  }
  if (!platform::InputIsTerminal()) return password;
  const std::optional<std::string> again = platform::ReadHiddenLine("The same password again: ");
  if (again != password) {
    platform::ConsoleWrite("The two passwords differ; nothing was changed.\n");
    return std::nullopt;
  }
  return password;
}

int StoreInRedis(const std::string& name, const std::string& password) {
  const ClusterSettings cluster = ReadClusterSettings();
  if (cluster.redis.empty()) {
    platform::ConsoleWrite("The node link is on ([general] ifconnect) but [cluster] redis names no Redis, "
                           "where the accounts of linked nodes live: nothing was changed.\n");
    return kRefused;
  }
  CRedisConnection connection(cluster.redis, kRedisTimeoutMs);
  if (!connection.Connect()) {
    platform::ConsolePrintf("Cannot reach Redis at %s: %s\n", cluster.redis.c_str(), connection.LastError().c_str());
    return kRefused;
  }
  CRedisForCommand redis(connection, cluster.prefix);
  if (!SetClusterAccountPassword(redis, name, password, ReadHashCost())) {
    platform::ConsolePrintf("Cannot store the account in Redis at %s: %s\n", cluster.redis.c_str(),
                            connection.LastError().c_str());
    return kRefused;
  }
  platform::ConsolePrintf("The password of %s is set (Redis at %s).\n", name.c_str(), cluster.redis.c_str());
  return kSet;
}

int StoreInAccountFile(const std::string& name, const std::string& password) {
  const UserDatabase database = ConfiguredUserDatabase();
  const std::string path = AccountPath(database.directory, name);
  if (!SetAccountPassword(database, name, password)) {
    platform::ConsolePrintf("Cannot write %s: %s\n", path.c_str(), std::strerror(errno));
    return kRefused;
  }
  platform::ConsolePrintf("The password of %s is set (%s).\n", name.c_str(), path.c_str());
  return kSet;
}

}  // namespace

int RunPasswordCommand(const std::vector<std::string>& arguments) {
  if (arguments.size() != 1) {
    platform::ConsoleWrite("Usage: tolvanss -password NAME   (in the server's working directory)\n");
    return kUsage;
  }
  const std::string& name = arguments.front();
  if (FindFileOnPath(kIniFileName).empty()) {
    platform::ConsolePrintf("No %s here: run this in the server's working directory.\n", kIniFileName);
    return kRefused;
  }
  g_settings = LoadSettingsFile(kIniFileName);
  if (!IsAccountName(name)) {
    platform::ConsolePrintf("\"%s\" cannot be an account's name.\n", name.c_str());
    return kRefused;
  }
  const std::optional<std::string> password = ReadPassword(name);
  if (!password) return kRefused;
  if (password->empty() || !IsStorablePassword(*password)) {
    platform::ConsolePrintf("A password is 1 to %zu bytes on one line; nothing was changed.\n", kMaxPasswordLength);
    return kRefused;
  }
  return NodeLinkOn() ? StoreInRedis(name, *password) : StoreInAccountFile(name, *password);
}
