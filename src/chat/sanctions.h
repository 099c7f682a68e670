// What managers do to users of their room: kick them out (their name is
// refused at logon for five minutes) or ban them (their address too, for
// ten minutes).
#pragma once

#include <string>

class CChatCore;

inline constexpr size_t kTargetCopyLimit = 249;
inline constexpr size_t kTargetNameLimit = 28;

// The user a manager's target names: the target (cut to 249 bytes) up to its
// first ':', cut to 28 bytes.
std::string TargetName(const std::string& target);

// 1 when a user was kicked (banned): the manager must manage the room and
// the target (a name, or a name ":" node) must be in it.
int Kick(CChatCore& core, const std::string& manager, const std::string& target, const std::string& roomName,
         int check);
int Ban(CChatCore& core, const std::string& manager, const std::string& target, const std::string& roomName,
        const std::string& requesterAddress, int check);
// A kick or ban another node's manager made: the same announcement and
// removal here, and the name (and for a ban the user's address) kept. The
// manager's node has checked his rights.
void ApplyRemoteSanction(CChatCore& core, const std::string& manager, const std::string& target,
                         const std::string& roomName, bool ban);
