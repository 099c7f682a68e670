// Stream entries as the node link reads them: the id ("ms-seq") and the
// fields every entry carries (docs/cluster.md).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "nodelink/redis_connection.h"

struct StreamId {
  std::uint64_t ms = 0;
  std::uint64_t seq = 0;
  static StreamId Parse(const std::string& text);
  bool operator<(const StreamId& other) const { return ms != other.ms ? ms < other.ms : seq < other.seq; }
};

struct StreamEntry {
  std::string id;
  std::string node;       // n: who wrote it
  std::string run;        // i: that node's run
  std::string record;     // r
  std::string toNode;     // t: an answer's asking node
  std::string toRun;      // ti: and its run
  std::uint64_t offset = 0;  // o: a room line's place in its room's order (0: none)
  std::string epoch;         // e: the epoch that offset counts in
  std::uint64_t key = 0;     // k: and the key its node knows it by
};

// The entries of a reply of XREAD, XREADGROUP (one stream) or of XRANGE-like
// lists; an entry whose fields are gone (deleted) keeps its id and nothing else.
std::vector<StreamEntry> EntriesOf(const RedisValue& list);
std::vector<StreamEntry> EntriesOfStreams(const RedisValue& reply);
