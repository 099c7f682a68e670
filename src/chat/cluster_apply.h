// Other nodes' records applied to this node's chat (docs/cluster.md). The
// same operations run as for a local user, with the emit flag off and lines
// marked local, so nothing goes out again; every room hears the notices its
// local members would hear on the origin. The origin has checked rights.
#pragma once

#include <cstdint>

#include <string>

#include "nodelink/cluster_state.h"
#include "nodelink/node_record.h"

class CChatCore;

// One record of another node (PB, PR, PC, CR, JP, ET, RR, KK, BN, SETM,
// RMA, LR, UNLR, AUTH, REFU; anything else is ignored).
void ApplyNodeRecord(CChatCore& core, const ParsedRecord& record);
// A room line (PB) of another node with its place in the room's order: the
// cluster's epoch and the room's offset.
void ApplyNodeLine(CChatCore& core, const ParsedRecord& record, const std::string& clusterEpoch, std::uint64_t offset);
// The state read from Redis: rooms, locks and managers are added; every
// node listed has its users here replaced by the ones the state names,
// without notices.
void ApplyClusterSnapshot(CChatCore& core, const ClusterSnapshot& snapshot);
// A node is gone: its users leave their rooms (announced, nothing emitted).
void DropNodeUsers(CChatCore& core, const std::string& node);
