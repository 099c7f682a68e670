#include "commands/chat_line.h"

#include "chat/delivery.h"
#include "chat/room_lines.h"
#include "foundation/settings.h"
#include "foundation/text.h"
#include "http/request_form.h"

Addressee ParseAddressee(const std::string& towho, const std::string& ownNode, bool nodeLink) {
  Addressee addressee;
  addressee.towho = towho;
  for (char& c : addressee.towho) {
    if (c == '\x05' || c == '\x06') c = '-';
  }
  const std::string copy = addressee.towho.substr(0, kAddresseeCopyLimit);
  const size_t colon = copy.find(':');
  addressee.name = copy.substr(0, colon);
  addressee.node = colon == std::string::npos ? std::string() : copy.substr(colon + 1);
  addressee.node = addressee.node.substr(0, addressee.node.find(':'));
  if (addressee.name.size() > kAddresseeNameLimit || addressee.towho.find(' ') != std::string::npos ||
      addressee.name.empty()) {
    addressee.towho = addressee.name = kEverybody;
    addressee.node = ownNode;
  }
  if (!nodeLink) addressee.node = ownNode;
  return addressee;
}

void SayChatLine(CommandContext& context, const std::string& text) {
  const CUserSession& speaker = *context.speaker.session;
  if (!speaker.CUserSessionIsApproved()) return;
  const CRequestForm& form = context.form;
  const std::string colour = CleanUserText(form.FindField("addwordcolor"));
  const std::string line = "<font color=#000000>" + CleanUserText(form.FindField("UserAction")) +
                           CleanUserText(form.FindField("addsays")) + ": </font>" + CleanUserText(text);
  const Addressee to = ParseAddressee(form.FindField("towho"), context.ownNode,
                                      NodeLinkOn());
  if (form.FindField("towhoway") != "private") {
    AddMessageToRoom1(to.towho, 0, speaker.RoomName(), speaker.GetName(), colour, line, kChatLine);
    return;
  }
  CDelivery* delivery = g_delivery.load();
  if (!context.speaker.room || delivery == nullptr) return;
  const std::string room = speaker.RoomName();
  const std::string addresseeSession = context.speaker.room->Members().FindIdByNameAndNode(to.name, to.node);
  if (!addresseeSession.empty()) {
    if (to.node != context.ownNode) {
      delivery->PostPrivateMessage(context.ownNode, to.node, addresseeSession, room, kPrivateLine, colour,
                                   speaker.GetName(), line, to.name, kRecordOnly);
    } else if (addresseeSession != speaker.GetId()) {
      delivery->PostPrivateMessage(context.ownNode, to.node, addresseeSession, room, kPrivateLine, colour,
                                   speaker.GetName(), line, to.name, kToSession);
    }
  }
  // The speaker always sees his own private line (once, even when he wrote to himself).
  delivery->PostPrivateMessage(context.ownNode, to.node, speaker.GetId(), room, kPrivateLine, colour,
                               speaker.GetName(), line, to.name, kToSession);
}
