// The commands that act for one user: listing managers and rooms, paging,
// finding users, counting users, kicking, banning and checking.
#pragma once

#include <string>

#include "commands/speaker.h"

inline constexpr size_t kMaxPageHits = 10;
inline constexpr size_t kPageHitLimit = 250;

void CommandManagerList(CommandContext& context);
void CommandList(CommandContext& context, const std::string& category);
void CommandPage(CommandContext& context, const std::string& target, const std::string& text);
void CommandFind(CommandContext& context, const std::string& target);
void CommandUsers(CommandContext& context);
void CommandKickOrBan(CommandContext& context, unsigned code, const std::string& victim);
void CommandCheckMoney(CommandContext& context, const std::string& target);
