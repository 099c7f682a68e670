#include "commands/speaker.h"

#include "chat/chat_core.h"
#include "chat/delivery.h"
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

void SystemLineToSpeaker(const CommandContext& context, const std::string& colour, const std::string& sender,
                         const std::string& text, int kind) {
  const SessionView& speaker = context.Session();
  if (CDelivery* delivery = context.core.Delivery()) {
    delivery->PostUserMessage(context.ownNode, speaker.id, speaker.roomName, kind, colour, sender, text,
                              speaker.name, kToSession);
  }
}

void ReplyToSpeaker(const CommandContext& context, const std::string& reply) {
  SystemLineToSpeaker(context, "#FF0000", reply, "  ");
}
