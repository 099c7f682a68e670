// The user behind a request, as the message step and the page step see him.
#pragma once

#include <string>

#include "chat/room_session.h"

class CClientConnection;
class CRequestForm;

struct Speaker {
  SessionPtr session;
  RoomPtr room;           // the room of the request, when there is one
  bool inNoRoom = false;  // found in g_onlineList: logged on, in no room yet
};

// The session of the request's "session" field: in the room named by
// "RoomName", else in whatever room it is in, else among the users in no room.
Speaker FindSpeaker(const CRequestForm& form);

// Everything a command step works with.
struct CommandContext {
  CClientConnection& connection;
  const CRequestForm& form;
  Speaker& speaker;
  std::string ownNode;
};
