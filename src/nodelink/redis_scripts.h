// The Lua scripts the node link runs in Redis. Each runs whole, so what it
// writes beside the stream always matches the stream (docs/cluster.md).
// ARGV[1] is always the key prefix; a state change travels as four
// arguments: "H" or "D", the key after the prefix, the field, the value.
#pragma once

#include <string>

namespace redis_scripts {

// prefix, stream, maxlen, node, run, record, count, changes... -> entry id
extern const std::string kPublish;
// prefix, stream, maxlen, node, run, record, room, key -> entry id. The
// room's next offset (one counter per room name for as long as Redis keeps
// its data) travels in the entry as "o" with the epoch it counts in as "e",
// the writer's key as "k".
extern const std::string kPublishLine;
// prefix, node, run, known epoch, new epoch, stream, maxlen, NS record,
// count, own changes..., count, shared changes... -> the epoch
extern const std::string kHello;
// prefix, stream -> {epoch, last id, max deleted id, live nodes, {key, pairs}...}
extern const std::string kSnapshot;
// prefix, stream -> {epoch, max deleted id}
extern const std::string kResumeCheck;
// prefix, node -> {key, pairs}... of that node's hashes
extern const std::string kNodeState;
// prefix, node -> {1 when the node was missing, now in ms, {node, ms}...}
extern const std::string kHeartbeat;
// prefix, node, oldest age in ms (-1: any), stream, maxlen, sender, run, BYE record -> 1 when buried
extern const std::string kBury;
// prefix, answer key, ttl, answer record, events stream, maxlen, node, run,
// asking node, asking run, requests stream, group, entry id -> the stored answer
extern const std::string kAnswer;

}  // namespace redis_scripts
