#include "http/request_form.h"

#include <gtest/gtest.h>

#include "http/routes.h"

TEST(DecodeUrl, DecodesLikeTheBrowsersEncode) {
  struct Case {
    const char* in;
    std::string out;
  } cases[] = {
      {"%41%2b+", "A+ "},
      {"%0D%0A", "\n"},
      {"%cf%b5%cd%b3", "\xCF\xB5\xCD\xB3"},
      {"%zz", std::string("\0", 1).substr(0, 0)},  // non-hex digits count 0: a NUL ends the text
      {"a%4", "a"},                                // '%' without two characters ends the decoding
      {"a%", "a"},
      {"%4g", "@"},                                // 'g' counts 0: 0x40
      {"plain", "plain"},
      {"a%00b", "a"},
  };
  for (const Case& c : cases) EXPECT_EQ(DecodeUrl(c.in), c.out) << c.in;
}

TEST(RequestForm, SplitsAtAmpersandAndSemicolon) {
  CRequestForm form;
  form.Parse("/find", "a=1&rn=xyz;b");
  EXPECT_EQ(form.FindField("rn"), "xyz");
  EXPECT_EQ(form.FindField("a"), "1");
  EXPECT_EQ(form.FindField("b"), "") << "a piece without '='";
  EXPECT_EQ(form.FindField("missing"), "");
  EXPECT_EQ(form.FindField("RN"), "") << "names are case-sensitive";
  EXPECT_EQ(*form.Path(), "/find");
  EXPECT_EQ(*form.Query(), "a=1&rn=xyz;b");
}

TEST(RequestForm, EncodedEqualsSignJoinsTheName) {
  CRequestForm form;
  form.Parse("/x", "a%3Db=2");
  EXPECT_EQ(form.FindField("a"), "b=2");
}

TEST(RequestForm, FirstFieldOfANameWinsEvenWithoutValue) {
  CRequestForm form;
  form.Parse("/x", "&rn&rn=late");
  EXPECT_EQ(form.FindField("rn"), "");
  ASSERT_EQ(form.Fields().size(), 2u);
  EXPECT_EQ(form.Fields()[0], "rn");
}

TEST(RequestForm, EmptyPiecesStayAndNullArgumentsLeaveNothing) {
  CRequestForm form;
  form.Parse(nullptr, "a=1&&b=2&");
  EXPECT_FALSE(form.Path().has_value());
  EXPECT_EQ(form.Fields(), (std::vector<std::string>{"a=1", "", "b=2", ""}));
  CRequestForm empty;
  empty.Parse("/x", nullptr);
  EXPECT_TRUE(empty.Fields().empty());
  EXPECT_EQ(empty.FindField("a"), "");
}

TEST(Routes, ExactCaseSensitivePaths) {
  EXPECT_EQ(GetRouteCode(std::string("/logon")), kRouteLogon);
  EXPECT_EQ(GetRouteCode(std::string("/find")), kRouteFind);
  EXPECT_EQ(GetRouteCode(std::string("/Modify_Second")), kRouteModifySecond);
  EXPECT_EQ(GetRouteCode(std::string("/Blank")), kRouteBlank);
  for (const char* other : {"/Logon", "/logon/", "/blank", "/Blank?x=1", "", "logon"}) {
    EXPECT_EQ(GetRouteCode(std::string(other)), kRouteStaticFile) << other;
  }
  EXPECT_EQ(GetRouteCode(std::nullopt), kRouteStaticFile);
}
