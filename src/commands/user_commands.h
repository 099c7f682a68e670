// The commands that act for one user: listing managers and rooms, paging,
// finding users, counting users, kicking, banning, checking and ignoring.
#pragma once

#include <string>

#include "commands/speaker.h"

inline constexpr size_t kMaxPageHits = 10;
inline constexpr size_t kPageHitLimit = 250;

// The room list (one category, or "全部" for all) or the manager list, as
// a line to that user alone.
void ShowRoom(CChatCore& core, const std::string& sessionId, const std::string& category);
void ShowManager(CChatCore& core, const std::string& sessionId);

void CommandPage(CommandContext& context, const std::string& target, const std::string& text);
void CommandFind(CommandContext& context, const std::string& target);
void CommandUsers(CommandContext& context);
void CommandKickOrBan(CommandContext& context, unsigned code, const std::string& victim);
void CommandCheckMoney(CommandContext& context, const std::string& target);
// IGNORE: the name's lines are no longer shown to the speaker (the list
// stays with him from room to room until he leaves the chat).
void CommandIgnore(CommandContext& context, const std::string& name);
