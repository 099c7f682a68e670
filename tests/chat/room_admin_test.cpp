#include "chat/room_admin.h"

#include <gtest/gtest.h>

#include <regex>

#include "chat_fixture.h"
#include "nodelink/node_record.h"

namespace {

// With the node link on, every change of room rights is told to the peers.
class RoomAdminRecords : public ChatCore {
 protected:
  void SetUp() override {
    g_settings->Store("general:ifconnect", "1");
    ChatCore::SetUp();
  }
  // A record as Records() shows it.
  static std::string Record(RecordLayout layout, const RecordValues& values) { return BuildNodeRecord(layout, values); }
  // The records written so far, their serial numbers left out.
  std::string Records() { return std::regex_replace(Out(), std::regex("SN\x06[0-9]+\x05"), ""); }
};

TEST_F(RoomAdminRecords, ManagersAndLocks) {
  ChangeManager(*m_core, "tom", "Lobby", true);
  EXPECT_TRUE(m_core->IsManager("tom", "Lobby"));
  ChangeManager(*m_core, "tom", "Lobby", false);
  EXPECT_FALSE(m_core->IsManager("tom", "Lobby"));
  EXPECT_TRUE(LockRoom(*m_core, "lobby", true)) << "the room by name, letter case aside";
  EXPECT_TRUE(m_core->FindRoom("Lobby")->locked);
  EXPECT_TRUE(LockRoom(*m_core, "Lobby", false));
  EXPECT_FALSE(m_core->FindRoom("Lobby")->locked);
  EXPECT_FALSE(LockRoom(*m_core, "Nowhere", true)) << "no room, no record";
  EXPECT_EQ(Records(), Record(RecordLayout::kSetManager, {{"RM", "Lobby"}, {"UN", "tom"}}) +
                       Record(RecordLayout::kRemoveManager, {{"RM", "Lobby"}, {"UN", "tom"}}) +
                       Record(RecordLayout::kLockRoom, {{"RM", "lobby"}}) +
                       Record(RecordLayout::kUnlockRoom, {{"RM", "Lobby"}}));
}

TEST_F(RoomAdminRecords, AuthorizeApprovesRefuseLeavesWaiting) {
  const SessionView ann = Enter("Lobby", "ann", "s1");
  m_core->SetAdmission("s1", "node1", false, false);
  EXPECT_TRUE(DecideAdmission(*m_core, "boss", "Lobby", "ANN:node7", false)) << "by name, letter case aside";
  EXPECT_FALSE(m_core->FindSession("s1", "node1", false)->approved);
  EXPECT_TRUE(DecideAdmission(*m_core, "boss", "Lobby", "ann", true));
  EXPECT_TRUE(m_core->FindSession("s1", "node1", false)->approved);
  EXPECT_FALSE(DecideAdmission(*m_core, "boss", "Lobby", "ghost", true)) << "nobody there, no record";
  EXPECT_EQ(Records(), Record(RecordLayout::kRefuse, {{"RM", "Lobby"}, {"SS", "s1"}, {"MA", "boss"}, {"ND", "node1"}}) +
                       Record(RecordLayout::kAuthorize, {{"RM", "Lobby"}, {"SS", "s1"}, {"MA", "boss"}, {"ND", "node1"}}));
}

}  // namespace
