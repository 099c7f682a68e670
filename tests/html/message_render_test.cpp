#include "html/message_render.h"

#include <gtest/gtest.h>

#include "chat/delivery.h"

namespace {

bool StartsWith(const std::string& text, const std::string& prefix) { return text.rfind(prefix, 0) == 0; }

TEST(RenderMessage1, MarksTheAddresseeAndLinksNames) {
  const RenderedLine line{"node1", "tom", "ann", "<font color=#000000>说: </font>hi", "red", MessageKind::kChatLine};
  const std::string tail =
      "<font color=red><a href=javascript:parent.choose('tom'); target=form><STRONG><font color=red>tom</font>"
      "</STRONG></A><font size=2 color=#000000>对</font><a href=javascript:parent.choose('ann'); target=form>"
      "<STRONG><font color=red>ann</font></STRONG></A><font color=#000000>说: </font>hi</font><BR>\n";
  EXPECT_EQ(RenderMessage1(line, "ann", false), "\r\n<font color= #ff0000>▲</font>" + tail);
  EXPECT_EQ(RenderMessage1(line, "bob", false), "\r\n<font color= #ff0000>△</font>" + tail);
  EXPECT_TRUE(StartsWith(RenderMessage1(line, "Ann", false), "\r\n<font color= #ff0000>△</font>"))
      << "the mark compares names exactly";
}

TEST(RenderMessage1, NodeLinkLinksCarryNodeIds) {
  const RenderedLine line{"node1", "tom", "ann:node2", "x", "red", MessageKind::kChatLine};
  const std::string text = RenderMessage1(line, "ann", true);
  EXPECT_NE(text.find("parent.choose('tom:node1')"), std::string::npos);
  EXPECT_NE(text.find("parent.choose('ann:node2')"), std::string::npos);
  EXPECT_NE(text.find("<font color=red>ann</font>"), std::string::npos);
  EXPECT_TRUE(StartsWith(text, "\r\n<font color= #ff0000>▲</font>"));
}

TEST(RenderMessage1, CleansNamesAndColours) {
  const RenderedLine line{"n", "a<b&c%d>", "x y=z", "L", "red size=7", MessageKind::kChatLine};
  const std::string text = RenderMessage1(line, "", false);
  EXPECT_NE(text.find("<font color=#000000>a(b(c$d)</font>"), std::string::npos) << text;
  EXPECT_NE(text.find("<font color=#000000>x-y-z</font>"), std::string::npos) << text;
  const RenderedLine everybody{"n", "tom", "", "L", "", MessageKind::kChatLine};
  const std::string toAll = RenderMessage1(everybody, "大家", false);
  EXPECT_TRUE(StartsWith(toAll, "\r\n<font color= #ff0000>▲</font>"));
  EXPECT_NE(toAll.find("<font color=#000000>大家</font>"), std::string::npos) << "an empty addressee shows as 大家";
}

TEST(RenderMessage2, EachKind) {
  RenderedLine line{"node1", "tom:node1", "ann:node1", "L", "blue", MessageKind::kPrivateLine};
  EXPECT_EQ(RenderMessage2(line, false),
            "<font color= #ff0000 >【密谈】</font><font color=blue><a href=javascript:parent.choose('tom'); "
            "target=form><STRONG><font color=blue>tom</font></STRONG></A><font size=2 color=#000000>对</font><a "
            "href=javascript:parent.choose('ann'); target=form><STRONG><font color=blue>ann</font></STRONG></A>L"
            "</font><BR>\r\n");
  line.kind = MessageKind::kPage;
  const std::string page = RenderMessage2(line, true);
  EXPECT_TRUE(StartsWith(page, "<font color= #ff0000 >【传呼】</font>"));
  EXPECT_NE(page.find("parent.choose('tom:node1')"), std::string::npos);
  EXPECT_NE(page.find(">呼</font>"), std::string::npos);
  EXPECT_EQ(page.substr(page.size() - 12), "</font><BR>\n");
  line.kind = MessageKind::kSystemLine;
  line.sender = "系统: <b>";
  EXPECT_EQ(RenderMessage2(line, false), "<font color= #000077 > 系统: <b> L</font><BR>\n") << "system lines are raw";
  line.kind = MessageKind::kNotice;
  line.sender = "tom:node1";
  EXPECT_EQ(RenderMessage2(line, false),
            "<font color= #ff0000 >【公告】: <a href=javascript:parent.choose('tom:node1'); target=form><STRONG>tom"
            "</STRONG></A> L</font><BR>\n");
  line.kind = MessageKind::kChatLine;
  line.sender = "管理员boss: (";
  line.colour = "#FF0000";
  EXPECT_EQ(RenderMessage2(line, false), "<font color=#FF0000>管理员boss: (L</font><BR>\n");
}

// Names with GBK characters whose trail byte is '\\' (D5 5C) or '|'
// (AC 7C) are linked and shown whole, and the 48-byte cut of a sender or
// addressee never leaves half a character.
TEST(RenderMessage2, ChineseNamesStayWhole) {
  const std::string sincere = "\xD5\x5C";
  const std::string jade = "\xAC\x7C";
  const std::string longName = std::string(47, 'a') + sincere;  // the cut at 48 falls inside D5 5C
  const RenderedLine line{"node1", sincere + jade, longName, "L", "blue", MessageKind::kPrivateLine};
  const std::string text = RenderMessage2(line, false);
  EXPECT_NE(text.find("parent.choose('" + sincere + jade + "')"), std::string::npos) << text;
  EXPECT_NE(text.find("<font color=blue>" + sincere + jade + "</font>"), std::string::npos) << text;
  EXPECT_NE(text.find("parent.choose('" + std::string(47, 'a') + "')"), std::string::npos) << text;
  EXPECT_EQ(text.find('\xD5', text.find(std::string(47, 'a'))), std::string::npos) << "no half character";
}

}  // namespace
