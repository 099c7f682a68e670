// CLinkWriter: the transport's sending thread. It says hello when it
// connects, publishes every record of the outbox as soon as it arrives
// (requests to the request stream, the rest with their state changes to
// the event stream), sends the heartbeat, buries nodes whose heartbeat is
// too old, lets the resend list resend unanswered requests, and says
// goodbye when it stops. It alone tells the console whether Redis answers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "nodelink/link_context.h"
#include "nodelink/redis_connection.h"

class CLinkWriter {
 public:
  explicit CLinkWriter(LinkContext& context);
  // The thread's body: until the transport stops, then the last records
  // and the goodbye.
  void Run();

 private:
  bool Connect();
  bool SayHello();
  // False when the connection failed (what was not sent goes back).
  bool PublishWaiting();
  bool Heartbeat();
  void Bury(const std::string& node, int oldestMs);
  void ReportDrops();
  void ReportLost();
  // The request's page still waits for it (a request it gave up on is not sent).
  bool StillAwaited(const std::string& record);
  RedisArgs PublishArgs(const OutboxEntry& entry) const;

  LinkContext& m_context;
  CRedisConnection m_redis;
  CBackoff m_backoff;
  std::string m_epoch;  // the epoch this node saw last
  bool m_down = true;   // what the console was told last
  bool m_toldDown = false;
  std::int64_t m_nextHeartbeatMs = 0;
};
