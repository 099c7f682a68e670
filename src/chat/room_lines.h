// The entry points through which the chat core and the commands say lines.
#pragma once

#include <string>

#include "chat/chat_event.h"

class CChatCore;

// Hands the line to the core's delivery (none: the line is dropped).
void Say(CChatCore& core, const ChatEvent& event);
// A notice (enter, leave, kick...) to the room, here only. Nothing for an
// empty text or sender.
void AddMessageBoxToRoom(CChatCore& core, const std::string& room, const std::string& from,
                         const std::string& colour, const std::string& text, MessageKind kind);
// A manager's answer to a user waiting at a locked room, said to the room:
// approved ("允许", a chat line) or refused ("拒绝", a refusal line, which
// the waiting user sees too).
void AnnounceAdmission(CChatCore& core, const std::string& room, const std::string& manager,
                       const std::string& userName, bool approved);
