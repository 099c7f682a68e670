// The pages of a logged-on user's windows: the chat frameset, the message
// frame's head (after which the connection becomes a message stream), the
// online list, the input form, the frameless page and the hidden keep-alive
// frame. Every page but the keep-alive needs the user's room; without it the
// answer is empty.
#pragma once

#include "chat/user_session.h"

class CClientConnection;

enum FramedMode : int { kFrameless = 0, kFramed = 1 };

void DoFrameSet(CClientConnection& connection, const CUserSession& session);
void DoMessage(CClientConnection& connection, const CUserSession& session, int framed);
void DoOnline(CClientConnection& connection, const CUserSession& session);
void DoMainForm(CClientConnection& connection, const CUserSession& session, int framed);
void DoFramelessPage(CClientConnection& connection, const CUserSession& session);
// The hidden frame that reloads every 70 seconds and so keeps the session alive.
void DoSpace(CClientConnection& connection, const CUserSession& session);

// The node id after "?id=": each byte as a signed decimal, at most 59 characters.
std::string NodeIdDigits(const std::string& nodeId);
