// HELP: help texts from the site's files. [help] directory is the folder
// below the document directory, [help] default the page for no topic or a
// topic without a file, [help] web_ext and java_ext the extensions for
// browsers and for line clients.
#pragma once

#include <string>
#include <string_view>

#include "commands/speaker.h"

class CSiteFiles;

enum HelpMode : int { kHelpForLineClients = 0, kHelpForBrowsers = 1 };

// The topic as a file name: ASCII letters and digits in lower case, every
// other byte '_' (so no topic can name a file outside the help folder).
std::string HelpTopicFileName(std::string_view topic);
// The help text as the message frame shows it: a line break, then the
// topic's file or the default one (nothing more when neither exists).
std::string HelpText(const CSiteFiles& site, int mode, const std::string& topic);
// The help text as a system line to that session.
void ShowHelp(CChatCore& core, const CSiteFiles& site, int mode, const std::string& room, const std::string& session,
              const std::string& topic);

void CommandHelp(CommandContext& context, const std::string& topic);
