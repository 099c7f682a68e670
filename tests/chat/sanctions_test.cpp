#include <gtest/gtest.h>

#include <cstdio>
#include <unistd.h>

#include "chat/manager_list.h"
#include "chat/sanctions.h"
#include "chat/timed_name_list.h"
#include "chat_fixture.h"
#include "support/temp_dir.h"

namespace {

TEST(ManagerList, EntriesKeepTheirOrderAndAreNotDoubled) {
  CManagerList managers;
  managers.AddEntry("boss", "Lobby");
  managers.AddEntry("boss", "Lobby");
  managers.AddEntry("root", kNoRoom);
  managers.AddEntry("", "Lobby");
  managers.AddEntry("chief", "Lobby");
  EXPECT_EQ(managers.Count(), 3u);
  EXPECT_TRUE(managers.FindEntry("root", kNoRoom));
  EXPECT_EQ(ManagerFileText(managers.Entries()), "chief:Lobby\nroot:pRoomName\nboss:Lobby\n");
  EXPECT_EQ(*managers.FindByRoom("Lobby"), "chief") << "the newest entry comes first";
  managers.RemoveEntry("chief", "Lobby");
  EXPECT_EQ(*managers.FindByRoom("Lobby"), "boss");
  managers.RemoveRoomEntries("Lobby");
  EXPECT_FALSE(managers.FindByRoom("Lobby"));
  EXPECT_EQ(managers.Count(), 1u);
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
  EXPECT_EQ(kicks.Count(), 0u);
  platform::ResetClockForTests();
}

TEST_F(ChatCore, KickAndBanNeedAManagerAndATargetInTheRoom) {
  Enter("Lobby", "boss", "s1");
  Enter("Lobby", "tom", "s2");
  Enter("Lobby", "ann", "s3");
  m_core->AddManager("boss", "Lobby");
  EXPECT_EQ(Kick(*m_core, "tom", "ann", "Lobby", 1), 0) << "tom manages nothing";
  EXPECT_EQ(Kick(*m_core, "boss", "nobody", "Lobby", 1), 0);
  EXPECT_EQ(Kick(*m_core, "boss", "TOM:node9", "Lobby", 1), 1) << "by name only, letter case aside";
  EXPECT_FALSE(m_core->FindSession("s2", "node1", false));
  EXPECT_TRUE(m_core->IsKicked("tom"));
  EXPECT_EQ(Ban(*m_core, "boss", "ann", "Lobby", "10.9.9.9", 1), 1);
  EXPECT_TRUE(m_core->IsBanned("10.0.0.1")) << "the banned user's own address";
  EXPECT_EQ(Out().find("CT\x06" "ET"), std::string::npos) << "kicked users leave silently";
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
  m_core = LoadChatCore(m_outbox);
  EXPECT_TRUE(m_core->IsManager("boss", "Lobby"));
  EXPECT_FALSE(m_core->IsManager("chief", ":chief:Lobby")) << "the room is all after the first ':'";
  EXPECT_FALSE(m_core->FindManagerOfRoom("NoSuchRoom"));
  EXPECT_TRUE(m_core->IsManager("long" + std::string(16, 'n'), "Lobby")) << "names cut to 20 bytes";
  EXPECT_EQ(m_core->Managers().size(), 2u);
}

TEST_F(ManagerFile, NotReadWithTheNodeLinkOn) {
  g_settings->Store("general:ifconnect", "1");
  m_core = LoadChatCore(m_outbox);
  EXPECT_TRUE(m_core->Managers().empty());
}

TEST(LoadRooms, StopsAtTheFirstMissingNumber) {
  CNodeOutbox outbox;
  {
    ScopedSettings settings({{"rooms:1", "One"}, {"rooms:2", " \t "}, {"rooms:3", "Three"}});
    EXPECT_EQ(LoadChatCore(outbox)->RoomCount(), 1);
  }
  ScopedSettings more({{"rooms:1", "One"}, {"rooms:2", "Two x.gif extra"}, {"rooms:4", "Four"}});
  const std::unique_ptr<CChatCore> core = LoadChatCore(outbox);
  EXPECT_EQ(core->RoomCount(), 2);
  EXPECT_EQ(core->FindRoom("Two")->background, "x.gif");
}

}  // namespace
