#include <gtest/gtest.h>

#include <cstdio>

#include "chat_fixture.h"
#include "support/temp_dir.h"

namespace {

TEST_F(ChatCore, ManagerEntries) {
  g_managerList->AddEntry("boss", "Lobby");
  g_managerList->AddEntry("boss", "Lobby");
  g_managerList->AddEntry("root", kNoRoom);
  g_managerList->AddEntry("", "Lobby");
  EXPECT_EQ(g_managerList->Count(), 2u);
  EXPECT_TRUE(g_managerList->FindEntry("root", kNoRoom));
  CTextBuffer html;
  g_managerList->CManagerListToBuffer(html);
  EXPECT_EQ(html.Str(), "<font color=#ff0000>boss</font>(Lobby)");
  CTextBuffer file;
  g_managerList->WriteFileText(file);
  EXPECT_EQ(file.Str(), "root:pRoomName\nboss:Lobby\n");
  EXPECT_EQ(g_managerList->FindByRoom("Lobby")->name, "boss");
  g_managerList->RemoveEntry("boss", "Lobby");
  EXPECT_FALSE(g_managerList->FindByRoom("Lobby"));
}

TEST(TimedNameList, PurgeRunsAtMostEveryFiftySeconds) {
  CTimedNameList kicks;
  kicks.Add("tom");
  kicks.Add("tom");
  kicks.Add("");
  EXPECT_EQ(kicks.Count(), 2u) << "duplicates kept, empty text ignored";
  platform::AdvanceClockForTests(30);
  kicks.Purge(10);
  EXPECT_EQ(kicks.Count(), 2u) << "30 seconds after the list was made: no purge yet";
  platform::AdvanceClockForTests(250);  // t = 280
  kicks.Purge(kKickAge);
  EXPECT_TRUE(kicks.Find("tom"));
  platform::AdvanceClockForTests(30);  // t = 310: expired, but the last purge was 30 s ago
  kicks.Purge(kKickAge);
  EXPECT_TRUE(kicks.Find("tom"));
  platform::AdvanceClockForTests(21);  // t = 331
  kicks.Purge(kKickAge);
  EXPECT_FALSE(kicks.Find("tom"));
  platform::ResetClockForTests();
}

class ManagerFile : public ChatCore {
 protected:
  void SetUp() override {
    ::chdir(m_dir.Path().c_str());
    m_dir.Write("managerlist.txt", "boss:Lobby\nx:\nab\n::chief:Lobby\nghost:NoSuchRoom\nlong" +
                                       std::string(30, 'n') + ":Lobby\n");
  }
  void TearDown() override {
    ::chdir("/");
    ChatCore::TearDown();
  }
  TempDir m_dir;
};

TEST_F(ManagerFile, OnlyLinesNamingExistingRoomsMakeManagers) {
  LoadChatCore();
  EXPECT_TRUE(g_managerList->FindEntry("boss", "Lobby"));
  EXPECT_FALSE(g_managerList->FindEntry("chief", ":chief:Lobby")) << "the room is all after the first ':'";
  EXPECT_FALSE(g_managerList->FindByRoom("NoSuchRoom"));
  EXPECT_TRUE(g_managerList->FindEntry("long" + std::string(16, 'n'), "Lobby")) << "names cut to 20 bytes";
  EXPECT_EQ(g_managerList->Count(), 2u);
}

TEST_F(ManagerFile, NotReadWithTheNodeLinkOn) {
  g_settings->Store("general:ifconnect", "1");
  LoadChatCore();
  EXPECT_EQ(g_managerList->Count(), 0u);
}

TEST(LoadRooms, StopsAtTheFirstMissingNumber) {
  ScopedSettings settings({{"rooms:1", "One"}, {"rooms:2", " \t "}, {"rooms:3", "Three"}});
  LoadChatCore();
  EXPECT_EQ(g_roomList->Count(), 1);
  DestroyChatCore();
  ScopedSettings more({{"rooms:1", "One"}, {"rooms:2", "Two x.gif extra"}, {"rooms:4", "Four"}});
  LoadChatCore();
  EXPECT_EQ(g_roomList->Count(), 2);
  EXPECT_EQ(g_roomList->FindByName("Two")->GetBackground(), "x.gif");
  DestroyChatCore();
}

}  // namespace
