// The two entry points through which the chat core and the commands put a
// line into a room.
#pragma once

#include <string>

class CChatCore;

// A line to the room's approved members; local 0 also writes a PB record
// when the node link is on. Nothing for an empty text or sender.
void AddMessageToRoom1(CChatCore& core, const std::string& addressee, int local, const std::string& room,
                       const std::string& from, const std::string& colour, const std::string& text, int kind);
// A notice (enter, leave, kick...) to the room. Nothing for an empty text or sender.
void AddMessageBoxToRoom(CChatCore& core, int local, const std::string& room, const std::string& from,
                         const std::string& colour, const std::string& text, int kind, const std::string& session);
// A manager's answer to a user waiting at a locked room, said to the room:
// approved ("允许", a chat line) or refused ("拒绝", a refusal line, which
// the waiting user sees too).
void AnnounceAdmission(CChatCore& core, const std::string& room, const std::string& manager,
                       const std::string& userName, bool approved);
