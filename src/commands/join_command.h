// JOIN and CREATE: entering a room (from the room list or a link) or
// creating one (typed into the chat form).
#pragma once

#include <string>

#include "commands/speaker.h"

void CommandJoin(CommandContext& context, const std::string& roomName, const std::string& category);
