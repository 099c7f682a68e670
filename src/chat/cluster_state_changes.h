// What the chat keeps in Redis beside the event stream when nodes are
// linked (docs/cluster.md), and which record changes which part of it:
//   members (each node's own): session id -> an LS record of a user in a room;
//   rooms (shared): folded room name -> the CR record that made it;
//   managers (shared): name 0x06 room -> "1";
//   locks (shared): folded room name -> room name.
#pragma once

#include "nodelink/cluster_state.h"
#include "nodelink/node_record.h"

class CChatCore;

inline constexpr const char* kMembersHash = "members";
inline constexpr const char* kRoomsHash = "rooms";
inline constexpr const char* kManagersHash = "managers";
inline constexpr const char* kLocksHash = "locks";

// The change a record makes, told as it is emitted (a kick names its
// victim's session then, before he is gone).
StateOps ClusterStateOf(const CChatCore& core, RecordLayout layout, const RecordValues& values);
// This node's users in rooms, and the rooms, locks and managers it knows.
OwnState OwnClusterState(const CChatCore& core);

// The field of a manager entry in the managers hash.
std::string ManagerField(const std::string& name, const std::string& room);
