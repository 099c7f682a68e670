#include "nodelink/node_record.h"

#include <gtest/gtest.h>

#include "nodelink/node_link.h"

namespace {

class NodeLink : public ::testing::Test {
 protected:
  static size_t Count(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
  }
  CNodeOutbox m_outbox;
  CNodeLink m_link{m_outbox, true, "node1"};
};

TEST_F(NodeLink, RecordLayoutIsCodesSeparatorsAndCrLf) {
  EXPECT_EQ(BuildNodeRecord(RecordLayout::kRemoveRoom, {{"ND", "node1"}, {"RM", "lobby"}, {"XX", "ignored"}}, 10),
            "CT\x06RR\x05SN\x06" "10\x05ND\x06node1\x05RM\x06lobby\x05\r\n");
  // Unnumbered layouts never carry SN; missing values are written empty.
  EXPECT_EQ(BuildNodeRecord(RecordLayout::kRoomNotice, {{"RM", "r"}, {"MSG", "hi"}}, 99),
            "CT\x06PB\x05RM\x06r\x05" "CO\x06\x05" "FR\x06\x05MSG\x06hi\x05" "FND\x06\x05\r\n");
  EXPECT_EQ(BuildNodeRecord(RecordLayout::kUserLine, {}, -1, "PR").substr(0, 7), "CT\x06PR\x05R");
  const std::string longLine(2500, 'x');
  const std::string record = BuildNodeRecord(RecordLayout::kRoomLine, {{"MSG", longLine}});
  EXPECT_NE(record.find("MSG\x06" + std::string(1999, 'x') + "\x05"), std::string::npos);
  EXPECT_EQ(record.find(std::string(2000, 'x')), std::string::npos);
}

TEST_F(NodeLink, SerialNumbersStartAtTenAndRecordsAreKept) {
  CMessageList& resend = m_link.ResendList();
  EXPECT_EQ(m_link.Emit(RecordLayout::kLockRoom, {{"RM", "a"}}), 10);
  EXPECT_EQ(m_link.Emit(RecordLayout::kLockRoom, {{"RM", "b"}}), 11);
  EXPECT_EQ(resend.Count(), 2u);
  ASSERT_TRUE(resend.FindBySerial(11));
  EXPECT_EQ(resend.FindBySerial(11)->status, kNoAnswerYet);
  m_link.Write(RecordLayout::kRoomLine, {{"RM", "a"}});
  EXPECT_EQ(resend.Count(), 2u) << "PB records are not kept for resending";
  const std::string out = m_outbox.Snapshot();
  EXPECT_EQ(Count(out, "\r\n"), 3u);
  EXPECT_EQ(out.find("CT\x06PB\x05SN"), std::string::npos);
  m_link.Empty();
  EXPECT_EQ(m_outbox.Snapshot(), "");
  EXPECT_EQ(resend.Count(), 0u);
  CNodeLink nextPass(m_outbox, true, "node1");
  EXPECT_EQ(nextPass.Emit(RecordLayout::kLockRoom, {{"RM", "c"}}), 12) << "the counter outlives a pass";
}

TEST_F(NodeLink, AddingASerialAgainReplacesTheOlderItem) {
  CMessageList& resend = m_link.ResendList();
  resend.Add(12, "first");
  resend.Add(12, "second");
  resend.Add(13, "");
  EXPECT_EQ(resend.Count(), 1u);
  EXPECT_EQ(resend.FindBySerial(12)->record, "second");
  EXPECT_TRUE(resend.SetStatus(12, 1));
  EXPECT_TRUE(resend.SetReply(12, "ok"));
  EXPECT_FALSE(resend.SetStatus(99, 1));
  EXPECT_EQ(resend.FindBySerial(12)->status, 1);
  EXPECT_EQ(*resend.FindBySerial(12)->reply, "ok");
  resend.Remove(12);
  EXPECT_FALSE(resend.FindBySerial(12));
}

}  // namespace

namespace {

TEST(ParseNodeRecord, ReadsBackWhatWasBuilt) {
  const std::string built = BuildNodeRecord(RecordLayout::kJump,
                                            {{"NEW", "大厅"}, {"ND", "node1"}, {"UN", "tom"}, {"RM", ""}, {"SS", "s1"},
                                             {"MN", "0"}, {"IP", "10.0.0.1"}},
                                            12);
  const std::optional<ParsedRecord> record = ParseNodeRecord(built);
  ASSERT_TRUE(record);
  EXPECT_EQ(record->type, "JP");
  EXPECT_EQ(record->Get("SN"), "12");
  EXPECT_EQ(record->Get("NEW"), "大厅");
  EXPECT_EQ(record->Get("RM"), "");
  EXPECT_EQ(record->Get("XX"), "") << "a missing code reads empty";
}

TEST(ParseNodeRecord, RefusesWhatIsNotOneWholeRecord) {
  const std::string cases[] = {
      "",
      "CT\x06RR\x05",                         // no CR LF
      "CT\x06RR\x05SN\x06" "1\x05\r\nCT\x06RR\x05\r\n",  // two records
      "ND\x06node1\x05\r\n",                  // no CT
      "CT\x06\x05\r\n",                       // an empty CT
      "CT\x06RR\x05ct\x06x\x05\r\n",          // a code in small letters
      "CT\x06RR\x05RM\x06a\x06b\x05\r\n",     // a separator in a value
      "CT\x06RR\x05RM\x06a\x05RM\x06b\x05\r\n",  // a repeated code
      "CT\x06RR\x05junk\r\n",                 // bytes outside a field
  };
  for (const std::string& bytes : cases) EXPECT_FALSE(ParseNodeRecord(bytes)) << bytes;
}

}  // namespace
