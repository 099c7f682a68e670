#include "chat/sanctions.h"

#include <optional>

#include "chat/chat_core.h"
#include "chat/delivery.h"
#include "chat/room_lines.h"
#include "chat/session_end.h"
#include "foundation/text.h"

namespace {

// Said in the room before the victim's session ends: his frame shows it
// last, then closes.
void Announce(CChatCore& core, const std::string& manager, const std::string& roomName, const std::string& text) {
  AddMessageBoxToRoom(core, roomName, "管理员" + manager + ": (", "#FF0000", text, MessageKind::kChatLine);
}

std::string KickText(const std::string& name) { return name + ")因为言语不太文明被踢出,五分钟后可以再登录"; }
std::string BanText(const std::string& name) { return name + ")因为言语不太文明被踢出且IP被绊住,十分钟后可以再登录"; }

// The user a manager means, in the manager's room.
std::optional<SessionView> FindVictim(CChatCore& core, const std::string& manager, const std::string& target,
                                      const std::string& roomName) {
  const std::string name = TargetName(target);
  if (name.empty() || !core.FindRoom(roomName) || !core.IsManager(manager, roomName)) return std::nullopt;
  return core.FindMemberByName(roomName, name);
}

}  // namespace

std::string TargetName(const std::string& target) {
  const std::string_view copy = CutToCharacters(target, kTargetCopyLimit);
  return std::string(CutToCharacters(copy.substr(0, copy.find(':')), kTargetNameLimit));
}

int Kick(CChatCore& core, const std::string& manager, const std::string& target, const std::string& roomName, int) {
  const std::optional<SessionView> victim = FindVictim(core, manager, target, roomName);
  if (!victim) return 0;
  if (core.NodeLink().On()) {
    core.NodeLink().Emit(RecordLayout::kKick,
                         {{"UN", manager}, {"RM", roomName}, {"PA", target}, {"MN", std::to_string(victim->level)}});
  }
  Announce(core, manager, roomName, KickText(victim->name));
  RemoveAndEndSession(core, victim->id, victim->nodeId, false);
  core.AddKick(victim->name);
  return 1;
}

int Ban(CChatCore& core, const std::string& manager, const std::string& target, const std::string& roomName,
        const std::string& requesterAddress, int) {
  const std::optional<SessionView> victim = FindVictim(core, manager, target, roomName);
  if (!victim) return 0;
  if (core.NodeLink().On()) {
    core.NodeLink().Emit(RecordLayout::kBan, {{"UN", manager},
                                              {"RM", roomName},
                                              {"PA", target},
                                              {"IP", requesterAddress},
                                              {"MN", std::to_string(victim->level)}});
    core.AddKick(victim->name);
  }
  Announce(core, manager, roomName, BanText(victim->name));
  RemoveAndEndSession(core, victim->id, victim->nodeId, false);
  core.AddBan(victim->ipAddress);
  return 1;
}

void ApplyRemoteSanction(CChatCore& core, const std::string& manager, const std::string& target,
                         const std::string& roomName, bool ban) {
  const std::string name = TargetName(target);
  if (name.empty()) return;
  if (const std::optional<SessionView> victim = core.FindMemberByName(roomName, name)) {
    Announce(core, manager, roomName, ban ? BanText(victim->name) : KickText(victim->name));
    RemoveAndEndSession(core, victim->id, victim->nodeId, false);
    if (ban) core.AddBan(victim->ipAddress);
  }
  core.AddKick(name);
}
