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
  // A GB2312 lead byte before a quote cannot swallow an escape: no quote is
  // ever left bare.
  EXPECT_EQ(EscapeJsString("\x95'"), "\x95\\x27");
}

}  // namespace
