// The message step: what a known user's "message" field asks for.
#pragma once

#include "commands/speaker.h"

void RunMessageStep(CommandContext& context);

// A system line to the speaker alone ("  " as its text, the reply as sender).
void ReplyToSpeaker(const CommandContext& context, const std::string& reply);
