// Room rights as the room administration commands change them: managers
// appointed and dismissed, rooms locked and unlocked, and users waiting at
// a locked room let in or turned away. Each change other nodes must learn of
// is written as a node record when the node link is on; with the link off,
// the managers are kept in "managerlist.txt".
#pragma once

#include <optional>
#include <string>

#include "chat/chat_views.h"

class CChatCore;

// Adds (appoint) or removes the (name, room) entry, then tells the peers
// (SETM, RMA) or, with the node link off, rewrites "managerlist.txt".
void ChangeManager(CChatCore& core, const std::string& name, const std::string& room, bool appoint);

// Sets or clears the room's lock; false when there is no such room. With
// the node link on, an LR or UNLR record.
bool LockRoom(CChatCore& core, const std::string& room, bool locked);

// The marks a user gets on arriving in a room: a manager of the room, or one
// coming back from it, is approved at once; at a locked room others wait.
struct ArrivalMarks {
  bool approved = true;
  bool manager = false;
};
ArrivalMarks MarkArrival(CChatCore& core, const SessionView& user, const RoomView& room,
                         const std::string& previousRoom);

// The manager's decision on a user of the room, named by the target (a name,
// or a name ":" node): authorize approves him, refuse leaves him as he is.
// With the node link on, an AUTH or REFU record. The user, when he is there.
std::optional<SessionView> DecideAdmission(CChatCore& core, const std::string& manager, const std::string& room,
                                           const std::string& target, bool authorize);
