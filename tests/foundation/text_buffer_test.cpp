#include "foundation/text_buffer.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(TextBuffer, StaysNullUntilSomethingIsStored) {
  CTextBuffer buffer;
  EXPECT_EQ(buffer.CStr(), nullptr);
  buffer.AppendString("");
  EXPECT_EQ(buffer.CStr(), nullptr);
  buffer.Append(nullptr, 5);
  EXPECT_EQ(buffer.CStr(), nullptr);
  EXPECT_EQ(buffer.Length(), 0u);
}

TEST(TextBuffer, GrowsByTheFixedStep) {
  CTextBuffer buffer;
  buffer.Append(std::string(10, 'a'));
  EXPECT_EQ(buffer.Capacity(), 1034u);
  buffer.Append(std::string(1024, 'b'));  // 10 + 1024 >= 1034
  EXPECT_EQ(buffer.Capacity(), 2058u);
  EXPECT_EQ(buffer.Length(), 1034u);
  EXPECT_EQ(buffer.CStr()[buffer.Length()], '\0');
  buffer.SetGrowthStep(0);
  EXPECT_EQ(buffer.GrowthStep(), 1024u);
  buffer.SetGrowthStep(4096);
  EXPECT_EQ(buffer.GrowthStep(), 4096u);
}

TEST(TextBuffer, StoresNulBytesByCount) {
  CTextBuffer buffer;
  buffer.Append("ab\0cd", 5);
  EXPECT_EQ(buffer.Length(), 5u);
  EXPECT_STREQ(buffer.CStr(), "ab");
  buffer.AppendChar('\0');
  EXPECT_EQ(buffer.Length(), 6u);
  EXPECT_EQ(std::memcmp(buffer.CStr(), "ab\0cd\0", 6), 0);
}

TEST(TextBuffer, AppendManyAssignAndDetach) {
  CTextBuffer buffer;
  buffer.AppendMany("CT", std::string("\x06"), "RR", std::string_view("\x05"));
  EXPECT_EQ(buffer.Str(), "CT\x06RR\x05");
  CTextBuffer other;
  other.AssignString("xyz");
  buffer.AssignBuffer(other);
  EXPECT_STREQ(buffer.CStr(), "xyz");

  buffer.AssignString("abc");
  CDetachedText text = buffer.Detach();
  EXPECT_STREQ(text.get(), "abc");
  EXPECT_EQ(buffer.CStr(), nullptr);
  EXPECT_EQ(buffer.Capacity(), 0u);
  buffer.AppendString("d");
  EXPECT_NE(buffer.CStr(), text.get());
  EXPECT_STREQ(buffer.CStr(), "d");
}

TEST(TextBuffer, TakeMovesBytesFromTheFront) {
  CTextBuffer buffer;
  buffer.AppendString("hello");
  char out[8] = {};
  EXPECT_EQ(buffer.Take(out, 1), 1u);
  EXPECT_EQ(out[0], 'h');
  EXPECT_STREQ(buffer.CStr(), "ello");
  EXPECT_EQ(buffer.Take(nullptr, 0), 0u);
  EXPECT_EQ(buffer.Take(nullptr, 100), 4u);
  EXPECT_EQ(buffer.Length(), 0u);
}

TEST(TextBuffer, TakeLineTrimsTheLineEnd) {
  CTextBuffer buffer;
  buffer.AppendString("GET / HTTP/1.0\r\nHost: x\r\n");
  char line[2048];
  std::memset(line, 'z', sizeof line);
  EXPECT_EQ(buffer.TakeLine(line, 2048), 16);
  EXPECT_STREQ(line, "GET / HTTP/1.0");
  EXPECT_EQ(std::string(buffer.CStr(), 4), "Host");

  CTextBuffer lone;
  lone.AppendString("\nrest");
  EXPECT_EQ(lone.TakeLine(line, 2048), 1);
  EXPECT_STREQ(line, "");
  EXPECT_STREQ(lone.CStr(), "rest");

  CTextBuffer blanks;
  blanks.AppendString("a b  \r\n");
  EXPECT_EQ(blanks.TakeLine(line, 2048), 7);
  EXPECT_STREQ(line, "a b");
  // Nothing left: a stale line end must not be found again.
  EXPECT_EQ(blanks.TakeLine(line, 2048), -1);
}

// A line of nothing but blanks and its line end is trimmed down to its
// first byte and no further: the trimming once stepped below the buffer's
// start, which the ASan build (pointer-compare) reports.
TEST(TextBuffer, TakeLineOfBlanksOnlyStaysInsideTheBuffer) {
  for (const char* text : {"   \r\nnext\n", " \nnext\n", "\r\nnext\n"}) {
    CTextBuffer buffer;
    buffer.AppendString(text);
    char line[64];
    std::memset(line, 'z', sizeof line);
    EXPECT_EQ(buffer.TakeLine(line, 64), static_cast<int>(std::strchr(text, '\n') - text) + 1) << text;
    EXPECT_STREQ(line, "") << text;
    EXPECT_STREQ(buffer.CStr(), "next\n") << text;
  }
}

TEST(TextBuffer, TakeLineRefusesIncompleteOrBadRequests) {
  CTextBuffer buffer;
  char line[16];
  EXPECT_EQ(buffer.TakeLine(line, 16), -1);  // never stored
  buffer.AppendString("no line end");
  EXPECT_EQ(buffer.TakeLine(line, 16), -1);
  EXPECT_STREQ(buffer.CStr(), "no line end");
  buffer.AppendString("\n");
  EXPECT_EQ(buffer.TakeLine(nullptr, 16), -1);
  EXPECT_EQ(buffer.TakeLine(line, 1), -1);
  // A line longer than the area: the first size bytes move, untrimmed.
  CTextBuffer longLine;
  longLine.AppendString("0123456789\r\n");
  char small[4];
  EXPECT_EQ(longLine.TakeLine(small, 4), 4);
  EXPECT_EQ(std::string(small, 4), "0123");
  EXPECT_STREQ(longLine.CStr(), "456789\r\n");
}
