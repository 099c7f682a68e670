#include "commands/help_command.h"

#include <gtest/gtest.h>

#include "html/page.h"
#include "support/settings_fixture.h"
#include "support/temp_dir.h"

namespace {

TEST(HelpTopic, LettersAndDigitsInLowerCaseEverythingElseAnUnderscore) {
  EXPECT_EQ(HelpTopicFileName("Room List"), "room_list");
  EXPECT_EQ(HelpTopicFileName("../etc/Passwd9"), "___etc_passwd9");
  EXPECT_EQ(HelpTopicFileName("帮助"), "____") << "each byte of a GB2312 character";
  EXPECT_EQ(HelpTopicFileName("\xC8\x41"), "__") << "a trail byte 'A' is no letter";
}

TEST(HelpText, TheTopicsFileTheDefaultOrNothing) {
  TempDir dir;
  dir.Write("help/room_list.html", "rooms\n");
  dir.Write("help/index.html", "index\n");
  dir.Write("help/room_list.txt", "rooms as lines\n");
  ScopedSettings settings({{"help:directory", "help/"},
                           {"help:default", "index"},
                           {"help:web_ext", ".html"},
                           {"help:java_ext", ".txt"}});
  const CSiteFiles site(dir.Path());
  struct Case {
    int mode;
    std::string topic;
    std::string text;
  } cases[] = {
      {kHelpForBrowsers, "Room List", "<BR>\r\nrooms\n\r\n"},
      {kHelpForBrowsers, "", "<BR>\r\nindex\n\r\n"},
      {kHelpForBrowsers, "nothing", "<BR>\r\nindex\n\r\n"},
      {kHelpForLineClients, "ROOM_LIST", "\r\nrooms as lines\n\r\n"},
      {kHelpForLineClients, "nothing", "\r\n"},
      {2, "help/room_list.html", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.topic);
    EXPECT_EQ(HelpText(site, c.mode, c.topic), c.text);
  }
}

}  // namespace
