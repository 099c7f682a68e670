// The pages of a logged-on user's windows: the chat frameset, the message
// frame's head (after which the connection becomes a message stream), the
// online list, the input form, the frameless page and the hidden keep-alive
// frame. Every page but the keep-alive needs the user's room (found by its
// id); without it the answer is empty.
#pragma once

#include <string>

#include "chat/chat_views.h"
#include "html/page.h"

class CChatCore;

enum FramedMode : int { kFrameless = 0, kFramed = 1 };

// What the message frame of a user not yet approved in a locked room says
// (the JSON API says the same when he tries to speak).
inline constexpr const char* kNotApprovedText = "您还没有获准在此聊天室聊天,请等待室主批准";

// What the chat form sends when the user chose nothing: its first
// expression and its first colour (the JSON API takes them as its defaults).
inline constexpr const char* kFormDefaultSays = "说";
inline constexpr const char* kFormDefaultColour = "0000ff";

void DoFrameSet(CPage& page, CChatCore& core, const SessionView& session);
void DoMessage(CPage& page, CChatCore& core, const SessionView& session, int framed);
void DoOnline(CPage& page, CChatCore& core, const SessionView& session);
// posted: the form was just submitted; the answer is the blank page.
void DoMainForm(CPage& page, CChatCore& core, const SessionView& session, int framed, bool posted);
void DoFramelessPage(CPage& page, CChatCore& core, const SessionView& session, bool posted);
// The hidden frame that reloads every 70 seconds and so keeps the session alive.
void DoSpace(CPage& page, const SessionView& session);

// The node id after "?id=": each byte as a signed decimal, at most 59 characters.
std::string NodeIdDigits(const std::string& nodeId);
