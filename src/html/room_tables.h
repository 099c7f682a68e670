// The markup of rooms and users the chat core lists: the compact room list
// of the LIST command, the three-column room table of the room-list page,
// the rooms with their users (USERS), the online frame's entries, the
// manager list and the text of a search for a user.
#pragma once

#include <string>
#include <vector>

#include "chat/chat_views.h"
#include "foundation/text_buffer.h"

inline constexpr const char* kGuestSession = "0000";  // the room list seen before logging on
inline constexpr const char* kGuestName = "Guest";

class CChatCore;

// "/Blank?session=S&message=/join%20ROOM", for an HREF.
std::string JoinLink(const std::string& viewerSession, const std::string& room);
// The same link inside a javascript string of a javascript: link.
std::string JoinLinkInScript(const std::string& viewerSession, const std::string& room);

// The compact list of one category's rooms.
void CRoomListToBuffer0(CTextBuffer& buffer, const std::string& viewerSession, const std::vector<RoomView>& rooms);
// Every category with its heading (the system rooms first).
void CRoomListToBuffer(CTextBuffer& buffer, CChatCore& core, const std::string& viewerSession);
// The three-column table of one category, with the creation form for a
// logged-on viewer and the user search form.
void CRoomListToBuffer3(CTextBuffer& buffer, const std::string& viewerSession, const std::string& category,
                        const std::vector<RoomView>& rooms, int totalMembers);
// The rooms that have members, each with its users.
void CRoomListUserToBuffer(CTextBuffer& buffer, const std::string& viewerSession, const std::vector<RoomView>& rooms);
// The online frame's entry of each member; names carry their node with the node link on.
void OnlineToBuffer(CTextBuffer& buffer, const RoomView& room, bool nodeLink);
void CManagerListToBuffer(CTextBuffer& buffer, const std::vector<ManagerEntry>& managers);
// "name:room&nbsp;" per hit; with the searcher's level 222222,
// "name(address):room&nbsp;".
std::string SearchResultText(const std::vector<SearchHit>& hits, int searcherLevel);
