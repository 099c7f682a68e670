// The pieces of the node link that a transport relies on: what a carried
// link keeps, the outbox's cap, answers that wake their waiter, and the
// names of the state hashes.
#include <gtest/gtest.h>

#include "nodelink/cluster_state.h"
#include "nodelink/node_link.h"

namespace {

TEST(CarriedNodeLink, OnlyRequestsWaitAndRecordsLeaveWithTheirStateChange) {
  CNodeOutbox outbox;
  CNodeLink link(outbox, true, "node1");
  link.SetStateHook([](RecordLayout layout, const RecordValues& values) {
    return StateOps{StateOp{"", "rooms", values.count("RM") ? values.at("RM") : "", std::string(LayoutType(layout))}};
  });
  link.SetCarried(true);
  const int lock = link.Emit(RecordLayout::kLockRoom, {{"RM", "a"}});
  const int logon = link.Emit(RecordLayout::kLogon, {{"UN", "tom"}});
  EXPECT_FALSE(link.ResendList().FindBySerial(lock)) << "the stream keeps it";
  EXPECT_TRUE(link.ResendList().FindBySerial(logon)) << "it waits for its answer";
  const std::vector<OutboxEntry> taken = outbox.Take(10);
  ASSERT_EQ(taken.size(), 2u);
  ASSERT_EQ(taken[0].state.size(), 1u);
  EXPECT_EQ(taken[0].state[0].value, "LR");
  EXPECT_EQ(RecordType(taken[1].record), "LG");
}

TEST(NodeOutbox, TheCapDropsTheOldestAndWhatFailedGoesBackInFront) {
  CNodeOutbox outbox;
  outbox.SetLimit(2);
  for (const char* record : {"a", "b", "c"}) outbox.Append(record);
  EXPECT_EQ(outbox.TakeDroppedCount(), 1u);
  EXPECT_EQ(outbox.TakeDroppedCount(), 0u);
  outbox.PutBack(outbox.Take(1));
  EXPECT_EQ(outbox.Snapshot(), "bc");
  EXPECT_TRUE(outbox.WaitForRecords(0)) << "appending signals a waiting writer";
  EXPECT_FALSE(outbox.WaitForRecords(0));
}

TEST(ResendList, AnAnswerSetsStatusAndReplyAndWakesItsWaiterOnce) {
  CMessageList list;
  list.Add(10, "request");
  int wakes = 0;
  EXPECT_TRUE(list.WakeOnAnswer(10, [&] { ++wakes; }));
  EXPECT_TRUE(list.SetAnswer(10, 1, "question?"));
  EXPECT_EQ(wakes, 1);
  EXPECT_EQ(list.FindBySerial(10)->status, 1);
  EXPECT_EQ(list.FindBySerial(10)->reply, "question?");
  EXPECT_FALSE(list.SetAnswer(11, 1, "")) << "an answer nobody waits for is dropped";
  EXPECT_FALSE(list.WakeOnAnswer(11, [] {}));
}

TEST(StateKeys, NameSharedAndOwnedHashesBothWays) {
  struct Case {
    std::string owner, hash, key;
  };
  for (const Case& c : {Case{"", "rooms", "shared:rooms"}, Case{"node1", "members", "node:node1:members"},
                        Case{"a:b", "members", "node:a:b:members"}}) {
    EXPECT_EQ(StateKey(c.owner, c.hash), c.key);
    std::string owner, hash;
    ASSERT_TRUE(ParseStateKey(c.key, owner, hash)) << c.key;
    EXPECT_EQ(owner, c.owner);
    EXPECT_EQ(hash, c.hash);
  }
  std::string owner, hash;
  EXPECT_FALSE(ParseStateKey("nodes", owner, hash));
  EXPECT_FALSE(ParseStateKey("node::members", owner, hash));
}

}  // namespace
