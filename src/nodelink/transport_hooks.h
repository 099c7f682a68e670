// What the transport over Redis hands to the layers above it, and what it
// asks of them. It knows records and hashes, not rooms or accounts.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "nodelink/cluster_state.h"
#include "nodelink/node_record.h"
#include "nodelink/redis_connection.h"

// Redis as the answerer of requests may use it: its own connection, on its
// own thread.
class CRedisCalls {
 public:
  virtual ~CRedisCalls() = default;
  // The full name of a key (the configured prefix in front).
  virtual std::string Key(std::string_view name) const = 0;
  // None when the connection failed.
  virtual std::optional<RedisValue> Call(const RedisArgs& args) = 0;
  virtual std::optional<RedisValue> Script(std::string_view source, const RedisArgs& args) = 0;
};

// The answer to a request: the status and reply of the asker's resend item.
struct RequestAnswer {
  int status = 0;
  std::string reply;
};

// A room line's place in the room's order, as Redis gave it: the cluster's
// epoch (which changes when Redis loses its data) and the room's offset.
struct LinkOrder {
  std::string epoch;
  std::uint64_t offset = 0;
};

struct NodeTransportHooks {
  // A record of another node (never a request, an answer or the
  // transport's own NS and BYE); called on the reader's thread.
  std::function<void(const ParsedRecord& record)> applyRecord;
  // A room line of another node with its place in the room's order.
  std::function<void(const ParsedRecord& record, const LinkOrder& order)> applyLine;
  // A line of this node's run read back with its place: the key it was
  // written with.
  std::function<void(std::uint64_t key, const LinkOrder& order)> placeOwnLine;
  // The sending thread lost Redis (or could not reach it): lines that wait
  // for their place are shown at once. Called on that thread.
  std::function<void()> linkDown;
  // The state as read from Redis: everything shared, and every listed node's
  // users, which replace what was held of that node.
  std::function<void(const ClusterSnapshot& snapshot)> applySnapshot;
  // A node is gone: its users leave.
  std::function<void(const std::string& node)> dropNode;
  // This node's state, written again at every connection.
  std::function<OwnState()> ownState;
  // Works out the answer to a request (slow: hashing); none when Redis
  // failed meanwhile and the request must wait for another try.
  std::function<std::optional<RequestAnswer>(const ParsedRecord& request, CRedisCalls& redis)> answerRequest;
};
