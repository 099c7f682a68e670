// The API's chat calls, over the same operations as the pages:
//   GET  /api/rooms[?category=C]          the room list's rooms, by category
//   POST /api/enter  {"session", "room", "category"?}
//                                         what "/join ROOM" from the room list does; a
//                                         missing room is made first, as "/newroom" makes it
//   POST /api/say    {"session", "text", "to"?, "private"?, "action"?, "says"?, "colour"?}
//                                         the chat form's POST: a line or any command
//   GET  /api/online?session=S            the online list of the user's room
//   POST /api/logout {"session"}          what "/logout" does
#pragma once

#include "api/api_input.h"

class CChatCore;
class CRequest;
struct RequestServices;

void ApiRooms(CRequest& request, CApiInput& input, CChatCore& core, const RequestServices& services);
void ApiEnter(CRequest& request, CApiInput& input, CChatCore& core, const RequestServices& services);
void ApiSay(CRequest& request, CApiInput& input, CChatCore& core, const RequestServices& services);
void ApiOnline(CRequest& request, CApiInput& input, CChatCore& core, const RequestServices& services);
void ApiLogout(CRequest& request, CApiInput& input, CChatCore& core, const RequestServices& services);
