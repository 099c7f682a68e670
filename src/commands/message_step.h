// The message step: what a known user's "message" field asks for.
#pragma once

#include <string>

#include "commands/speaker.h"

void RunMessageStep(CommandContext& context);

// A system line to the speaker alone, in his room.
void SystemLineToSpeaker(const CommandContext& context, const std::string& colour, const std::string& sender,
                         const std::string& text);
// The usual reply: "#FF0000", the reply as sender and "  " as its text.
void ReplyToSpeaker(const CommandContext& context, const std::string& reply);
