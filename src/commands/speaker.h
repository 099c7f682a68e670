// The user behind a request, as the message step and the page step see him.
#pragma once

#include <optional>
#include <string>

#include "chat/chat_views.h"
#include "chat/delivery.h"

class CChatCore;
class CRequest;
class CRequestForm;

struct Speaker {
  std::optional<SessionView> session;
  std::optional<RoomView> room;  // the room of the request, when there is one
  bool inNoRoom = false;         // logged on, in no room yet
};

// The session of the request's "session" field: in the room named by
// "RoomName", else in whatever room it is in, else among the users in no room.
Speaker FindSpeaker(CChatCore& core, const CRequestForm& form);

// Everything a command step works with.
struct CommandContext {
  CRequest& request;
  const CRequestForm& form;
  Speaker& speaker;
  CChatCore& core;
  std::string ownNode;

  const SessionView& Session() const { return *speaker.session; }
};

// The colour of the chat form ("addwordcolor"), cut to the longest colour
// there is and cleaned like other user text: what a line carries to every
// listener and into its node record.
std::string FormColour(const CRequestForm& form);

// What a speaker past the line rate is told; his line is not said.
inline constexpr const char* kTooFastText = "您说话太快了，请稍后再说";
// Takes a line of the speaker's rate (chat lines, private lines, pages:
// what reaches others); past it, tells him so and returns false.
bool TakeLineOfSpeaker(const CommandContext& context);

// A line to the speaker alone, in his room: a system line unless the kind
// says otherwise.
void SystemLineToSpeaker(const CommandContext& context, const std::string& colour, const std::string& sender,
                         const std::string& text, MessageKind kind = MessageKind::kSystemLine);
// A line the server says to one session, in its room.
ChatEvent LineToSession(const SessionView& session, const std::string& colour, const std::string& sender,
                        const std::string& text, MessageKind kind = MessageKind::kSystemLine);
// The usual reply: "#FF0000", the reply as sender and "  " as its text.
void ReplyToSpeaker(const CommandContext& context, const std::string& reply);
