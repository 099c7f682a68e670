// JOIN and CREATE: entering a room (from the room list or a link) or
// creating one (typed into the chat form).
#pragma once

#include <string>

#include "commands/speaker.h"

void CommandJoin(CommandContext& context, const std::string& roomName, const std::string& category);

enum class Entry {
  kNoSuchRoom,
  kAlreadyThere,
  kEntered,
  kWaiting,  // in a locked room, waiting for its managers' approval
};
// What "/join ROOM" from the room list does (a GET): moves the speaker into
// the room, which must exist, named or by id; at a locked room he waits for
// its managers. The speaker in the context is then the user as he arrived.
Entry EnterRoom(CommandContext& context, const std::string& roomName);
