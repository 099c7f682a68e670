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
  const Addressee to = ParseAddressee(form.FindField("towho"), context.ownNode, context.core.NodeLink().On());
  ChatEvent line;
  line.room = speaker.roomName;
  line.sender = speaker.name;
  line.senderNode = context.ownNode;
  line.colour = FormColour(form);
  line.action = Phrase(form, "UserAction");
  line.says = Phrase(form, "addsays");
  line.text = CleanChatText(text);
  line.spoken = true;
  if (form.FindField("towhoway") != "private") {
    line.addressee = to.towho;
    line.addressed = true;
    line.reach = Reach::kEverywhere;
    Say(context.core, line);
    return;
  }
  if (!context.speaker.room) return;
  line.kind = MessageKind::kPrivateLine;
  line.isPrivate = true;
  line.audience = Audience::kSession;
  line.addressee = to.name;
  line.addresseeNode = to.node;
  const std::string addresseeSession = context.core.FindIdByNameAndNode(context.speaker.room->name, to.name, to.node);
  const bool elsewhere = to.node != context.ownNode;
  if (!addresseeSession.empty() && (elsewhere || addresseeSession != speaker.id)) {
    line.session = addresseeSession;
    line.reach = elsewhere ? Reach::kElsewhere : Reach::kHere;
    Say(context.core, line);
  }
  // The speaker always sees his own private line (once, even when he wrote to himself).
  line.session = speaker.id;
  line.reach = Reach::kHere;
  Say(context.core, line);
}
