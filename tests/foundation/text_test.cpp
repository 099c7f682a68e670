#include "foundation/text.h"

#include <gtest/gtest.h>

#include <vector>

#include "foundation/character_reference.h"

namespace {

// Real GBK characters whose trail byte has the value of an ASCII character.
const std::string kSincere = "\xD5\x5C";  // U+8AA0: the trail is '\'
const std::string kJade = "\xAC\x7C";     // U+744B: the trail is '|'
const std::string kChina = "\xC8\x41";    // U+83EF: the trail is 'A'
const std::string kUp = "\x81\x41";       // U+4E04 and U+4E64: two characters whose
const std::string kOther = "\x81\x61";    // trails are 'A' and 'a'
const std::string kEuro = "\x80";         // the euro sign on its own byte

std::vector<std::string> Characters(const std::string& text) {
  std::vector<std::string> characters;
  ForEachCharacter(text, [&](std::string_view c) { characters.emplace_back(c); });
  return characters;
}

TEST(GbkWalk, ATrailByteIsNeverItsOwnCharacter) {
  using List = std::vector<std::string>;
  EXPECT_EQ(Characters("a" + kSincere + "b" + kJade), (List{"a", kSincere, "b", kJade}));
  EXPECT_EQ(Characters(kEuro + "x\xFF" + "y"), (List{kEuro, "x", "\xFF", "y"})) << "0x80 and 0xFF stand alone";
  // A lead byte without its trail is one byte, and what follows it is read
  // on its own: the quote, the DEL, the 0xFF and the end are never swallowed.
  EXPECT_EQ(Characters("\x95'"), (List{"\x95", "'"}));
  EXPECT_EQ(Characters("\x95\x7F"), (List{"\x95", "\x7F"}));
  EXPECT_EQ(Characters("\x95\xFF"), (List{"\x95", "\xFF"}));
  EXPECT_EQ(Characters("ab\x95"), (List{"a", "b", "\x95"}));
  EXPECT_EQ(Characters("\x95\x95\x5C"), (List{"\x95\x95", "\x5C"})) << "pairs are taken from the left";

  EXPECT_TRUE(HasOnlyWholeCharacters("tom" + kSincere + kEuro + "大家"));
  for (const std::string broken : {"\x95", "a\x95'", "\xFF", "\x95\x7F"}) EXPECT_FALSE(HasOnlyWholeCharacters(broken));

  EXPECT_FALSE(HasSingleByteOf(kSincere + kJade, "\\|"));
  EXPECT_TRUE(HasSingleByteOf(kSincere + "\\", "\\"));
  EXPECT_FALSE(HasSingleByteOf("\x95\\", "\\")) << "95 5C is one character, as a browser reads it";
  EXPECT_TRUE(HasSingleByteOf("\x95 \\", "\\"));
}

TEST(GbkWalk, FoldingTouchesSingleByteLettersOnly) {
  EXPECT_EQ(AsciiLower("Tom" + kChina + "X"), "tom" + kChina + "x");
  EXPECT_EQ(AsciiUpper("tom" + kOther), "TOM" + kOther);
  EXPECT_TRUE(EqualsFolded("Tom" + kSincere, "tOM" + kSincere));
  EXPECT_FALSE(EqualsFolded(kUp, kOther)) << "two characters, not two cases of one";
  EXPECT_NE(AsciiLower(kUp), AsciiLower(kOther));
  EXPECT_FALSE(EqualsFolded("a" + kUp, "A" + kOther));
  EXPECT_FALSE(EqualsFolded("tom", "toms"));
}

TEST(Text, CutToCharactersNeverSplitsACharacter) {
  const std::string chinese = "提示问题";  // four characters, eight bytes
  struct Case {
    std::string text;
    size_t limit;
    std::string kept;
  } cases[] = {
      {"short", 49, "short"},
      {chinese, 8, chinese},
      {chinese, 7, "提示问"},
      {"a" + chinese, 8, "a提示问"},
      {"a" + chinese, 9, "a" + chinese},
      {"ab\xB0", 3, "ab\xB0"},  // a lead byte that ends the text is a byte of its own
      {"ab" + kSincere, 3, "ab"},
      {kEuro + kEuro + kJade, 3, kEuro + kEuro},
      {"a" + kEuro + kChina, 3, "a" + kEuro},
      {"x&#128512;y", 9, "x"},  // a numeric character reference is one character
      {"x&#128512;y", 10, "x&#128512;"},
      {"x&#x1F600;", 9, "x"},
      {"x&#12", 3, "x&#"},  // no reference without its ';'
      {chinese, 0, ""},
  };
  for (const Case& c : cases) EXPECT_EQ(CutToCharacters(c.text, c.limit), c.kept) << c.text << " " << c.limit;
}

TEST(Text, CleaningKeepsChineseCharactersAndPrintableReferences) {
  EXPECT_EQ(CleanUserText("<b>&100%\x05\x06" + kSincere), "(b)-100$--" + kSincere);
  EXPECT_EQ(CleanUserText("&#128512;"), "-#128512;") << "names, colours and searches keep the plain cleaning";
  struct Case {
    std::string said;
    std::string shown;
  } cases[] = {
      {"&#128512;&#x1F600;&#X1f600;", "&#128512;&#x1F600;&#X1f600;"},  // emoji
      {"&#54620;&#65393;&#20320;", "&#54620;&#65393;&#20320;"},        // hangul, half-width kana, a typed 你
      {"&#160;&#1114109;", "&#160;&#1114109;"},                         // the first and last printable
      {"&#60;b&#62;", "-#60;b-#62;"},                                   // ASCII comes as itself
      {"&#39;&#x22;&#0;&#127;&#128;&#159;", "-#39;-#x22;-#0;-#127;-#128;-#159;"},
      {"&#55357;&#xDE00;", "-#55357;-#xDE00;"},                // surrogates
      {"&#xFDD0;&#xFFFE;&#x1FFFF;&#x10FFFF;", "-#xFDD0;-#xFFFE;-#x1FFFF;-#x10FFFF;"},  // noncharacters
      {"&#8238;&#x202A;&#x2067;&#x2028;", "-#8238;-#x202A;-#x2067;-#x2028;"},      // bidi overrides, a separator
      {"&#x110000;&#1114112;", "-#x110000;-#1114112;"},                             // beyond Unicode
      {"&#00000020320;&#x0000004F60;", "-#00000020320;-#x0000004F60;"},             // too many digits
      {"&#20320&#x;&#;&#x4F60 ;&amp;&#xG;", "-#20320-#x;-#;-#x4F60 ;-amp;-#xG;"},
      {"<&#20320;>", "(&#20320;)"},
      {kSincere + "&#128512;" + kEuro, kSincere + "&#128512;" + kEuro},
  };
  for (const Case& c : cases) EXPECT_EQ(CleanChatText(c.said), c.shown) << c.said;
}

TEST(NumericReferences, ReadAndPrintable) {
  const auto read = [](std::string_view text) { return ReadNumericReference(text); };
  ASSERT_TRUE(read("&#20320;rest"));
  EXPECT_EQ(read("&#20320;rest")->length, 8u);
  EXPECT_EQ(read("&#20320;")->codePoint, 0x4F60u);
  EXPECT_EQ(read("&#x1f600;")->codePoint, 0x1F600u);
  EXPECT_EQ(read("&#9999999;")->codePoint, 9999999u) << "seven digits at most, read without overflow";
  EXPECT_EQ(read("&#xFFFFFF;")->codePoint, 0xFFFFFFu);
  for (const char* none : {"&#;", "&#x;", "&#12", "&#12a;", "&#99999999;", "&#x1000000;", "&#-1;", "& #1;", "&#"}) {
    EXPECT_FALSE(read(none)) << none;
  }
  EXPECT_TRUE(IsPrintableCodePoint(0x4F60));
  EXPECT_TRUE(IsPrintableCodePoint(0x200D)) << "the joiner that builds emoji";
  EXPECT_TRUE(IsPrintableCodePoint(0xFE0F)) << "the emoji presentation selector";
  EXPECT_FALSE(IsPrintableCodePoint('A'));
  EXPECT_FALSE(IsPrintableCodePoint(0x85));
}

}  // namespace
