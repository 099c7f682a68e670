// The event stream's ids: a line's place, written and read back.
#include "streams/event_format.h"

#include <gtest/gtest.h>

namespace {

TEST(EventIds, APlaceIsWrittenAndReadBack) {
  ChatEvent line;
  line.room = "r";
  for (const LinePlace place : {LinePlace{42, 0}, LinePlace{42, 3}}) {
    const std::string bytes = EventLineBytes(line, "ab12", place);
    const std::string id = bytes.substr(4, bytes.find('\n') - 4);
    const std::optional<LinePosition> parsed = ParseEventId(id);
    ASSERT_TRUE(parsed) << id;
    EXPECT_EQ(parsed->epoch, "ab12");
    EXPECT_EQ(parsed->place, place) << id;
    EXPECT_EQ(bytes.find("\"sub\"") != std::string::npos, place.sub != 0) << bytes;
  }
}

TEST(EventIds, WhatIsNoIdOfOursIsRefused) {
  for (const char* id : {"", "-5", "ab12-", "ab12-x", "ab12-5.", "ab12-5.x", "ab12-5.1.2", "ab12-5x", "ab12"}) {
    EXPECT_FALSE(ParseEventId(id)) << id;
  }
}

}  // namespace
