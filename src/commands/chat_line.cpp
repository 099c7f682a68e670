#include "commands/chat_line.h"

#include "chat/chat_core.h"
#include "chat/delivery.h"
#include "chat/room_lines.h"
#include "foundation/text.h"
#include "http/request_form.h"

namespace {
// An action or verb of the form, cut and cleaned.
std::string Phrase(const CRequestForm& form, std::string_view field) {
  return CleanUserText(CutToCharacters(form.FindField(field), kPhraseLimit));
}
}  // namespace

Addressee ParseAddressee(const std::string& towho, const std::string& ownNode, bool nodeLink) {
  std::string field = towho;
  for (char& c : field) {
    if (c == '\x05' || c == '\x06') c = '-';
  }
  Addressee addressee;
  addressee.towho = CutToCharacters(field, kAddresseeCopyLimit);
  const std::string& copy = addressee.towho;
  const size_t colon = copy.find(':');
  addressee.name = copy.substr(0, colon);
  addressee.node = colon == std::string::npos ? std::string() : copy.substr(colon + 1);
  addressee.node = addressee.node.substr(0, addressee.node.find(':'));
  if (addressee.name.size() > kAddresseeNameLimit || field.find(' ') != std::string::npos || addressee.name.empty()) {
    addressee.towho = addressee.name = kEverybody;
    addressee.node = ownNode;
  }
  if (!nodeLink) addressee.node = ownNode;
  return addressee;
}

void SayChatLine(CommandContext& context, const std::string& text) {
  const SessionView& speaker = context.Session();
  if (!speaker.approved || !TakeLineOfSpeaker(context)) return;
  const CRequestForm& form = context.form;
  const std::string colour = FormColour(form);
  const std::string line = "<font color=#000000>" + Phrase(form, "UserAction") + Phrase(form, "addsays") +
                           ": </font>" + CleanChatText(text);
  const Addressee to = ParseAddressee(form.FindField("towho"), context.ownNode, context.core.NodeLink().On());
  if (form.FindField("towhoway") != "private") {
    AddMessageToRoom1(context.core, to.towho, 0, speaker.roomName, speaker.name, colour, line, kChatLine);
    return;
  }
  CDelivery* delivery = context.core.Delivery();
  if (!context.speaker.room || delivery == nullptr) return;
  const std::string& room = speaker.roomName;
  const std::string addresseeSession = context.core.FindIdByNameAndNode(context.speaker.room->name, to.name, to.node);
  if (!addresseeSession.empty()) {
    if (to.node != context.ownNode) {
      delivery->PostPrivateMessage(context.ownNode, to.node, addresseeSession, room, kPrivateLine, colour, speaker.name,
                                   line, to.name, kRecordOnly);
    } else if (addresseeSession != speaker.id) {
      delivery->PostPrivateMessage(context.ownNode, to.node, addresseeSession, room, kPrivateLine, colour, speaker.name,
                                   line, to.name, kToSession);
    }
  }
  // The speaker always sees his own private line (once, even when he wrote to himself).
  delivery->PostPrivateMessage(context.ownNode, to.node, speaker.id, room, kPrivateLine, colour, speaker.name, line,
                               to.name, kToSession);
}
