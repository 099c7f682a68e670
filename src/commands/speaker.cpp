#include "commands/speaker.h"

#include "chat/chat_core.h"
#include "chat/delivery.h"
#include "chat/room_lines.h"
#include "foundation/settings.h"
#include "foundation/text.h"
#include "html/message_render.h"
#include "http/request_form.h"

Speaker FindSpeaker(CChatCore& core, const CRequestForm& form) {
  Speaker speaker;
  const std::string& sessionId = form.FindField("session");
  if (sessionId.empty()) return speaker;
  const std::string& node = core.NodeId();
  speaker.room = core.FindRoom(form.FindField("RoomName"));
  if (speaker.room) {
    speaker.session = core.FindMember(speaker.room->name, sessionId, node, true);
  } else if ((speaker.session = core.FindInAnyRoom(sessionId, node, true))) {
    speaker.room = core.FindRoom(speaker.session->roomName);
  }
  if (!speaker.session) {
    speaker.session = core.FindInNoRoom(sessionId, node, true);
    speaker.room.reset();
    speaker.inNoRoom = speaker.session.has_value();
  }
  return speaker;
}

std::string FormColour(const CRequestForm& form) {
  return CleanUserText(CutToCharacters(form.FindField("addwordcolor"), kColourLimit));
}

ChatEvent LineToSession(const SessionView& session, const std::string& colour, const std::string& sender,
                        const std::string& text, MessageKind kind) {
  ChatEvent line;
  line.room = session.roomName;
  line.kind = kind;
  line.audience = Audience::kSession;
  line.session = session.id;
  line.senderNode = session.nodeId;
  line.addresseeNode = session.nodeId;
  line.colour = colour;
  line.sender = sender;
  line.text = text;
  return line;
}

void SystemLineToSpeaker(const CommandContext& context, const std::string& colour, const std::string& sender,
                         const std::string& text, MessageKind kind) {
  const SessionView& speaker = context.Session();
  ChatEvent line = LineToSession(speaker, colour, sender, text, kind);
  line.addressee = speaker.name;
  Say(context.core, line);
}

bool TakeLineOfSpeaker(const CommandContext& context) {
  const SessionView& speaker = context.Session();
  if (context.core.TakeLine(speaker.id, speaker.nodeId)) return true;
  SystemLineToSpeaker(context, GetSetting("general", "fgcolor"), GetSetting("text", "MSG_SYSTEM"), kTooFastText);
  return false;
}

void ReplyToSpeaker(const CommandContext& context, const std::string& reply) {
  SystemLineToSpeaker(context, "#FF0000", reply, "  ");
}
