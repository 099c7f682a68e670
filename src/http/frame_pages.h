// The pages of a logged-on user's windows: the hidden keep-alive frame now,
// the chat frameset's frames with the message streams.
#pragma once

#include "chat/user_session.h"

class CClientConnection;

// The hidden frame that reloads every 70 seconds and so keeps the session alive.
void DoSpace(CClientConnection& connection, const CUserSession& session);
