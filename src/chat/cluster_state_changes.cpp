#include "chat/cluster_state_changes.h"

#include "chat/chat_core.h"
#include "chat/sanctions.h"
#include "foundation/text.h"

namespace {

std::string Value(const RecordValues& values, const char* code) {
  const auto found = values.find(code);
  return found != values.end() ? found->second : std::string();
}

std::string MemberEntry(const std::string& name, const std::string& id, const std::string& node,
                        const std::string& room, const std::string& level, const std::string& address) {
  return BuildNodeRecord(RecordLayout::kUserListEntry,
                         {{"UN", name}, {"SS", id}, {"ND", node}, {"RM", room}, {"MN", level}, {"IP", address}});
}

StateOp Shared(const char* hash, std::string field, std::optional<std::string> value) {
  return StateOp{"", hash, std::move(field), std::move(value)};
}

// A room's entry in a hash of rooms goes, also one stored under the folding
// of every byte (before folding walked characters), which would otherwise
// bring the room back at every snapshot.
StateOps RoomFieldGoes(const char* hash, const std::string& room) {
  StateOps ops = {Shared(hash, AsciiLower(room), std::nullopt)};
  if (LowerEveryByte(room) != AsciiLower(room)) ops.push_back(Shared(hash, LowerEveryByte(room), std::nullopt));
  return ops;
}

// The session a kick or ban removes: it is still there while its record is emitted.
StateOps VictimLeaves(const CChatCore& core, const RecordValues& values) {
  const std::optional<SessionView> victim =
      core.FindMemberByName(Value(values, "RM"), TargetName(Value(values, "PA")));
  if (!victim) return {};
  return {StateOp{victim->nodeId, kMembersHash, victim->id, std::nullopt}};
}

}  // namespace

std::string ManagerField(const std::string& name, const std::string& room) { return name + kFieldStart + room; }

StateOps ClusterStateOf(const CChatCore& core, RecordLayout layout, const RecordValues& values) {
  const std::string room = Value(values, "RM");
  switch (layout) {
    case RecordLayout::kCreateRoom:
      return {Shared(kRoomsHash, AsciiLower(room), BuildNodeRecord(layout, values))};
    case RecordLayout::kRemoveRoom: {
      StateOps ops = RoomFieldGoes(kRoomsHash, room);
      for (StateOp& op : RoomFieldGoes(kLocksHash, room)) ops.push_back(std::move(op));
      return ops;
    }
    case RecordLayout::kJump:
      return {StateOp{Value(values, "ND"), kMembersHash, Value(values, "SS"),
                      MemberEntry(Value(values, "UN"), Value(values, "SS"), Value(values, "ND"), Value(values, "NEW"),
                                  Value(values, "MN"), Value(values, "IP"))}};
    case RecordLayout::kLeave:
      return {StateOp{Value(values, "ND"), kMembersHash, Value(values, "SS"), std::nullopt}};
    case RecordLayout::kKick:
    case RecordLayout::kBan:
      return VictimLeaves(core, values);
    case RecordLayout::kSetManager:
      return {Shared(kManagersHash, ManagerField(Value(values, "UN"), room), "1")};
    case RecordLayout::kRemoveManager:
      return {Shared(kManagersHash, ManagerField(Value(values, "UN"), room), std::nullopt)};
    case RecordLayout::kLockRoom:
      return {Shared(kLocksHash, AsciiLower(room), room)};
    case RecordLayout::kUnlockRoom:
      return RoomFieldGoes(kLocksHash, room);
    default:
      return {};
  }
}

OwnState OwnClusterState(const CChatCore& core) {
  OwnState own;
  for (const SessionView& user : core.SessionsOfNode(core.NodeId())) {
    if (user.InNoRoom()) continue;
    own.owned.push_back(StateOp{core.NodeId(), kMembersHash, user.id,
                                MemberEntry(user.name, user.id, user.nodeId, user.roomName,
                                            std::to_string(user.level), user.ipAddress)});
  }
  for (const RoomView& room : core.Rooms()) {
    if (room.locked) own.shared.push_back(Shared(kLocksHash, AsciiLower(room.name), room.name));
    if (room.system) continue;
    own.shared.push_back(Shared(kRoomsHash, AsciiLower(room.name),
                                BuildNodeRecord(RecordLayout::kCreateRoom, {{"ND", core.NodeId()},
                                                                            {"RM", room.name},
                                                                            {"TP", room.category},
                                                                            {"OLD", kNoRoom},
                                                                            {"UN", room.creator}})));
  }
  for (const ManagerEntry& entry : core.Managers()) {
    own.shared.push_back(Shared(kManagersHash, ManagerField(entry.name, entry.room), "1"));
  }
  return own;
}
