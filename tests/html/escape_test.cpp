#include "html/escape.h"

#include <gtest/gtest.h>

namespace {

TEST(Escapers, OrdinaryTextKeepsItsBytes) {
  for (const std::string text : {"tom", "大家", "谈天说地", "tom:node1", "a.b-c_d", "0000ff"}) {
    EXPECT_EQ(EscapeText(text), text);
    EXPECT_EQ(EscapeAttribute(text), text);
    EXPECT_EQ(EscapeJsString(text), text);
    EXPECT_EQ(EscapeUrlComponent(text), text);
  }
}

TEST(Escapers, EachContextClosesItsOwnDoors) {
  EXPECT_EQ(EscapeText("<b>\"x\" & 'y'"), "&lt;b&gt;&quot;x&quot; &amp; &#39;y&#39;");
  EXPECT_EQ(EscapeJsString("x');alert(1);//"), "x\\x27);alert(1);//");
  EXPECT_EQ(EscapeJsString("a b=\"c\"\\%27\n"), "a\\x20b\\x3d\\x22c\\x22\\x5c\\x2527\\x0a");
  EXPECT_EQ(EscapeUrlComponent("a b&c=\"#%'"), "a%20b%26c=%22%23%25%27");
}

// GBK characters whose trail byte has the value of a character an escaper
// changes: D5 5C ('\\'), AC 7C ('|'), 81 60 ('`'), 87 5B ('[').
TEST(Escapers, ChineseCharactersPassWhole) {
  const std::string text = "\xD5\x5C\xAC\x7C\x81\x60\x87\x5B\x80";  // and the euro sign
  EXPECT_EQ(EscapeText(text), text);
  EXPECT_EQ(EscapeAttribute(text), text);
  EXPECT_EQ(EscapeJsString(text), text);
  EXPECT_EQ(EscapeUrlComponent(text), text);
  EXPECT_EQ(EscapeJsString("\xD5\x5C'"), "\xD5\x5C\\x27");
  EXPECT_EQ(EscapeUrlComponent("a\\\xD5\x5C"), "a%5c\xD5\x5C");
}

// A lead byte without its trail is written as its code where a bare one
// would pair with the escape after it ("\\x27" starts with 5C, a trail
// byte) or come back from the browser as something else.
TEST(Escapers, ALeadByteWithoutItsTrailPairsWithNothing) {
  EXPECT_EQ(EscapeJsString("\x95'"), "\\x95\\x27");
  EXPECT_EQ(EscapeJsString("a\x95"), "a\\x95");
  EXPECT_EQ(EscapeJsString("\xFF"), "\\xff");
  EXPECT_EQ(EscapeUrlComponent("\x95 \xFF"), "%95%20%ff");
  // In text and attributes every reference starts with '&', which no lead
  // byte takes as its trail.
  EXPECT_EQ(EscapeText("\x95<"), "\x95&lt;");
  EXPECT_EQ(EscapeAttribute("\x95\""), "\x95&quot;");
}

}  // namespace
