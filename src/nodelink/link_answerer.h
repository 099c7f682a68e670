// CLinkAnswerer: the transport's answering thread. It serves the request
// stream in the consumer group every node belongs to: first what this node
// had taken and not answered, then new requests, and every few seconds the
// requests another node took long ago and never answered (it died). The
// answer is worked out by the hook (from the accounts; slow hashing happens
// on this thread), stored once per request and published on the event
// stream, and the request is acknowledged in the same step.
#pragma once

#include <cstdint>
#include <string>

#include "nodelink/link_context.h"
#include "nodelink/redis_connection.h"
#include "nodelink/stream_entry.h"

class CLinkAnswerer : public CRedisCalls {
 public:
  explicit CLinkAnswerer(LinkContext& context);
  void Run();

  // CRedisCalls: this thread's own connection, for the hook.
  std::string Key(std::string_view name) const override { return m_context.settings.prefix + std::string(name); }
  std::optional<RedisValue> Call(const RedisArgs& args) override { return m_redis.Call(args); }
  std::optional<RedisValue> Script(std::string_view source, const RedisArgs& args) override {
    return m_redis.Script(source, args);
  }

 private:
  bool Connect();
  bool MakeGroup();
  // One XREADGROUP (or XAUTOCLAIM) and the answers to what it brought.
  bool ServeNew();
  bool ServeOwnPending();
  bool ClaimAbandoned();
  bool Serve(const std::vector<StreamEntry>& entries);
  bool Answer(const StreamEntry& entry);
  bool Acknowledge(const std::string& id);
  bool Failed(const std::optional<RedisValue>& reply);

  LinkContext& m_context;
  CRedisConnection m_redis;
  CBackoff m_backoff;
  std::int64_t m_nextClaimMs = 0;
};
