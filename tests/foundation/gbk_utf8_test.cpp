// Between the API's UTF-8 and the chat's GBK: each character in as a
// browser's GB2312 form sends it, and back out as the character.
#include "foundation/gbk_utf8.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// The bytes of a u8"" literal (the plain literals of this file are GB2312).
std::string U8(const char8_t* text) { return std::string(reinterpret_cast<const char*>(text)); }

struct Conversion {
  const char* what;
  std::string utf8;
  std::string gbk;
};

// Both ways: what goes in comes back out.
const Conversion kBothWays[] = {
    {"ASCII, controls and all (cleaning is the chat's)", "a <b>&c\n\t\x7F", "a <b>&c\n\t\x7F"},
    {"GB2312", U8(u8"你好，大厅"), "你好，大厅"},
    {"GBK beyond GB2312, trail '\\'", U8(u8"誠"), "\xD5\x5C"},
    {"GBK, trail 0x80", U8(u8"個"), "\x82\x80"},
    {"the euro sign, on one byte", U8(u8"€"), "\x80"},
    {"an emoji", U8(u8"😀"), "&#128512;"},
    {"hangul", U8(u8"한"), "&#54620;"},
    {"half-width kana", U8(u8"ｱ"), "&#65393;"},
    {"a combining mark outside GBK", U8(u8"a\u0301"), "a&#769;"},
    {"a mix", U8(u8"a😀你"), "a&#128512;你"},
};

TEST(GbkUtf8, CharactersGoInAsTheFormSendsThemAndComeBack) {
  for (const Conversion& c : kBothWays) {
    EXPECT_EQ(GbkFromUtf8(c.utf8), c.gbk) << c.what;
    EXPECT_EQ(Utf8FromGbk(c.gbk), c.utf8) << c.what;
  }
}

TEST(GbkUtf8, OnlyCharactersOfGbkGoInExactly) {
  // (Characters outside GB2312 stay out of the test macros, which quote their arguments as GB2312.)
  const std::string name = U8(u8"汤姆€誠x");
  EXPECT_EQ(GbkFromUtf8Exactly(name), std::optional<std::string>("汤姆\x80\xD5\x5Cx"));
  for (const std::string& refused : {U8(u8"tom😀"), U8(u8"한"), std::string("a\xFF"), std::string("\xC4\xE3")}) {
    EXPECT_FALSE(GbkFromUtf8Exactly(refused)) << refused;
  }
}

TEST(GbkUtf8, BytesThatAreNoUtf8BecomeTheReplacementCharacter) {
  const Conversion cases[] = {
      {"a stray byte", "a\xFF" "b", "a&#65533;b"},
      {"GBK sent as if it were UTF-8", "\xC4\xE3", "&#65533;&#65533;"},
      {"an overlong '/'", "\xC0\xAF", "&#65533;&#65533;"},
      {"a surrogate", "\xED\xA0\x80", "&#65533;&#65533;&#65533;"},
      {"cut in the middle", "ab\xE4\xBD", "ab&#65533;&#65533;"},
  };
  for (const Conversion& c : cases) EXPECT_EQ(GbkFromUtf8(c.utf8), c.gbk) << c.what;
}

// The chat keeps references to printable characters as they came; the
// character they name goes out. Other references, and bytes that are no
// character, do not pass as something else.
TEST(GbkUtf8, OutReferencesBecomeTheirCharacters) {
  const Conversion cases[] = {
      {"decimal", U8(u8"😀"), "&#128512;"},
      {"hex", U8(u8"😀"), "&#x1F600;"},
      {"a typed reference to a GB2312 character", U8(u8"你"), "&#20320;"},
      {"to ASCII: left as text", "&#60; &#x41;", "&#60; &#x41;"},
      {"to a control or a bidi override: left as text", "&#1;&#8238;", "&#1;&#8238;"},
      {"without its ';'", "&#20320 &amp; &#", "&#20320 &amp; &#"},
      {"a lead byte at the end", "a" + U8(u8"\uFFFD"), "a\xC4"},
      {"a lead byte before a byte that is no trail", U8(u8"\uFFFD") + "'", "\xC4'"},
      {"0xFF", U8(u8"\uFFFD"), "\xFF"},
  };
  for (const Conversion& c : cases) EXPECT_EQ(Utf8FromGbk(c.gbk), c.utf8) << c.what;
}

// Every two-byte GBK character the table knows comes back as itself.
TEST(GbkUtf8, EveryGbkCharacterRoundTrips) {
  int known = 0;
  std::string other;
  for (int lead = 0x81; lead <= 0xFE; ++lead) {
    for (int trail = 0x40; trail <= 0xFE; ++trail) {
      if (trail == 0x7F) continue;
      const std::string gbk{static_cast<char>(lead), static_cast<char>(trail)};
      const std::string utf8 = Utf8FromGbk(gbk);
      if (utf8 == U8(u8"\uFFFD")) continue;
      ++known;
      if (GbkFromUtf8(utf8) != gbk) other += gbk + " ";
    }
  }
  // Only A2 E3, the euro sign's pair, comes back as the byte browsers send.
  EXPECT_EQ(other, "\xA2\xE3 ") << "pairs that came back as other pairs";
  EXPECT_GT(known, 21000) << "GBK holds 21886 characters";
}

}  // namespace
