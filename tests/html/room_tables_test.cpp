#include "html/room_tables.h"

#include <gtest/gtest.h>

#include "../chat/chat_fixture.h"
#include "chat/room_events.h"

namespace {

size_t CountOf(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

TEST_F(ChatCore, ThreeColumnTableLeavesAShortLastRowOpen) {
  const SessionView tom = LogOn("tom", "s1");
  for (const char* name : {"A", "B", "C", "D"}) CreateRoom(*m_core, tom, name, "技术", "node1", true);
  m_core->SetRoomLocked("B", true);
  CTextBuffer page;
  CRoomListToBuffer3(page, "sid", "技术", m_core->RoomsOfCategory("技术", true), m_core->TotalMembers());
  const std::string text = page.Str();
  EXPECT_EQ(CountOf(text, "<tr><td width=\"27%\" height=\"15\" align=\"center\">"), 2u);
  EXPECT_EQ(CountOf(text, "<td width=\"27%\" height=\"15\" align=\"center\">"), 4u);
  EXPECT_EQ(CountOf(text, "</select></td></tr>"), 1u) << "rows of three; the last row of one stays open";
  EXPECT_NE(text.find("技术类聊天室\u3000\u3000 </font></TD></TR>"), std::string::npos);
  EXPECT_NE(text.find("popwin('/Blank?session=sid&message=/join%20"), std::string::npos);
  EXPECT_NE(text.find("')\">B<font color=#ff0000>(锁定)</font></a>"), std::string::npos) << "the locked mark";
  EXPECT_EQ(CountOf(text, "锁定"), 1u);
  EXPECT_NE(text.find("ACTION=\"newroom\""), std::string::npos) << "a user gets the creation form";
  EXPECT_NE(text.find("在线总人数:0</font>"), std::string::npos);
}

TEST_F(ChatCore, GuestSeesBareNamesAndNoCreationForm) {
  Enter("Lobby", "tom", "s1");
  CTextBuffer page;
  CRoomListToBuffer3(page, kGuestSession, "系统", m_core->RoomsOfCategory("系统", true), m_core->TotalMembers());
  const std::string text = page.Str();
  EXPECT_EQ(text.find("popwin"), std::string::npos);
  EXPECT_NE(text.find("\">Lobby<br><select"), std::string::npos);
  EXPECT_NE(text.find("<option>\u3000\u3000\u3000在线1人\u3000\u3000\u3000</option><option>tom</option>"),
            std::string::npos);
  EXPECT_EQ(text.find("newroom"), std::string::npos);
  EXPECT_NE(text.find("在线总人数:1</font>"), std::string::npos);
  CTextBuffer empty;
  CRoomListToBuffer3(empty, kGuestSession, "体育", m_core->RoomsOfCategory("体育", true), 0);
  EXPECT_NE(empty.Str().find("体育类聊天室(<font color=#ff0000 size=2>暂无</font>)</font></TD></TR>"),
            std::string::npos);
}

TEST_F(ChatCore, AllCategoriesListing) {
  const SessionView tom = LogOn("tom", "s1");
  CreateRoom(*m_core, tom, "Love", "情感", "node1", true);
  m_core->SetRoomLocked("Love", true);
  CTextBuffer list;
  CRoomListToBuffer(list, *m_core, "sid");
  EXPECT_EQ(list.Str(),
            "<br>系统聊天室:[<A HREF=\"/Blank?session=sid&message=/join%20Lobby\" TARGET=\"_top\">Lobby(0)</A>]"
            "[<A HREF=\"/Blank?session=sid&message=/join%20谈天说地\" TARGET=\"_top\">谈天说地(0)</A>]"
            "<br>情感类聊天室:[<A HREF=\"/Blank?session=sid&message=/join%20Love\" "
            "TARGET=\"_top\">Love(0)<font color=#ff0000>锁定</font></A>]"
            "<br>娱乐类聊天室(<font color=#ff0000 size=2>暂无</font>)"
            "<br>体育类聊天室(<font color=#ff0000 size=2>暂无</font>)"
            "<br>技术类聊天室(<font color=#ff0000 size=2>暂无</font>)"
            "<br>其它类聊天室(<font color=#ff0000 size=2>暂无</font>)");
}

TEST_F(ChatCore, UsersAndSearchTexts) {
  Enter("Lobby", "Tom", "s1");
  CTextBuffer users;
  CRoomListUserToBuffer(users, "v", m_core->OccupiedRooms(true));
  EXPECT_NE(users.Str().find("Lobby(1)</A>][<font color=#ff0000>Tom</font>]"), std::string::npos);
  m_core->SetRoomLocked("Lobby", true);
  CTextBuffer locked;
  CRoomListUserToBuffer(locked, "v", m_core->OccupiedRooms(true));
  EXPECT_NE(locked.Str().find("Lobby(1)<font color=#ff0000>锁定</font></A>]"), std::string::npos);
  EXPECT_EQ(SearchResultText(m_core->SearchUserByName("Tom"), 0), "Tom:Lobby&nbsp;");
  EXPECT_EQ(SearchResultText(m_core->SearchUserByName("Tom"), kSeeAddressesLevel), "Tom(10.0.0.1):Lobby&nbsp;");
}

TEST_F(ChatCore, OnlineListMarksManagersApprovedAndWaitingUsers) {
  Enter("Lobby", "boss", "s1");
  Enter("Lobby", "guest", "s2");
  Enter("Lobby", "wait", "s3");
  m_core->SetAdmission("s1", "node1", true, true);
  m_core->SetAdmission("s3", "node1", false, false);
  CTextBuffer list;
  OnlineToBuffer(list, *m_core->FindRoom("Lobby", true), false);
  EXPECT_EQ(list.Str(),
            "&nbsp;[<a href=\"javascript:parent.choose('boss');\" target=form>★boss</font></a>]<br>\r\n"
            "&nbsp;[<a href=\"javascript:parent.choose('guest');\" target=form>☆guest</font></a>]<br>\r\n"
            "&nbsp;[<a href=\"javascript:parent.choose('wait');\" target=form>○wait</font></a>]<br>\r\n");
  CTextBuffer linked;
  OnlineToBuffer(linked, *m_core->FindRoom("Lobby", true), true);
  EXPECT_NE(linked.Str().find("parent.choose('boss:node1');"), std::string::npos) << "with the node link on";
}

TEST(ManagerListHtml, LeavesOutManagersOfNoRoom) {
  CTextBuffer html;
  CManagerListToBuffer(html, {{"boss", "Lobby"}, {"root", kNoRoom}});
  EXPECT_EQ(html.Str(), "<font color=#ff0000>boss</font>(Lobby)");
}

}  // namespace
