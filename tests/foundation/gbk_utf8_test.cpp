#include "foundation/gbk_utf8.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// The bytes of a u8"" literal (the plain literals of this file are GB2312).
std::string U8(const char8_t* text) { return std::string(reinterpret_cast<const char*>(text)); }

struct Case {
  std::string utf8;
  std::string gbk;
};

// In, as a browser's GB2312 form sends each character.
TEST(GbkFromUtf8, EachCharacterAsTheFormSendsIt) {
  const Case cases[] = {
      {"tom <b>&amp;", "tom <b>&amp;"},           // ASCII as itself (cleaning is the chat's)
      {U8(u8"你好大家"), "你好大家"},               // GB2312
      {U8(u8"誠"), "\xD5\x5C"},                     // GBK beyond GB2312, its trail byte '\'
      {U8(u8"€"), "\x80"},                          // the euro sign's own byte
      {U8(u8"😀"), "&#128512;"},                    // beyond the BMP
      {U8(u8"한"), "&#54620;"},                     // in the BMP, not in GBK
      {U8(u8"a\u0301"), "a&#769;"},                 // a combining mark outside GBK
      {"\xC0\xAF", "&#65533;&#65533;"},             // an overlong form: no UTF-8
      {"\xED\xA0\x80", "&#65533;&#65533;&#65533;"}, // a surrogate: no UTF-8
      {"ab\xE4\xBD", "ab&#65533;&#65533;"},         // cut in the middle
  };
  for (const Case& c : cases) EXPECT_EQ(GbkFromUtf8(c.utf8), c.gbk) << c.utf8;
}

TEST(GbkFromUtf8, ExactlyOnlyWhatGbkHolds) {
  EXPECT_EQ(GbkFromUtf8Exactly(U8(u8"汤姆€誠x")), std::optional<std::string>("汤姆\x80\xD5\x5Cx"));
  for (const std::string& refused : {U8(u8"tom😀"), U8(u8"한"), std::string("\xC0\xAF")}) {
    EXPECT_FALSE(GbkFromUtf8Exactly(refused).has_value()) << refused;
  }
}

// Out: GBK characters and the references the chat keeps become characters.
TEST(Utf8FromGbk, CharactersAndKeptReferences) {
  const Case cases[] = {
      {U8(u8"你好 誠 €"), "你好 \xD5\x5C \x80"},
      {U8(u8"😀 한!"), "&#128512; &#54620;!"},
      {"&#60; &#1; &#x41; &amp; &#", "&#60; &#1; &#x41; &amp; &#"},  // references to no printable character stay
      {U8(u8"a\uFFFDb\uFFFD"), "a\xFF" "b\x95"},                       // bytes that are no character
      {U8(u8"\uFFFD'"), "\x95'"},                                      // a lead byte never swallows what follows
  };
  for (const Case& c : cases) EXPECT_EQ(Utf8FromGbk(c.gbk), c.utf8) << c.utf8;
}

TEST(Utf8FromGbk, EveryGbkCharacterComesBackAsItWent) {
  std::string all;
  for (unsigned lead = 0x81; lead <= 0xFE; ++lead) {
    for (unsigned trail = 0x40; trail <= 0xFE; ++trail) {
      if (trail == 0x7F) continue;
      const std::string pair{static_cast<char>(lead), static_cast<char>(trail)};
      const std::optional<std::string> back = GbkFromUtf8Exactly(Utf8FromGbk(pair));
      if (back) all += *back == pair ? "" : pair;  // a pair that is no character comes back as none
    }
  }
  EXPECT_EQ(all, "") << "pairs that came back as other pairs";
}

}  // namespace
