#include "nodelink/node_record.h"

#include <gtest/gtest.h>

#include "accounts/node_answer.h"
#include "nodelink/message_list.h"
#include "platform/stop_event.h"

namespace {

class NodeLink : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetSerialNumberForTests();
    EmptyNodeLinkBuffers();
    g_messageList = std::make_unique<CMessageList>();
    if (!g_stopEvent) g_stopEvent = std::make_unique<platform::CStopEvent>();
  }
  void TearDown() override {
    EmptyNodeLinkBuffers();
    g_messageList.reset();
  }
  static size_t Count(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
  }
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
  EXPECT_EQ(EmitNodeRecord(RecordLayout::kLockRoom, {{"RM", "a"}}), 10);
  EXPECT_EQ(EmitNodeRecord(RecordLayout::kLockRoom, {{"RM", "b"}}), 11);
  EXPECT_EQ(g_messageList->Count(), 2u);
  ASSERT_NE(g_messageList->FindBySerial(11), nullptr);
  EXPECT_EQ(g_messageList->FindBySerial(11)->status, kNoAnswerYet);
  WriteNodeRecord(RecordLayout::kRoomLine, {{"RM", "a"}});
  EXPECT_EQ(g_messageList->Count(), 2u) << "PB records are not kept for resending";
  const std::string out = OutBufferSnapshot();
  EXPECT_EQ(Count(out, "\r\n"), 3u);
  EXPECT_EQ(out.find("CT\x06PB\x05SN"), std::string::npos);
  EmptyNodeLinkBuffers();
  EXPECT_EQ(OutBufferSnapshot(), "");
  EXPECT_EQ(g_messageList->Count(), 0u);
}

TEST_F(NodeLink, AddingASerialAgainReplacesTheOlderItem) {
  g_messageList->Add(12, "first");
  g_messageList->Add(12, "second");
  g_messageList->Add(13, "");
  EXPECT_EQ(g_messageList->Count(), 1u);
  EXPECT_EQ(g_messageList->FindBySerial(12)->record, "second");
  g_messageList->SetStatus(12, 1);
  g_messageList->SetReply(12, "ok");
  EXPECT_EQ(g_messageList->FindBySerial(12)->status, 1);
  EXPECT_EQ(*g_messageList->FindBySerial(12)->reply, "ok");
  g_messageList->Remove(12);
  EXPECT_EQ(g_messageList->FindBySerial(12), nullptr);
}

TEST_F(NodeLink, UnansweredLogonIsSentFiveTimesThenFails) {
  int seconds = 0;
  const int result = AskNodeAndWait(RecordLayout::kLogon, {{"UN", "tom"}}, kLogonResends, [&] {
    ++seconds;
    return true;
  });
  EXPECT_EQ(result, kNodeAnswerFailed);
  EXPECT_EQ(seconds, 20);
  EXPECT_EQ(Count(OutBufferSnapshot(), "CT\x06LG\x05"), 5u);
  EXPECT_EQ(g_messageList->Count(), 0u) << "the request leaves the resend list";
}

TEST_F(NodeLink, UnansweredRegistrationIsSentThreeTimes) {
  int seconds = 0;
  EXPECT_EQ(AskNodeAndWait(RecordLayout::kRegister, {{"UN", "tom"}}, kRegistrationResends, [&] {
              ++seconds;
              return true;
            }),
            kNodeAnswerFailed);
  EXPECT_EQ(seconds, 10);
  EXPECT_EQ(Count(OutBufferSnapshot(), "CT\x06RG\x05"), 3u);
}

TEST_F(NodeLink, AnswerEndsTheWaitWithItsStatus) {
  int seconds = 0;
  const int result = AskNodeAndWait(RecordLayout::kLogon, {{"UN", "tom"}}, kLogonResends, [&] {
    if (++seconds == 3) g_messageList->SetStatus(10, 0);  // a peer answers "level 0"
    return true;
  });
  EXPECT_EQ(result, 0);
  EXPECT_EQ(seconds, 3);
}

}  // namespace
