#include "chat/chat_event.h"

#include "foundation/text.h"

std::string IgnoredSenderName(const ChatEvent& event) {
  const std::string_view shown = CutToCharacters(event.sender, event.isPrivate ? kShownSenderLimit : kShownNameLimit);
  return std::string(shown.substr(0, shown.find(':')));
}
