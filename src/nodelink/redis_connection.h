// CRedisConnection: one blocking connection to Redis through hiredis, used
// by one thread only (hiredis contexts are not thread-safe). Replies are
// copied into RedisValue trees, so no hiredis object leaves this file. A
// call that fails on the connection (not a Redis error reply) closes it;
// the owner connects again.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct redisContext;

struct RedisValue {
  enum class Type { kNil, kString, kInteger, kArray, kStatus, kError };
  Type type = Type::kNil;
  std::string text;  // string, status and error replies
  long long integer = 0;
  std::vector<RedisValue> elements;

  bool IsError() const { return type == Type::kError; }
  bool IsNil() const { return type == Type::kNil; }
  // The text of a string or status reply, the number of an integer reply.
  std::string AsText() const { return type == Type::kInteger ? std::to_string(integer) : text; }
  // A flat array of field, value pairs (HGETALL, stream entries).
  std::vector<std::pair<std::string, std::string>> AsPairs() const;
};

using RedisArgs = std::vector<std::string>;

class CRedisConnection {
 public:
  // address: "host:port" or the path of a Unix socket; the time-out holds
  // for connecting and for every reply.
  CRedisConnection(std::string address, int timeoutMs);
  ~CRedisConnection();
  CRedisConnection(const CRedisConnection&) = delete;
  CRedisConnection& operator=(const CRedisConnection&) = delete;

  const std::string& Address() const { return m_address; }
  bool Connect();
  bool Connected() const { return m_context != nullptr; }
  void Close();
  // Why the last connect or call failed.
  const std::string& LastError() const { return m_error; }

  // One command and its reply; none when the connection failed.
  std::optional<RedisValue> Call(const RedisArgs& args);
  // A Lua script with its arguments (no keys: one Redis, not a cluster).
  std::optional<RedisValue> Script(std::string_view source, const RedisArgs& args);
  // Pipelining: queue commands, then read their replies in order.
  bool Queue(const RedisArgs& args);
  std::optional<RedisValue> NextReply();

 private:
  bool Failed(const char* what);

  const std::string m_address;
  const int m_timeoutMs;
  redisContext* m_context = nullptr;
  std::string m_error;
};

// The arguments of EVAL for a script without keys.
RedisArgs ScriptArgs(std::string_view source, const RedisArgs& args);
