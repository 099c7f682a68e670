// The time stamp of the room's notices, as a Chinese system shows the time.
#include <gtest/gtest.h>

#include "chat/room_events.h"

namespace {

TEST(NoticeTime, TwelveHourClockBehindMorningOrAfternoon) {
  struct Case {
    int hour, minute, second;
    const char* shown;
  } cases[] = {
      {0, 5, 9, "上午12:05:09"},  {9, 30, 0, "上午09:30:00"},   {11, 59, 59, "上午11:59:59"},
      {12, 0, 0, "下午12:00:00"}, {19, 27, 35, "下午07:27:35"}, {23, 59, 59, "下午11:59:59"},
  };
  for (const Case& c : cases) {
    std::tm local{};
    local.tm_hour = c.hour;
    local.tm_min = c.minute;
    local.tm_sec = c.second;
    EXPECT_EQ(ChineseClockTime(local), c.shown) << c.hour << ":" << c.minute;
  }
}

}  // namespace
