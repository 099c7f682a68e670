// What nodes linked over Redis keep beside the event stream: hashes of
// fields and values, either shared by all nodes or owned by one node. The
// transport writes and reads them without knowing what they mean; the
// chat says which record changes which field (docs/cluster.md).
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

// One change of one field, written in the same step as its record.
struct StateOp {
  std::string owner;  // the node whose hash it is; "" for a shared hash
  std::string hash;   // the hash's name, without ':'
  std::string field;
  std::optional<std::string> value;  // none: the field goes
};
using StateOps = std::vector<StateOp>;

using StateHash = std::map<std::string, std::string>;      // field -> value
using StateHashes = std::map<std::string, StateHash>;      // hash name -> contents

// A node's own state, written again whenever it (re)connects.
struct OwnState {
  StateOps owned;   // replaces everything the node owns
  StateOps shared;  // written only when Redis has lost its data
};

// The state as read in one step. Every live node is listed, with no
// hashes when it owns none.
struct ClusterSnapshot {
  StateHashes shared;
  std::map<std::string, StateHashes> nodes;
};

// Where a state hash lives, after the key prefix: "shared:<hash>" or
// "node:<owner>:<hash>".
std::string StateKey(const std::string& owner, const std::string& hash);
// The other way round; false for a key of neither form.
bool ParseStateKey(const std::string& key, std::string& owner, std::string& hash);
