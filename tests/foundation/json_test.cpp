// The JSON reader and writer: what the reader takes and refuses, and that
// the writer's text reads back to what was written.
#include "foundation/json.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string U8(const char8_t* text) { return std::string(reinterpret_cast<const char*>(text)); }

TEST(Json, ReadsEveryKindOfValue) {
  const std::optional<CJsonValue> value = ParseJson(
      " {\"s\": \"a\\\"b\\\\c\\/\\n\\u00e9\\ud83d\\ude00\", \"t\": true, \"f\": false, \"n\": null,"
      " \"num\": -12.5e1, \"list\": [1, [], {}], \"inner\": {\"k\": \"v\"}} ");
  ASSERT_TRUE(value);
  ASSERT_TRUE(value->Is(CJsonValue::Type::kObject));
  // (Characters outside GB2312 stay out of the test macros, which quote their arguments as GB2312.)
  const std::string escaped = "a\"b\\c/\n" + U8(u8"é😀");
  EXPECT_EQ(value->Find("s")->AsString(), escaped);
  EXPECT_TRUE(value->Find("t")->AsBool());
  EXPECT_FALSE(value->Find("f")->AsBool());
  EXPECT_TRUE(value->Find("n")->Is(CJsonValue::Type::kNull));
  EXPECT_EQ(value->Find("num")->AsNumber(), -125.0);
  EXPECT_EQ(value->Find("list")->Items().size(), 3u);
  EXPECT_EQ(value->Find("inner")->Find("k")->AsString(), "v");
  EXPECT_EQ(value->Find("missing"), nullptr);
  EXPECT_EQ(value->Members().front().key, "s") << "members keep their order";
}

TEST(Json, RefusesWhatIsNoJson) {
  const std::string nested(kMaxJsonDepth + 1, '[');
  const char* refused[] = {
      "",
      " ",
      "{",
      "{\"a\":1,}",
      "[1,]",
      "{\"a\" 1}",
      "{a:1}",
      "{'a':1}",
      "{\"a\":1}{}",
      "{\"a\":1} x",
      "{\"a\":1,\"a\":2}",       // a key said twice
      "\"\\x\"",                 // an unknown escape
      "\"\\u12\"",               // a short \u
      "\"\\ud800\"",             // a lone high surrogate
      "\"\\udc00\"",             // a lone low surrogate
      "\"\\ud800\\u0041\"",      // a high surrogate without its low one
      "\"a\tb\"",                // a raw control character
      "\"\xC0\xAF\"",            // an overlong '/'
      "\"\xED\xA0\x80\"",        // a surrogate in UTF-8
      "\"\xF4\x90\x80\x80\"",    // beyond U+10FFFF
      "\"\xE4\xBD\"",            // a cut character
      "\"\xC4\xE3\"",            // GBK, not UTF-8
      "01",
      "-",
      "1.",
      ".5",
      "1e",
      "+1",
      "1e999",
      "tru",
      "nul",
      "True",
  };
  for (const char* text : refused) {
    std::string why;
    EXPECT_FALSE(ParseJson(text, &why)) << text;
    EXPECT_FALSE(why.empty()) << text;
  }
  EXPECT_FALSE(ParseJson(nested + std::string(kMaxJsonDepth + 1, ']'))) << "nested too deep";
  EXPECT_TRUE(ParseJson(std::string(kMaxJsonDepth, '[') + std::string(kMaxJsonDepth, ']'))) << "as deep as allowed";
}

// A duplicate key is found as fast in an object of many keys (a body of
// 64 KiB holds thousands).
TEST(Json, ManyKeysReadInOnePass) {
  std::string text = "{";
  for (int i = 0; i < 5000; ++i) text += (i ? ",\"k" : "\"k") + std::to_string(i) + "\":0";
  const std::optional<CJsonValue> value = ParseJson(text + "}");
  ASSERT_TRUE(value);
  EXPECT_EQ(value->Members().size(), 5000u);
  EXPECT_FALSE(ParseJson(text + ",\"k4999\":1}"));
}

TEST(Json, WriterEscapesAndReadsBack) {
  const std::string awkward = std::string("q\"b\\s/n\nr\rt\t\x01\x1F") + "\x7F" + U8(u8"汉😀\u2028\u2029");
  CJsonWriter json;
  json.BeginObject()
      .Key("text").String(awkward)
      .Key("n").Number(-42)
      .Key("yes").Bool(true)
      .Key("none").Null()
      .Key("list").BeginArray().String("a").BeginObject().EndObject().BeginArray().EndArray().Number(7).EndArray()
      .EndObject();
  const std::string written = "{\"text\":\"q\\\"b\\\\s/n\\nr\\rt\\t\\u0001\\u001f\x7F" + U8(u8"汉😀") +
                              "\\u2028\\u2029\",\"n\":-42,\"yes\":true,\"none\":null,\"list\":[\"a\",{},[],7]}";
  EXPECT_EQ(json.Text(), written);
  const std::optional<CJsonValue> back = ParseJson(json.Text());
  ASSERT_TRUE(back);
  EXPECT_EQ(back->Find("text")->AsString(), awkward);
}

TEST(Json, WriterReplacesBytesThatAreNoUtf8) {
  CJsonWriter json;
  json.String("a\xFF" "b\xC4\xE3" "c");
  EXPECT_EQ(json.Text(), "\"a" + U8(u8"\uFFFD") + "b" + U8(u8"\uFFFD\uFFFD") + "c\"");
  EXPECT_TRUE(ParseJson(json.Text()));
}

}  // namespace
