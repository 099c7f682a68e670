#include <gtest/gtest.h>

#include "chat/room_events.h"
#include "chat/room_names.h"
#include "chat/session_end.h"
#include "chat_fixture.h"

namespace {

std::string Names(const std::vector<RoomView>& rooms) {
  std::string names;
  for (const RoomView& room : rooms) names += room.name + ",";
  return names;
}

TEST_F(ChatCore, SystemRoomsStartEmptyInTheSystemCategory) {
  const std::optional<RoomView> lobby = m_core->FindRoom("lobby");
  ASSERT_TRUE(lobby);
  EXPECT_EQ(lobby->name, "Lobby");
  EXPECT_EQ(lobby->background, "hall.gif");
  EXPECT_EQ(lobby->category, "系统");
  EXPECT_TRUE(lobby->system);
  EXPECT_EQ(lobby->memberCount, 0);
  EXPECT_EQ(m_core->RoomCount(), 2);
  const int id = std::stoi(lobby->id);
  EXPECT_GE(id, 1);
  EXPECT_LE(id, 32768);
  EXPECT_EQ(m_core->FindRoomById(lobby->id)->name, "Lobby");
}

TEST_F(ChatCore, EnteringAnExistingNameInOtherCaseCountsIntoThatRoom) {
  Enter("Lobby", "tom", "s1");
  const SessionView ann = Enter("LOBBY", "ann", "s2");
  EXPECT_EQ(ann.roomName, "Lobby") << "recorded under the room's own name";
  EXPECT_EQ(m_core->FindRoom("Lobby")->memberCount, 2);
  EXPECT_EQ(m_core->RoomCount(), 2) << "no new room";
  EXPECT_TRUE(m_core->RemoveSession("s1", "node1", false));
  EXPECT_EQ(m_core->FindRoom("Lobby")->memberCount, 1);
}

TEST_F(ChatCore, IdleSessionsExpireAtTheTimeoutAndAreAnnounced) {
  Enter("Lobby", "stale", "s2");
  Enter("Lobby", "remote", "s3", "node2");
  platform::AdvanceClockForTests(2);
  Enter("Lobby", "fresh", "s1");
  platform::AdvanceClockForTests(599);  // stale: 601 seconds, fresh: 599
  EXPECT_FALSE(m_core->FindMember("Lobby", "s2", "node1", true));
  EXPECT_TRUE(m_core->FindMember("Lobby", "s1", "node1", true));
  EXPECT_TRUE(m_core->FindMember("Lobby", "s3", "node2", true)) << "other nodes live 200 times longer";
  EXPECT_EQ(m_core->FindRoom("Lobby")->memberCount, 2);
  EXPECT_NE(Out().find("CT\x06" "ET\x05SN\x06"), std::string::npos) << "an ET record even with the node link off";
  EXPECT_NE(Out().find("UN\x06stale\x05"), std::string::npos);
}

TEST_F(ChatCore, SweepsWithinTwentySecondsDeleteNothing) {
  Enter("Lobby", "tom", "s1");
  platform::AdvanceClockForTests(590);
  EXPECT_TRUE(m_core->SweepIdleSessions().empty());
  platform::AdvanceClockForTests(15);  // tom is 605 seconds idle, the last sweep 15 seconds old
  EXPECT_TRUE(m_core->SweepIdleSessions().empty());
  EXPECT_TRUE(m_core->FindSession("s1", "node1", false));
  platform::AdvanceClockForTests(6);
  EXPECT_EQ(m_core->SweepIdleSessions().size(), 1u);
  EXPECT_FALSE(m_core->FindSession("s1", "node1", false));
}

TEST_F(ChatCore, SilentRemovalEmitsNothing) {
  Enter("Lobby", "tom", "s1");
  EndSessions(*m_core, {*m_core->RemoveSession("s1", "node1", false)});
  EXPECT_EQ(Out(), "");
  EXPECT_EQ(m_core->FindRoom("Lobby")->memberCount, 0);
}

TEST_F(ChatCore, EmptyUserRoomsAreSweptAfter900SecondsWithTheirManagers) {
  const SessionView tom = LogOn("tom", "s1");
  ASSERT_EQ(CreateRoom(*m_core, tom, "Den", "情感", "node1", true), 1);
  EXPECT_TRUE(m_core->IsManager("tom", "Den"));
  platform::AdvanceClockForTests(900);
  EXPECT_TRUE(m_core->RemoveOldRooms().empty()) << "900 seconds is not yet older than 900";
  platform::AdvanceClockForTests(31);
  EXPECT_EQ(m_core->RemoveOldRooms(), std::vector<std::string>{"Den"});
  EXPECT_FALSE(m_core->FindRoom("Den"));
  EXPECT_FALSE(m_core->IsManager("tom", "Den"));
  EXPECT_TRUE(m_core->FindRoom("Lobby")) << "system rooms stay";
}

TEST_F(ChatCore, RoomSweepRunsAtMostEveryThirtySeconds) {
  const SessionView tom = LogOn("tom", "s1");
  CreateRoom(*m_core, tom, "Den", "", "node1", true);
  platform::AdvanceClockForTests(31);
  m_core->RemoveOldRooms();  // sweeps; Den is still young
  platform::AdvanceClockForTests(900);
  m_core->RemoveOldRooms();
  EXPECT_FALSE(m_core->FindRoom("Den"));
  CreateRoom(*m_core, tom, "Den2", "", "node1", true);
  platform::AdvanceClockForTests(895);
  EXPECT_TRUE(m_core->RemoveOldRooms().empty()) << "Den2 is 895 seconds old";
  platform::AdvanceClockForTests(29);
  EXPECT_TRUE(m_core->RemoveOldRooms().empty()) << "the sweep of 29 seconds ago was too recent";
  platform::AdvanceClockForTests(2);
  EXPECT_FALSE(m_core->RemoveOldRooms().empty());
}

TEST_F(ChatCore, CategoryFilter) {
  const SessionView tom = LogOn("tom", "s1");
  for (const auto& [name, category] : std::vector<std::pair<std::string, std::string>>{
           {"NoCat", ""}, {"Odd", "奇怪"}, {"Love", "情感"}, {"FakeSys", "系统"}}) {
    CreateRoom(*m_core, tom, name, category, "node1", true);
  }
  EXPECT_EQ(Names(m_core->RoomsOfCategory("其它", false)), "NoCat,Odd,FakeSys,");
  EXPECT_EQ(m_core->FindRoom("NoCat")->category, "其它") << "stored as 其它";
  EXPECT_EQ(Names(m_core->RoomsOfCategory("情感", false)), "Love,");
  EXPECT_EQ(Names(m_core->RoomsOfCategory("系统", false)), "Lobby,谈天说地,") << "only real system rooms";
  EXPECT_EQ(Names(m_core->RoomsOfCategory("", false)), "");
}

TEST_F(ChatCore, SessionLookupsAcrossRooms) {
  Enter("Lobby", "Tom", "s1");
  Enter("谈天说地", "ann", "s2", "node2");
  LogOn("Tom", "s9");  // in no room: not found by name
  EXPECT_EQ(m_core->FindSessionIdByName("tom", "node1"), "s1");
  EXPECT_EQ(m_core->FindSessionIdByName("ann", "ALL_NODEID"), "s2");
  EXPECT_EQ(m_core->FindSessionIdByName("ann", "node1"), "");
  EXPECT_TRUE(m_core->FindInAnyRoom("s2", "node2", true));
  EXPECT_FALSE(m_core->FindInAnyRoom("s2", "node1", true));
  EXPECT_FALSE(m_core->FindInAnyRoom("s9", "node1", true));
  EXPECT_TRUE(m_core->FindInNoRoom("s9", "node1", true));
  EXPECT_EQ(m_core->FindIdByNameAndNode("Lobby", "TOM", "All_NodeId"), "s1");
  EXPECT_EQ(m_core->FindIdByNameAndNode("Lobby", "ann", "All_NodeId"), "") << "ann is in another room";
  const std::vector<SearchHit> hits = m_core->SearchUserByName("Tom");
  ASSERT_EQ(hits.size(), 1u) << "exact name, users in rooms only";
  EXPECT_EQ(hits[0].roomName, "Lobby");
  EXPECT_TRUE(m_core->SearchUserByName("tom").empty());
}

TEST_F(ChatCore, JoinMovesTheUserAndKeepsCountsRight) {
  const SessionView tom = LogOn("tom", "s1");
  JoinRoomFromLogon(*m_core, tom, "0", "Lobby", "node1", true);
  EXPECT_FALSE(m_core->FindInNoRoom("s1", "node1", false));
  const std::optional<SessionView> inLobby = m_core->FindMember("Lobby", "s1", "node1", true);
  ASSERT_TRUE(inLobby);
  EXPECT_EQ(m_core->FindRoom("Lobby")->memberCount, 1);
  EXPECT_EQ(JoinRoom(*m_core, *inLobby, inLobby->roomId, "lobby", "", "node1", true, true), 0) << "already there";
  EXPECT_EQ(m_core->FindRoom("Lobby")->memberCount, 1);
  EXPECT_EQ(JoinRoom(*m_core, *inLobby, inLobby->roomId, "NewPlace", "体育", "node1", true, true), 1);
  EXPECT_EQ(m_core->FindRoom("NewPlace")->category, "体育");
  EXPECT_EQ(m_core->FindRoom("NewPlace")->memberCount, 1);
  EXPECT_EQ(m_core->FindRoom("Lobby")->memberCount, 0);
  EXPECT_TRUE(m_core->FindMember("NewPlace", "s1", "node1", true));
  EXPECT_EQ(Out().find("CT\x06" "ET"), std::string::npos) << "moves are silent";
}

TEST_F(ChatCore, IgnoreListMovesWithTheUser) {
  const SessionView tom = Enter("Lobby", "tom", "s1");
  m_core->Ignore("s1", "node1", "Ann");
  m_core->Ignore("s1", "node1", "ann");
  JoinRoom(*m_core, tom, tom.roomId, "谈天说地", "", "node1", true, true);
  EXPECT_TRUE(m_core->IsIgnoring("s1", "node1", "ANN"));
  EXPECT_FALSE(m_core->IsIgnoring("s1", "node1", "bob"));
}

TEST_F(ChatCore, LogoutEndsTheSessionAnnouncedInARoomOrNot) {
  const SessionView tom = Enter("Lobby", "tom", "s1");
  DoOut(*m_core, tom, "node1");
  EXPECT_EQ(m_core->FindRoom("Lobby")->memberCount, 0);
  EXPECT_NE(Out().find("UN\x06tom\x05RM\x06Lobby"), std::string::npos);
  const SessionView ann = LogOn("ann", "s2");
  DoOut(*m_core, ann, "node1");
  EXPECT_FALSE(m_core->FindSession("s2", "node1", false)) << "logging out from the room list";
}

TEST_F(ChatCore, CreateRoomRefusals) {
  const SessionView tom = LogOn("tom", "s1");
  EXPECT_EQ(CreateRoom(*m_core, tom, "lobby", "", "node1", true), 0) << "exists in another case";
  EXPECT_EQ(CreateRoom(*m_core, tom, "pRoomName", "", "node1", true), 0);
  EXPECT_EQ(CreateRoom(*m_core, SessionView{}, "x", "", "node1", true), 0);
  EXPECT_EQ(CreateRoom(*m_core, tom, "x", "", "", true), 0);
  EXPECT_EQ(m_core->RoomCount(), 2);
}

TEST_F(ChatCore, StreamsFollowTheirSessionAndItsRoom) {
  const SessionView tom = Enter("Lobby", "tom", "s1");
  Enter("Lobby", "ann", "s2");
  const auto classic = StreamFormat::kClassic;
  EXPECT_EQ(m_core->AttachStream("s1", "node1", classic, 10, 100), 0u);
  EXPECT_EQ(m_core->AttachStream("s1", "node1", classic, 11, 200), 10u) << "a newer frame replaces the old";
  EXPECT_EQ(m_core->AttachStream("s1", "node1", classic, 9, 50), 9u) << "an older frame tied late goes itself";
  EXPECT_EQ(m_core->AttachStream("s2", "node1", classic, 22, 100), 0u);
  EXPECT_FALSE(m_core->AttachStream("nobody", "node1", classic, 33, 100));
  m_core->SetAdmission("s2", "node1", false, false);  // ann waits for approval
  m_core->Ignore("s1", "node1", "bob");
  auto streams = [&](MessageKind kind, const std::string& sender, const std::string& room = "Lobby") {
    ChatEvent line;
    line.room = room;
    line.kind = kind;
    line.sender = sender;
    std::vector<Recipient> out;
    m_core->Publish(std::make_shared<const ChatEvent>(line), "tom", out);
    std::string text;
    for (const Recipient& r : out) text += std::to_string(r.stream) + (r.addressed ? "!" : "") + ",";
    return text;
  };
  EXPECT_EQ(streams(MessageKind::kChatLine, "carl"), "11!,") << "a waiting user gets no chat lines";
  EXPECT_EQ(streams(MessageKind::kSystemLine, "carl"), "11!,22,") << "system lines reach him";
  EXPECT_EQ(streams(MessageKind::kRefusal, "carl"), "11!,22,") << "so do refusals";
  EXPECT_EQ(streams(MessageKind::kChatLine, "bob"), "") << "tom ignores bob";
  EXPECT_EQ(streams(MessageKind::kChatLine, "carl", "lobby"), "") << "a line names its room exactly";
  JoinRoom(*m_core, tom, tom.roomId, "谈天说地", "", "node1", true, true);
  EXPECT_EQ(streams(MessageKind::kSystemLine, "carl"), "22,") << "tom's stream went with him";
  m_core->DetachStream("s2", "node1", 22);
  EXPECT_EQ(streams(MessageKind::kSystemLine, "carl"), "");
  JoinRoom(*m_core, tom, m_core->FindRoom("谈天说地")->id, "Lobby", "", "node1", true, true);
  EXPECT_EQ(streams(MessageKind::kSystemLine, "carl"), "11!,") << "and comes back with him";
}

}  // namespace

namespace {

// Single-byte characters are tested, not the trail bytes of Chinese
// characters: U+8AA0 is D5 5C, U+744B is AC 7C.
TEST(RoomNames, TrailBytesAreNoSpecialCharacters) {
  for (const std::string name : {"\xD5\x5C" "室", "a\xAC\x7C", "大厅"}) EXPECT_TRUE(IsValidRoomName(name)) << name;
  for (const std::string name : {"", "a\\b", "\xD5\x5C\\", "a'", "a b", "a\x95", "\x95;"}) {
    EXPECT_FALSE(IsValidRoomName(name)) << name;
  }
}

}  // namespace
