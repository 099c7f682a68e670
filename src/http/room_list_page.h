// The room-list page (logged on, or the logon page for visitors), the answer
// to room creation, and the user search page.
#pragma once

#include <string>

#include "chat/user_session.h"

class CClientConnection;

enum RoomListMode : int { kLogonPageMode = 0, kLoggedOnMode = 1 };

inline constexpr size_t kRoomNameLimit = 30;     // bytes
inline constexpr size_t kSessionIdCopyLimit = 39;

// A room name a user may choose: not empty and none of the bytes that break
// the room list's links or the node records.
bool IsValidRoomName(const std::string& name);

void DoRoomList(CClientConnection& connection, const SessionPtr& session, const std::string& category, int mode);
void action_newroom(CClientConnection& connection, const SessionPtr& session, const std::string& roomName,
                    const std::string& category);
void DoUserSearchPage(CClientConnection& connection, const std::string& name);
// The popwin() script that opens the chat in a window of its own.
void WriteWindowScript(CClientConnection& connection);
