// The message step: what a known user's "message" field asks for.
#pragma once

#include "commands/speaker.h"

void RunMessageStep(CommandContext& context);
