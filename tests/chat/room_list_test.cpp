#include <gtest/gtest.h>

#include "chat/room_events.h"
#include "chat_fixture.h"

namespace {

TEST_F(ChatCore, SystemRoomsStartEmptyInTheSystemCategory) {
  RoomPtr lobby = g_roomList->FindByName("lobby");
  ASSERT_TRUE(lobby);
  EXPECT_EQ(lobby->GetName(), "Lobby");
  EXPECT_EQ(lobby->GetBackground(), "hall.gif");
  EXPECT_EQ(lobby->GetCategory(), "系统");
  EXPECT_TRUE(lobby->IsSystem());
  EXPECT_EQ(lobby->GetMemberCount(), 0);
  EXPECT_EQ(g_roomList->Count(), 2);
  const int id = std::stoi(lobby->GetId());
  EXPECT_GE(id, 1);
  EXPECT_LE(id, 32768);
}

TEST_F(ChatCore, EnteringAnExistingNameInOtherCaseCountsIntoThatRoom) {
  Enter("Lobby", "tom", "s1");
  Enter("LOBBY", "ann", "s2");
  RoomPtr lobby = g_roomList->FindByName("Lobby");
  EXPECT_EQ(lobby->GetMemberCount(), 2);
  EXPECT_EQ(g_roomList->Count(), 2) << "no new room";
  EXPECT_FALSE(g_roomList->CRoomListLeaveRoom(lobby->GetId()));
  EXPECT_TRUE(g_roomList->CRoomListLeaveRoom(lobby->GetId()));
  g_roomList->CRoomListLeaveRoom(lobby->GetId());
  EXPECT_EQ(lobby->GetMemberCount(), 0) << "never below zero";
}

TEST_F(ChatCore, IdleSessionsExpireAtTheTimeoutAndAreAnnounced) {
  SessionPtr fresh = Enter("Lobby", "fresh", "s1");
  SessionPtr stale = Enter("Lobby", "stale", "s2");
  SessionPtr remote = Enter("Lobby", "remote", "s3", "node2");
  RoomPtr lobby = g_roomList->FindByName("Lobby");
  const std::time_t now = platform::Now();
  fresh->SetLastActiveForTests(now - 599);
  stale->SetLastActiveForTests(now - 601);
  remote->SetLastActiveForTests(now - 601);
  platform::AdvanceClockForTests(21);  // the list's last sweep is older than 20 seconds
  const std::time_t later = platform::Now();
  fresh->SetLastActiveForTests(later - 599);
  stale->SetLastActiveForTests(later - 601);
  remote->SetLastActiveForTests(later - 601);
  EXPECT_FALSE(lobby->Members().FindBySessionAndNode("s2", "node1"));
  EXPECT_TRUE(lobby->Members().FindBySessionAndNode("s1", "node1"));
  EXPECT_TRUE(lobby->Members().FindBySessionAndNode("s3", "node2")) << "other nodes live 200 times longer";
  EXPECT_EQ(lobby->GetMemberCount(), 2);
  const std::string out = OutBufferSnapshot();
  EXPECT_NE(out.find("CT\x06" "ET\x05SN\x06"), std::string::npos) << "an ET record even with the node link off";
  EXPECT_NE(out.find("UN\x06stale\x05"), std::string::npos);
}

TEST_F(ChatCore, SweepsWithinTwentySecondsDeleteNothing) {
  SessionPtr tom = Enter("Lobby", "tom", "s1");
  RoomPtr lobby = g_roomList->FindByName("Lobby");
  platform::AdvanceClockForTests(21);
  lobby->Members().SessionIdleSweep();  // sweeps now, nothing expired
  tom->SetLastActiveForTests(platform::Now() - 10000);
  platform::AdvanceClockForTests(19);
  lobby->Members().SessionIdleSweep();
  EXPECT_EQ(lobby->Members().Count(), 1);
  platform::AdvanceClockForTests(2);
  lobby->Members().SessionIdleSweep();
  EXPECT_EQ(lobby->Members().Count(), 0);
}

TEST_F(ChatCore, SilentRemovalEmitsNothing) {
  SessionPtr tom = Enter("Lobby", "tom", "s1");
  tom->SetRemovalMode(kSilentRemoval);
  g_roomList->FindByName("Lobby")->Members().RemoveBySessionAndNode("s1", "node1");
  EXPECT_EQ(OutBufferSnapshot(), "");
  EXPECT_EQ(g_roomList->FindByName("Lobby")->GetMemberCount(), 0);
}

TEST_F(ChatCore, EmptyUserRoomsAreSweptAfter900SecondsWithTheirManagers) {
  SessionPtr tom = LogOn("tom", "s1");
  ASSERT_EQ(CreateRoom(tom, "Den", "情感", "node1", true), 1);
  EXPECT_TRUE(g_managerList->FindEntry("tom", "Den"));
  platform::AdvanceClockForTests(900);
  g_roomList->CRoomSessionRemoveOldRooms();
  EXPECT_TRUE(g_roomList->FindByName("Den")) << "900 seconds is not yet older than 900";
  platform::AdvanceClockForTests(31);
  g_roomList->CRoomSessionRemoveOldRooms();
  EXPECT_FALSE(g_roomList->FindByName("Den"));
  EXPECT_FALSE(g_managerList->FindEntry("tom", "Den"));
  EXPECT_TRUE(g_roomList->FindByName("Lobby")) << "system rooms stay";
}

TEST_F(ChatCore, RoomSweepRunsAtMostEveryThirtySeconds) {
  SessionPtr tom = LogOn("tom", "s1");
  CreateRoom(tom, "Den", "", "node1", true);
  platform::AdvanceClockForTests(31);
  g_roomList->CRoomSessionRemoveOldRooms();  // sweeps; Den is still young
  platform::AdvanceClockForTests(900);
  g_roomList->CRoomSessionRemoveOldRooms();
  EXPECT_FALSE(g_roomList->FindByName("Den"));
  CreateRoom(tom, "Den2", "", "node1", true);
  g_roomList->FindByName("Den2")->SetEmptySince(0);
  g_roomList->CRoomSessionRemoveOldRooms();
  EXPECT_TRUE(g_roomList->FindByName("Den2")) << "a second sweep within 30 seconds does nothing";
}

TEST_F(ChatCore, CategoryFilter) {
  SessionPtr tom = LogOn("tom", "s1");
  CreateRoom(tom, "NoCat", "", "node1", true);
  CreateRoom(tom, "Odd", "奇怪", "node1", true);
  CreateRoom(tom, "Love", "情感", "node1", true);
  CreateRoom(tom, "FakeSys", "系统", "node1", true);
  auto listed = [](const std::string& category) {
    std::string names;
    for (const RoomPtr& room : g_roomList->Snapshot()) {
      if (RoomPassesCategoryFilter(*room, category)) names += room->GetName() + ",";
    }
    return names;
  };
  EXPECT_EQ(listed("其它"), "NoCat,Odd,FakeSys,");
  EXPECT_EQ(g_roomList->FindByName("NoCat")->GetCategory(), "其它") << "stored from now on";
  EXPECT_EQ(listed("情感"), "Love,");
  EXPECT_EQ(listed("系统"), "Lobby,谈天说地,") << "only real system rooms";
  EXPECT_EQ(listed(""), "");
}

TEST_F(ChatCore, ThreeColumnTableLeavesAShortLastRowOpen) {
  SessionPtr tom = LogOn("tom", "s1");
  for (const char* name : {"A", "B", "C", "D"}) CreateRoom(tom, name, "技术", "node1", true);
  CTextBuffer page;
  g_roomList->CRoomListToBuffer3(page, "sid", "tom", "技术");
  const std::string text = page.Str();
  auto count = [&](const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
  };
  EXPECT_EQ(count("<tr><td width=\"27%\" height=\"15\" align=\"center\">"), 2u);
  EXPECT_EQ(count("<td width=\"27%\" height=\"15\" align=\"center\">"), 4u);
  EXPECT_EQ(count("</select></td></tr>"), 1u) << "rows of three; the last row of one stays open";
  EXPECT_NE(text.find("技术类聊天室\u3000\u3000 </font></TD></TR>"), std::string::npos);
  EXPECT_NE(text.find("popwin('/Blank?session=sid&message=/join%20"), std::string::npos);
  EXPECT_NE(text.find("ACTION=\"newroom\""), std::string::npos) << "a user gets the creation form";
  EXPECT_NE(text.find("在线总人数:0</font>"), std::string::npos);
}

TEST_F(ChatCore, GuestSeesBareNamesAndNoCreationForm) {
  Enter("Lobby", "tom", "s1");
  CTextBuffer page;
  g_roomList->CRoomListToBuffer3(page, "0000", "Guest", "系统");
  const std::string text = page.Str();
  EXPECT_EQ(text.find("popwin"), std::string::npos);
  EXPECT_NE(text.find("\">Lobby<br><select"), std::string::npos);
  EXPECT_NE(text.find("<option>\u3000\u3000\u3000在线1人\u3000\u3000\u3000</option><option>tom</option>"),
            std::string::npos);
  EXPECT_EQ(text.find("newroom"), std::string::npos);
  EXPECT_NE(text.find("在线总人数:1</font>"), std::string::npos);
  CTextBuffer empty;
  g_roomList->CRoomListToBuffer3(empty, "0000", "Guest", "体育");
  EXPECT_NE(empty.Str().find("体育类聊天室(<font color=#ff0000 size=2>暂无</font>)</font></TD></TR>"),
            std::string::npos);
}

TEST_F(ChatCore, AllCategoriesListing) {
  SessionPtr tom = LogOn("tom", "s1");
  CreateRoom(tom, "Love", "情感", "node1", true);
  g_roomList->FindByName("Love")->SetLocked(true);
  CTextBuffer list;
  g_roomList->CRoomListToBuffer(list, "sid");
  EXPECT_EQ(list.Str(),
            "<br>系统聊天室:[<A HREF=\"/Blank?session=sid&message=/join%20Lobby\" TARGET=\"_top\">Lobby(0)</A>]"
            "[<A HREF=\"/Blank?session=sid&message=/join%20谈天说地\" TARGET=\"_top\">谈天说地(0)</A>]"
            "<br>情感类聊天室:[<A HREF=\"/Blank?session=sid&message=/join%20Love\" "
            "TARGET=\"_top\">Love(0)<font color=#ff0000>LOCKED</font></A>]"
            "<br>娱乐类聊天室(<font color=#ff0000 size=2>暂无</font>)"
            "<br>体育类聊天室(<font color=#ff0000 size=2>暂无</font>)"
            "<br>技术类聊天室(<font color=#ff0000 size=2>暂无</font>)"
            "<br>其它类聊天室(<font color=#ff0000 size=2>暂无</font>)");
}

TEST_F(ChatCore, SessionLookupsAcrossRooms) {
  Enter("Lobby", "Tom", "s1");
  Enter("谈天说地", "ann", "s2", "node2");
  EXPECT_EQ(g_roomList->CRoomSessionFindSessionByName("tom", "node1"), "s1");
  EXPECT_EQ(g_roomList->CRoomSessionFindSessionByName("ann", "ALL_NODEID"), "s2");
  EXPECT_EQ(g_roomList->CRoomSessionFindSessionByName("ann", "node1"), "");
  EXPECT_TRUE(g_roomList->CRoomSessionListFindUserSession("s2", "node2"));
  EXPECT_FALSE(g_roomList->CRoomSessionListFindUserSession("s2", "node1"));
  CTextBuffer found;
  g_roomList->CRoomSessionSearchUserByName(found, "Tom", 0);
  EXPECT_EQ(found.Str(), "Tom:Lobby&nbsp;");
  CTextBuffer withAddress;
  g_roomList->CRoomSessionSearchUserByName(withAddress, "Tom", kSeeAddressesLevel);
  EXPECT_EQ(withAddress.Str(), "Tom(10.0.0.1):Lobby&nbsp;");
  CTextBuffer users;
  g_roomList->CRoomListUserToBuffer(users, "v");
  EXPECT_NE(users.Str().find("Lobby(1)</A>][<font color=#ff0000>Tom</font>]"), std::string::npos);
}

TEST_F(ChatCore, OnlineListMarksManagersApprovedAndWaitingUsers) {
  SessionPtr boss = Enter("Lobby", "boss", "s1");
  SessionPtr guest = Enter("Lobby", "guest", "s2");
  SessionPtr waiting = Enter("Lobby", "wait", "s3");
  boss->SetManager(true);
  waiting->SetApproved(false);
  CTextBuffer list;
  g_roomList->FindByName("Lobby")->Members().OnlineToBuffer(list, "Lobby");
  EXPECT_EQ(list.Str(),
            "&nbsp;[<a href=\"javascript:parent.choose('boss');\" target=form>★boss</font></a>]<br>\r\n"
            "&nbsp;[<a href=\"javascript:parent.choose('guest');\" target=form>☆guest</font></a>]<br>\r\n"
            "&nbsp;[<a href=\"javascript:parent.choose('wait');\" target=form>○wait</font></a>]<br>\r\n");
}

TEST_F(ChatCore, JoinMovesTheUserAndKeepsCountsRight) {
  SessionPtr tom = LogOn("tom", "s1");
  JoinRoomFromLogon(tom, "0", "Lobby", "node1", true);
  EXPECT_FALSE(g_onlineList->FindBySessionAndNode("s1", "node1", false));
  RoomPtr lobby = g_roomList->FindByName("Lobby");
  SessionPtr inLobby = lobby->Members().FindBySessionAndNode("s1", "node1");
  ASSERT_TRUE(inLobby);
  EXPECT_EQ(lobby->GetMemberCount(), 1);
  EXPECT_EQ(JoinRoom(inLobby, lobby->GetId(), "lobby", "", "node1", true, true), 0) << "already there";
  EXPECT_EQ(lobby->GetMemberCount(), 1);
  EXPECT_EQ(JoinRoom(inLobby, lobby->GetId(), "NewPlace", "体育", "node1", true, true), 1);
  RoomPtr newPlace = g_roomList->FindByName("NewPlace");
  EXPECT_EQ(newPlace->GetCategory(), "体育");
  EXPECT_EQ(newPlace->GetMemberCount(), 1);
  EXPECT_EQ(lobby->GetMemberCount(), 0);
  EXPECT_TRUE(newPlace->Members().FindBySessionAndNode("s1", "node1"));
  EXPECT_EQ(OutBufferSnapshot().find("CT\x06" "ET"), std::string::npos) << "moves are silent";
}

TEST_F(ChatCore, LogoutEndsTheSessionAnnouncedInARoomOrNot) {
  SessionPtr tom = Enter("Lobby", "tom", "s1");
  DoOut(tom, "node1");
  EXPECT_EQ(g_roomList->FindByName("Lobby")->GetMemberCount(), 0);
  EXPECT_NE(OutBufferSnapshot().find("UN\x06tom\x05RM\x06Lobby"), std::string::npos);
  SessionPtr ann = LogOn("ann", "s2");
  DoOut(ann, "node1");
  EXPECT_FALSE(g_onlineList->FindBySessionAndNode("s2", "node1", false)) << "logging out from the room list";
}

TEST_F(ChatCore, CreateRoomRefusals) {
  SessionPtr tom = LogOn("tom", "s1");
  EXPECT_EQ(CreateRoom(tom, "lobby", "", "node1", true), 0) << "exists in another case";
  EXPECT_EQ(CreateRoom(tom, "pRoomName", "", "node1", true), 0);
  EXPECT_EQ(CreateRoom(nullptr, "x", "", "node1", true), 0);
  EXPECT_EQ(CreateRoom(tom, "x", "", "", true), 0);
  EXPECT_EQ(g_roomList->Count(), 2);
}

}  // namespace
