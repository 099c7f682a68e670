// What managers do: kick and ban users out of their room, and the lines
// that show a user the room list or the manager list.
#pragma once

#include <string>

inline constexpr size_t kTargetCopyLimit = 249;
inline constexpr size_t kTargetNameLimit = 28;
inline constexpr size_t kTargetNodeLimit = 18;

void ShowRoom(const std::string& sessionId, const std::string& category);
void ShowManager(const std::string& sessionId);
// 1 when a user was kicked (banned): the manager must manage the room and
// the target (a name, or a name ":" node) must be in it.
int Kick(const std::string& manager, const std::string& target, const std::string& roomName, int check);
int Ban(const std::string& manager, const std::string& target, const std::string& roomName,
        const std::string& requesterAddress, int check);
