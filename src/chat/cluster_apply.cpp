#include "chat/cluster_apply.h"

#include <cstdlib>
#include <map>

#include "chat/chat_core.h"
#include "chat/cluster_state_changes.h"
#include "chat/delivery.h"
#include "chat/room_admin.h"
#include "chat/room_events.h"
#include "chat/room_lines.h"
#include "chat/sanctions.h"
#include "chat/session_end.h"

namespace {

SessionView RemoteUser(const ParsedRecord& record) {
  SessionView user;
  user.id = record.Get("SS");
  user.name = record.Get("UN");
  user.nodeId = record.Get("ND");
  user.colour = kLogonColour;
  user.ipAddress = record.Get("IP");
  user.level = std::atoi(record.Get("MN").c_str());
  return user;
}

// The marks a user gets in the room he came to, as on his own node.
void MarkArrivalOf(CChatCore& core, const std::string& id, const std::string& node, const std::string& previousRoom) {
  const std::optional<SessionView> user = core.FindSession(id, node, false);
  if (!user || user->InNoRoom()) return;
  const std::optional<RoomView> room = core.FindRoom(user->roomName);
  if (room) MarkArrival(core, *user, *room, previousRoom);
}

// PB: a room line or notice. Its text is the line as the classic frame
// shows it after the sender (a chat line's action and verb included).
void ApplyRoomLine(CChatCore& core, const ParsedRecord& record, std::optional<SharedPlace> place = std::nullopt) {
  ChatEvent line;
  line.sharedPlace = std::move(place);
  line.room = record.Get("RM");
  line.colour = record.Get("CO");
  line.sender = record.Get("FR");
  line.text = record.Get("MSG");
  if (record.values.count("PA") != 0) {
    line.kind = MessageKind::kChatLine;
    line.addressed = true;
    line.addressee = record.Get("PA");
    line.senderNode = record.Get("FND");
  } else {
    line.kind = MessageKind::kNotice;
  }
  Say(core, line);
}

// PR or PC: a line to one user of this node.
void ApplyPersonalLine(CChatCore& core, const ParsedRecord& record) {
  if (record.Get("ND") != core.NodeId()) return;
  ChatEvent line;
  line.isPrivate = record.values.count("FND") != 0;  // a private line or page, not a system line
  line.kind = record.type == "PR" ? MessageKind::kPrivateLine
              : line.isPrivate    ? MessageKind::kPage
                                  : MessageKind::kSystemLine;
  line.audience = Audience::kSession;
  line.room = record.Get("RM");
  line.session = record.Get("SS");
  line.colour = record.Get("CO");
  line.sender = record.Get("FR");
  line.senderNode = line.isPrivate ? record.Get("FND") : record.Get("ND");
  line.addressee = record.Get("TO");
  line.addresseeNode = record.Get("ND");
  line.text = record.Get("MSG");
  Say(core, line);
}

// CR: the creator's room hears of it here too.
void ApplyCreateRoom(CChatCore& core, const ParsedRecord& record) {
  const std::string& node = record.Get("ND");
  const std::optional<SessionView> known = core.FindSession(record.Get("SS"), node, false);
  SessionView creator = known.value_or(RemoteUser(record));
  if (!known) creator.roomName = record.Get("OLD");
  CreateRoom(core, creator, record.Get("RM"), record.Get("TP"), node, false);
}

// JP: a user of another node enters his first room or moves.
void ApplyJump(CChatCore& core, const ParsedRecord& record) {
  const SessionView arriving = RemoteUser(record);
  const std::string& target = record.Get("NEW");
  if (arriving.nodeId == core.NodeId() || arriving.id.empty() || target.empty()) return;
  std::optional<SessionView> user = core.FindSession(arriving.id, arriving.nodeId, false);
  if (!user) {
    if (!core.AddLogonSession(arriving)) return;
    user = arriving;
  } else {
    core.SetLevel(arriving.id, arriving.nodeId, arriving.level);
  }
  if (user->InNoRoom()) {
    JoinRoomFromLogon(core, *user, user->roomId, target, arriving.nodeId, false);
  } else {
    JoinRoom(core, *user, user->roomId, target, "", arriving.nodeId, false, true);
  }
  MarkArrivalOf(core, arriving.id, arriving.nodeId, user->roomName);
}

// ET: a user of another node left.
void ApplyLeave(CChatCore& core, const ParsedRecord& record) {
  if (record.Get("ND") == core.NodeId()) return;
  RemoveAndEndSession(core, record.Get("SS"), record.Get("ND"), true);
}

// AUTH or REFU: a manager let a waiting user in, or turned him away.
void ApplyAdmission(CChatCore& core, const ParsedRecord& record, bool approved) {
  const std::optional<SessionView> user = core.FindSession(record.Get("SS"), record.Get("ND"), false);
  if (!user) return;
  if (approved) core.SetAdmission(user->id, user->nodeId, true, user->manager);
  AnnounceAdmission(core, record.Get("RM"), record.Get("MA"), user->name, approved);
}

void ApplyRecord(CChatCore& core, const ParsedRecord& record) {
  const std::string& type = record.type;
  const std::string& room = record.Get("RM");
  if (type == "PB") {
    ApplyRoomLine(core, record);
  } else if (type == "PR" || type == "PC") {
    ApplyPersonalLine(core, record);
  } else if (type == "CR") {
    ApplyCreateRoom(core, record);
  } else if (type == "JP") {
    ApplyJump(core, record);
  } else if (type == "ET") {
    ApplyLeave(core, record);
  } else if (type == "RR") {
    REmoveRoom(core, room, record.Get("ND"), true);
  } else if (type == "KK" || type == "BN") {
    ApplyRemoteSanction(core, record.Get("UN"), record.Get("PA"), room, type == "BN");
  } else if (type == "SETM") {
    core.AddManager(record.Get("UN"), room);
  } else if (type == "RMA") {
    core.RemoveManager(record.Get("UN"), room);
  } else if (type == "LR" || type == "UNLR") {
    core.SetRoomLocked(room, type == "LR");
  } else if (type == "AUTH" || type == "REFU") {
    ApplyAdmission(core, record, type == "AUTH");
  }
}

// The users of one node as the state names them, replacing what is held.
void ReplaceNodeUsers(CChatCore& core, const std::string& node, const StateHashes& hashes) {
  std::map<std::string, ParsedRecord> wanted;
  if (const auto members = hashes.find(kMembersHash); members != hashes.end()) {
    for (const auto& [id, entry] : members->second) {
      if (std::optional<ParsedRecord> parsed = ParseNodeRecord(entry)) wanted.emplace(id, std::move(*parsed));
    }
  }
  for (const SessionView& held : core.SessionsOfNode(node)) {
    if (wanted.count(held.id) == 0) RemoveAndEndSession(core, held.id, node, false);
  }
  for (const auto& [id, entry] : wanted) {
    SessionView user = RemoteUser(entry);
    user.id = id;
    user.nodeId = node;
    bool created = false;
    const std::optional<RoomView> room = core.EnsureRoom(entry.Get("RM"), "", created);
    if (!room) continue;
    const std::optional<SessionView> held = core.FindSession(id, node, false);
    if (!held && !core.AddLogonSession(user)) continue;
    if (held && held->roomName == room->name) continue;
    core.MoveSession(id, node, room->name);
    MarkArrivalOf(core, id, node, "");
  }
}

void AddSharedState(CChatCore& core, const StateHashes& shared) {
  if (const auto rooms = shared.find(kRoomsHash); rooms != shared.end()) {
    for (const auto& [folded, entry] : rooms->second) {
      const std::optional<ParsedRecord> made = ParseNodeRecord(entry);
      if (made && !core.FindRoom(made->Get("RM"))) core.AddUserRoom(made->Get("RM"), made->Get("TP"), made->Get("UN"));
    }
  }
  if (const auto locks = shared.find(kLocksHash); locks != shared.end()) {
    for (const auto& [folded, room] : locks->second) core.SetRoomLocked(room, true);
  }
  if (const auto managers = shared.find(kManagersHash); managers != shared.end()) {
    for (const auto& [field, one] : managers->second) {
      const size_t split = field.find(kFieldStart);
      if (split != std::string::npos && core.FindRoom(field.substr(split + 1))) {
        core.AddManager(field.substr(0, split), field.substr(split + 1));
      }
    }
  }
}

}  // namespace

void ApplyNodeRecord(CChatCore& core, const ParsedRecord& record) {
  ApplyRecord(core, record);
}

void ApplyNodeLine(CChatCore& core, const ParsedRecord& record, const std::string& clusterEpoch, std::uint64_t offset) {
  if (record.type != "PB") {
    ApplyRecord(core, record);
    return;
  }
  ApplyRoomLine(core, record, SharedPlace{SharedRoomEpoch(clusterEpoch, record.Get("RM")), offset});
}

void ApplyClusterSnapshot(CChatCore& core, const ClusterSnapshot& snapshot) {
  AddSharedState(core, snapshot.shared);
  for (const auto& [node, hashes] : snapshot.nodes) {
    if (node != core.NodeId()) ReplaceNodeUsers(core, node, hashes);
  }
}

void DropNodeUsers(CChatCore& core, const std::string& node) {
  if (node != core.NodeId()) EndSessions(core, core.RemoveNodeSessions(node));
}
