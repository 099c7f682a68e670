// The room-list page (logged on, or the logon page for visitors), the
// answers to room creation, and the user search page.
#pragma once

#include <string>

#include "chat/chat_views.h"
#include "html/page.h"

class CChatCore;

enum RoomListMode : int { kLogonPageMode = 0, kLoggedOnMode = 1 };

// session is null on the logon page.
void DoRoomList(CPage& page, CChatCore& core, const SessionView* session, const std::string& category, int mode);
void WriteRoomCreatedPage(CPage& page, const std::string& sessionId, const std::string& roomName);
// The room exists already (or no more rooms may be made).
void WriteRoomNotCreatedPage(CPage& page);
void DoUserSearchPage(CPage& page, CChatCore& core, const std::string& name);
// The popwin() script that opens the chat in a window of its own.
void WriteWindowScript(CPage& page);
