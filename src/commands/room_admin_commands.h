// The room administration commands: removing a room, appointing and
// dismissing managers, locking and unlocking rooms, and letting a user who
// waits at a locked room in or turning him away. Each answers the speaker
// with a system line where it has something to say.
#pragma once

#include <string>

#include "commands/speaker.h"

// RM: the chief ([general] ManagerName) with the node link off, a manager
// of "pRoomName" with it on.
void CommandRemoveRoom(CommandContext& context, const std::string& room);
// SETMANAGER (code 15) and REMOVEMANAGER (code 16): the same rights as RM.
void CommandChangeManager(CommandContext& context, unsigned code, const std::string& name, const std::string& room);
// LOCKROOM (code 17) and UNLOCKROOM (code 19): any manager of that room.
void CommandLockRoom(CommandContext& context, unsigned code, const std::string& room);
// AUTHORIZE (code 20) and REFUSE (code 21): a manager of the speaker's own
// room, while it is locked.
void CommandAdmission(CommandContext& context, unsigned code, const std::string& target);
