// Other nodes' records and state applied to a chat core, and the state
// changes this node's own records carry.
#include <gtest/gtest.h>

#include <set>

#include "chat/cluster_apply.h"
#include "chat/cluster_state_changes.h"
#include "chat/sanctions.h"
#include "chat_fixture.h"

namespace {

class LinkedChat : public ChatCore {
 protected:
  LinkedChat() { g_settings->Store("general:ifconnect", "1"); }
  static ParsedRecord Record(RecordLayout layout, const RecordValues& values) {
    return *ParseNodeRecord(BuildNodeRecord(layout, values, 50));
  }
  static std::string Member(const std::string& name, const std::string& id, const std::string& node,
                            const std::string& room) {
    return BuildNodeRecord(RecordLayout::kUserListEntry,
                           {{"UN", name}, {"SS", id}, {"ND", node}, {"RM", room}, {"MN", "1"}, {"IP", "10.0.0.9"}});
  }
};

TEST_F(LinkedChat, ARemoteUserComesMovesAndLeavesWithoutRecordsGoingOutAgain) {
  ApplyNodeRecord(*m_core, Record(RecordLayout::kJump, {{"NEW", "Lobby"}, {"ND", "node2"}, {"UN", "ann"},
                                                         {"RM", kNoRoom}, {"SS", "s2"}, {"MN", "3"}, {"IP", "10.0.0.2"}}));
  std::optional<SessionView> ann = m_core->FindSession("s2", "node2", false);
  ASSERT_TRUE(ann);
  EXPECT_EQ(ann->roomName, "Lobby");
  EXPECT_EQ(ann->level, 3);
  ApplyNodeRecord(*m_core, Record(RecordLayout::kJump, {{"NEW", "Den"}, {"ND", "node2"}, {"UN", "ann"},
                                                         {"RM", "Lobby"}, {"SS", "s2"}, {"MN", "3"}}));
  EXPECT_EQ(m_core->FindSession("s2", "node2", false)->roomName, "Den") << "a room made by joining is made here too";
  ApplyNodeRecord(*m_core, Record(RecordLayout::kLeave, {{"ND", "node2"}, {"UN", "ann"}, {"RM", "Den"}, {"SS", "s2"}}));
  EXPECT_FALSE(m_core->FindSession("s2", "node2", false));
  EXPECT_EQ(Out(), "") << "another node's user is its own node's to report";
}

TEST_F(LinkedChat, TheStateReplacesWhatIsHeldOfEachListedNode) {
  Enter("Lobby", "old", "s1", "node2");
  Enter("Lobby", "kept", "s2", "node2");
  Enter("Lobby", "other", "s3", "node3");
  Enter("Lobby", "mine", "s4", "node1");
  ClusterSnapshot state;
  state.shared[kRoomsHash]["den"] = BuildNodeRecord(RecordLayout::kCreateRoom, {{"RM", "Den"}, {"TP", "情感"}, {"UN", "ann"}});
  state.shared[kLocksHash]["den"] = "Den";
  state.nodes["node2"][kMembersHash] = {{"s2", Member("kept", "s2", "node2", "Den")},
                                        {"s5", Member("new", "s5", "node2", "Lobby")}};
  state.nodes["node1"][kMembersHash] = {};
  ApplyClusterSnapshot(*m_core, state);
  EXPECT_FALSE(m_core->FindSession("s1", "node2", false));
  EXPECT_EQ(m_core->FindSession("s2", "node2", false)->roomName, "Den");
  EXPECT_EQ(m_core->FindSession("s5", "node2", false)->roomName, "Lobby");
  EXPECT_TRUE(m_core->FindSession("s3", "node3", false)) << "a node the state does not list is left alone";
  EXPECT_TRUE(m_core->FindSession("s4", "node1", false)) << "this node's own users are its own";
  EXPECT_TRUE(m_core->FindRoom("Den")->locked);
  EXPECT_TRUE(m_core->IsManager("ann", "Den"));
}

TEST_F(LinkedChat, RecordsCarryTheStateChangeTheyMake) {
  const SessionView vic = Enter("Lobby", "vic", "s9", "node3");
  const StateOps kick = ClusterStateOf(*m_core, RecordLayout::kKick, {{"RM", "Lobby"}, {"PA", "vic:node3"}});
  ASSERT_EQ(kick.size(), 1u);
  EXPECT_EQ(kick[0].owner, "node3");
  EXPECT_EQ(kick[0].field, "s9");
  EXPECT_FALSE(kick[0].value) << "the victim's entry goes";
  const StateOps jump = ClusterStateOf(*m_core, RecordLayout::kJump,
                                       {{"NEW", "Den"}, {"ND", "node1"}, {"UN", "tom"}, {"SS", "s1"}, {"MN", "1"}});
  ASSERT_EQ(jump.size(), 1u);
  EXPECT_EQ(ParseNodeRecord(*jump[0].value)->Get("RM"), "Den");
  EXPECT_TRUE(ClusterStateOf(*m_core, RecordLayout::kRoomLine, {{"RM", "Lobby"}}).empty());
}

// Room fields are the room's name folded over its single-byte letters
// only (C8 41 keeps its 'A'); a removal also takes the field the folding of
// every byte stored before, and unlocking the lock stored so.
TEST_F(LinkedChat, RoomFieldsFoldLettersNotTrailBytes) {
  const std::string room = "Hall\xC8\x41";
  const StateOps made = ClusterStateOf(*m_core, RecordLayout::kCreateRoom, {{"RM", room}});
  ASSERT_EQ(made.size(), 1u);
  EXPECT_EQ(made[0].field, "hall\xC8\x41");
  std::set<std::string> gone;
  for (const StateOp& op : ClusterStateOf(*m_core, RecordLayout::kRemoveRoom, {{"RM", room}})) {
    EXPECT_FALSE(op.value);
    gone.insert(op.hash + ":" + op.field);
  }
  EXPECT_EQ(gone, (std::set<std::string>{std::string(kRoomsHash) + ":hall\xC8\x41", std::string(kRoomsHash) + ":hall\xC8\x61",
                                         std::string(kLocksHash) + ":hall\xC8\x41", std::string(kLocksHash) + ":hall\xC8\x61"}));
  EXPECT_EQ(ClusterStateOf(*m_core, RecordLayout::kUnlockRoom, {{"RM", room}}).size(), 2u);
  EXPECT_EQ(ClusterStateOf(*m_core, RecordLayout::kUnlockRoom, {{"RM", "Hall"}}).size(), 1u);
}

TEST_F(LinkedChat, ManagerLockAndAdmissionRecordsChangeTheRoomHere) {
  Enter("Lobby", "ann", "s2", "node2");
  const auto apply = [&](RecordLayout layout, const RecordValues& values) {
    ApplyNodeRecord(*m_core, Record(layout, values));
  };
  apply(RecordLayout::kSetManager, {{"RM", "Lobby"}, {"UN", "boss"}});
  EXPECT_TRUE(m_core->IsManager("boss", "Lobby"));
  apply(RecordLayout::kRemoveManager, {{"RM", "Lobby"}, {"UN", "boss"}});
  EXPECT_FALSE(m_core->IsManager("boss", "Lobby"));
  apply(RecordLayout::kLockRoom, {{"RM", "Lobby"}});
  EXPECT_TRUE(m_core->FindRoom("Lobby")->locked);
  m_core->SetAdmission("s2", "node2", false, false);
  apply(RecordLayout::kRefuse, {{"RM", "Lobby"}, {"SS", "s2"}, {"MA", "boss"}, {"ND", "node2"}});
  EXPECT_FALSE(m_core->FindSession("s2", "node2", false)->approved);
  apply(RecordLayout::kAuthorize, {{"RM", "Lobby"}, {"SS", "s2"}, {"MA", "boss"}, {"ND", "node2"}});
  EXPECT_TRUE(m_core->FindSession("s2", "node2", false)->approved);
  apply(RecordLayout::kUnlockRoom, {{"RM", "Lobby"}});
  EXPECT_FALSE(m_core->FindRoom("Lobby")->locked);
  apply(RecordLayout::kBan, {{"UN", "boss"}, {"RM", "Lobby"}, {"PA", "ann:node2"}, {"IP", "10.9.9.9"}});
  EXPECT_FALSE(m_core->FindSession("s2", "node2", false));
  EXPECT_TRUE(m_core->IsKicked("ann"));
  EXPECT_TRUE(m_core->IsBanned("10.0.0.1")) << "the banned user's own address, not the manager's";
  EXPECT_EQ(Out(), "") << "nothing goes out again";
}

TEST_F(LinkedChat, ANodeThatGoesTakesItsUsersWithIt) {
  Enter("Lobby", "ann", "s2", "node2");
  Enter("Lobby", "tom", "s1", "node1");
  DropNodeUsers(*m_core, "node2");
  EXPECT_FALSE(m_core->FindSession("s2", "node2", false));
  EXPECT_TRUE(m_core->FindSession("s1", "node1", false));
  DropNodeUsers(*m_core, "node1");
  EXPECT_TRUE(m_core->FindSession("s1", "node1", false)) << "never this node's own";
}

}  // namespace
