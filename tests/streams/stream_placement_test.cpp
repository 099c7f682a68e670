#include "streams/stream_placement.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

// A room keeps its loop while a seat of it is held; a new room takes the
// loop with the fewest streams; a seat gives its place back once, however
// often it is moved.
TEST(StreamPlacement, RoomsShareOutTheLoopsAndSeatsGiveTheirPlaceBack) {
  CStreamPlacement placement(3);
  std::vector<CStreamSeat> big;
  for (int n = 0; n < 5; ++n) big.push_back(placement.Place("big"));
  for (const CStreamSeat& seat : big) EXPECT_EQ(seat.Loop(), 0);
  CStreamSeat small = placement.Place("small");
  EXPECT_EQ(small.Loop(), 1);
  CStreamSeat other = placement.Place("other");
  EXPECT_EQ(other.Loop(), 2);
  CStreamSeat third = placement.Place("third");
  EXPECT_EQ(third.Loop(), 1) << "loops 1 and 2 hold one each: the first of them";

  CStreamSeat moved = std::move(big.back());
  big.pop_back();
  EXPECT_EQ(moved.Loop(), 0);
  big.clear();
  EXPECT_EQ(placement.Place("big").Loop(), 0) << "the moved seat still holds loop 0 for it";
  CStreamSeat next = placement.Place("next");
  EXPECT_EQ(next.Loop(), 0);
  moved = CStreamSeat();  // the last seat of "big"
  other = CStreamSeat();
  EXPECT_EQ(placement.Place("big").Loop(), 2) << "placed anew, on the emptiest loop";
  CStreamSeat none;
  EXPECT_EQ(none.Loop(), -1);
}

}  // namespace
