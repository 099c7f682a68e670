#include "commands/help_command.h"

#include "chat/chat_core.h"
#include "chat/delivery.h"
#include "chat/room_lines.h"
#include "foundation/settings.h"
#include "foundation/text.h"
#include "foundation/text_buffer.h"
#include "html/page.h"
#include "http/request.h"

namespace {

std::string_view LeadOf(int mode) {
  if (mode == kHelpForBrowsers) return "<BR>\r\n";
  if (mode == kHelpForLineClients) return "\r\n";
  return "";
}

std::string ExtensionOf(int mode) {
  if (mode == kHelpForBrowsers) return GetSetting("help", "web_ext");
  if (mode == kHelpForLineClients) return GetSetting("help", "java_ext");
  return "";
}

}  // namespace

std::string HelpTopicFileName(std::string_view topic) {
  std::string name;
  ForEachCharacter(topic, [&name](std::string_view character) {
    const char c = character[0];
    if (character.size() == 2) {
      name += "__";  // a Chinese character's trail byte is no letter
    } else if (c >= 'A' && c <= 'Z') {
      name += static_cast<char>(c - 'A' + 'a');
    } else {
      name += (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ? c : '_';
    }
  });
  return name;
}

std::string HelpText(const CSiteFiles& site, int mode, const std::string& topic) {
  CTextBuffer text;
  text.Append(LeadOf(mode));
  const std::string directory = GetSetting("help", "directory");
  const std::string extension = ExtensionOf(mode);
  std::string name = directory + HelpTopicFileName(topic) + extension;
  if (topic.empty() || !site.Read(name)) name = directory + GetSetting("help", "default") + extension;
  IncludeFile(site, name, text);
  return text.Str();
}

void ShowHelp(CChatCore& core, const CSiteFiles& site, int mode, const std::string& room, const std::string& session,
              const std::string& topic) {
  ChatEvent help;
  help.room = room;
  help.kind = MessageKind::kSystemLine;
  help.audience = Audience::kSession;
  help.session = session;
  help.colour = "#ff0000";
  help.sender = "   ";
  help.text = HelpText(site, mode, topic);
  Say(core, help);
}

void CommandHelp(CommandContext& context, const std::string& topic) {
  if (!context.speaker.room) return;
  ShowHelp(context.core, context.request.Page().Site(), kHelpForBrowsers, context.Session().roomName,
           context.Session().id, topic);
}
