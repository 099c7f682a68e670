#include "chat/room_admin.h"

#include "chat/chat_core.h"
#include "chat/chat_loader.h"
#include "chat/sanctions.h"

void ChangeManager(CChatCore& core, const std::string& name, const std::string& room, bool appoint) {
  if (appoint) {
    core.AddManager(name, room);
  } else {
    core.RemoveManager(name, room);
  }
  if (core.NodeLink().On()) {
    core.NodeLink().Emit(appoint ? RecordLayout::kSetManager : RecordLayout::kRemoveManager,
                         {{"RM", room}, {"UN", name}});
  } else {
    SaveManagerFile(core);
  }
}

bool LockRoom(CChatCore& core, const std::string& room, bool locked) {
  if (!core.SetRoomLocked(room, locked)) return false;
  if (core.NodeLink().On()) {
    core.NodeLink().Emit(locked ? RecordLayout::kLockRoom : RecordLayout::kUnlockRoom, {{"RM", room}});
  }
  return true;
}

std::optional<SessionView> DecideAdmission(CChatCore& core, const std::string& manager, const std::string& room,
                                           const std::string& target, bool authorize) {
  std::optional<SessionView> user = core.FindMemberByName(room, TargetName(target));
  if (!user) return std::nullopt;
  if (authorize) {
    core.SetAdmission(user->id, user->nodeId, true, user->manager);
    user->approved = true;
  }
  if (core.NodeLink().On()) {
    core.NodeLink().Emit(authorize ? RecordLayout::kAuthorize : RecordLayout::kRefuse,
                         {{"RM", room}, {"SS", user->id}, {"MA", manager}, {"ND", user->nodeId}});
  }
  return user;
}

ArrivalMarks MarkArrival(CChatCore& core, const SessionView& user, const RoomView& room,
                         const std::string& previousRoom) {
  ArrivalMarks marks;
  marks.manager = core.IsManager(user.name, room.name);
  marks.approved = !(room.locked && !marks.manager && room.name != previousRoom);
  core.SetAdmission(user.id, user.nodeId, marks.approved, marks.manager);
  return marks;
}
