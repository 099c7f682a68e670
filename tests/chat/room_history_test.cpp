// A room's history: the places its lines take here and in a cluster's
// order, and which positions it can still resume from.
#include "chat/room_history.h"

#include <gtest/gtest.h>

namespace {

std::shared_ptr<const ChatEvent> Line() { return std::make_shared<ChatEvent>(); }

TEST(RoomHistory, ALineNumberedHereTakesTheNextOffsetAndTheOldestKeptGoes) {
  CRoomHistory history("e1", 2);
  for (int n = 0; n < 3; ++n) history.Append(Line());
  EXPECT_EQ(history.Last(), (LinePlace{3, 0}));
  ASSERT_EQ(history.Lines().size(), 2u);
  EXPECT_EQ(history.Lines().front().place, (LinePlace{2, 0}));
  EXPECT_TRUE(history.HoldsAllAfter({1, 0})) << "lines 2 and 3 are kept";
  EXPECT_FALSE(history.HoldsAllAfter({0, 0})) << "line 1 is gone";
  EXPECT_TRUE(history.HoldsAllAfter({3, 0})) << "nothing was said since";
  EXPECT_FALSE(history.HoldsAllAfter({4, 0})) << "an offset the room has not reached";
}

TEST(RoomHistory, LinesOfThisNodeComeBetweenTheLinesOfTheClustersOrder) {
  CRoomHistory history("local", 10);
  EXPECT_EQ(history.AppendBetween(Line()).position.place, (LinePlace{0, 1}));
  const AppendedLine first = history.AppendAt(Line(), "shared", 7);
  EXPECT_TRUE(first.newEpoch) << "the room takes the cluster's epoch";
  EXPECT_EQ(first.position.epoch, "shared");
  EXPECT_EQ(history.Lines().size(), 1u) << "lines of the old epoch are no use to a client of the new one";
  EXPECT_EQ(history.AppendBetween(Line()).position.place, (LinePlace{7, 1}));
  EXPECT_EQ(history.AppendBetween(Line()).position.place, (LinePlace{7, 2}));
  const AppendedLine next = history.AppendAt(Line(), "shared", 8);
  EXPECT_FALSE(next.newEpoch);
  EXPECT_EQ(next.position.place, (LinePlace{8, 0}));
  EXPECT_TRUE(history.HoldsAllAfter({6, 0})) << "a client of another node that saw line 6 misses nothing here";
  EXPECT_TRUE(history.HoldsAllAfter({7, 1}));
  EXPECT_TRUE(history.HoldsAllAfter({8, 5})) << "another node's sub-lines after the last line";
  EXPECT_FALSE(history.HoldsAllAfter({5, 0})) << "line 6 never came here";
}

TEST(RoomHistory, AGapInTheClustersOrderForgetsWhatCameBefore) {
  CRoomHistory history("shared", 10);
  history.AppendAt(Line(), "shared", 1);
  history.AppendAt(Line(), "shared", 2);
  history.AppendAt(Line(), "shared", 5);  // 3 and 4 were read past
  EXPECT_FALSE(history.HoldsAllAfter({2, 0}));
  EXPECT_TRUE(history.HoldsAllAfter({4, 0}));
  // Redis lost its data: the counter starts again under a new epoch.
  const AppendedLine again = history.AppendAt(Line(), "other", 1);
  EXPECT_TRUE(again.newEpoch);
  EXPECT_EQ(history.Lines().size(), 1u);
  EXPECT_EQ(history.Epoch(), "other");
}

TEST(RoomHistory, EveryNodeNamesARoomsSharedEpochAlike) {
  EXPECT_EQ(SharedRoomEpoch("c1", "大厅"), SharedRoomEpoch("c1", "大厅"));
  EXPECT_NE(SharedRoomEpoch("c1", "大厅"), SharedRoomEpoch("c1", "书房"));
  EXPECT_NE(SharedRoomEpoch("c1", "大厅"), SharedRoomEpoch("c2", "大厅"));
  EXPECT_EQ(SharedRoomEpoch("c1", "大厅").find('-'), std::string::npos) << "an id splits at its last dash";
}

}  // namespace
