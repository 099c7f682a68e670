#include "commands/command_parser.h"

#include <gtest/gtest.h>

#include "commands/chat_line.h"
#include "support/settings_fixture.h"

namespace {

// The table is filled once per process, from the settings of the first call.
class Parser : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ScopedSettings settings({{"text:msg_command_help", "HELP"},
                             {"text:msg_command_ignore", "IGNORE"},
                             {"text:msg_command_join", "JOIN"},
                             {"text:msg_command_list", "LIST"},
                             {"text:msg_command_me", "ME"},
                             {"text:msg_command_msg", "MSG"},
                             {"text:msg_command_users", "USERS"},
                             {"text:msg_command_evidence", "EVIDENCE"}});
    ClassifyInput("/fill");
  }
};

struct Case {
  const char* line;
  unsigned code;
  const char* target;  // null: none
  const char* rest;    // null: none
};

TEST_F(Parser, ClassifiesLines) {
  const Case cases[] = {
      {"", kEmptyInput, nullptr, nullptr},
      {"hello /there", kChatLineCode, nullptr, "hello /there"},
      {" /mlist", kChatLineCode, nullptr, " /mlist"},
      {"/mlist", kManagerList, nullptr, nullptr},
      {"/MLIST", kManagerList, nullptr, nullptr},
      {"/ml", kManagerList, nullptr, nullptr},
      {"/RE", kAmbiguousCommand, nullptr, nullptr},
      {"/R", kAmbiguousCommand, nullptr, nullptr},
      {"/", kUnknownCommand, nullptr, nullptr},
      {"/   ", kUnknownCommand, nullptr, nullptr},
      {"/nosuchword x", kUnknownCommand, nullptr, nullptr},
      {"/RM lobby", kRemoveRoom, "lobby", nullptr},
      {"/rm", kRemoveRoom, nullptr, nullptr},
      {"/join 大厅 情感", kJoin, "大厅", "情感"},
      {"/create Den", kJoin, "Den", nullptr},
      {"/KICK bad guy", kKick, nullptr, "bad guy"},
      {"/kick", kKick, nullptr, nullptr},
      {"/ban x:node2", kBan, nullptr, "x:node2"},
      {"/message ann hello there", kMessage, "ann", "hello there"},
      {"/find\ttom", kFind, "tom", nullptr},
      {"/users", kUsers, nullptr, nullptr},
      {"/list 全部", kList, "全部", nullptr},
      {"/help Room List", kHelp, "Room", "List"},
      {"/me waves", kMe, nullptr, "waves"},
      {"/COLOR red", kUnknownCommand, nullptr, nullptr},  // no configured word: matches nothing
      {"/checkmoney tom", kCheckMoney, "tom", nullptr},
      {"/message ann line\r\nsecond", kMessage, "ann", "line"},
  };
  for (const Case& c : cases) {
    const ClassifiedInput input = ClassifyInput(c.line);
    EXPECT_EQ(input.code, c.code) << c.line;
    EXPECT_EQ(input.target.has_value(), c.target != nullptr) << c.line;
    if (c.target != nullptr && input.target) {
      EXPECT_EQ(*input.target, c.target) << c.line;
    }
    EXPECT_EQ(input.rest.has_value(), c.rest != nullptr) << c.line;
    if (c.rest != nullptr && input.rest) {
      EXPECT_EQ(*input.rest, c.rest) << c.line;
    }
  }
}

TEST(Addressee, FallsBackToEverybody) {
  struct AddresseeCase {
    const char* towho;
    bool nodeLink;
    const char* name;
    const char* node;
  } cases[] = {
      {"ann", false, "ann", "own"},
      {"ann:node2", false, "ann", "own"},
      {"ann:node2", true, "ann", "node2"},
      {"ann", true, "ann", ""},
      {"a b", true, "大家", "own"},
      {"", false, "大家", "own"},
      {":node2", true, "大家", "own"},
      {"abcdefghijklmnopqrstu", false, "大家", "own"},  // 21 characters
      {"abcdefghijklmnopqrst", false, "abcdefghijklmnopqrst", "own"},
  };
  for (const auto& c : cases) {
    const Addressee to = ParseAddressee(c.towho, "own", c.nodeLink);
    EXPECT_EQ(to.name, c.name) << c.towho;
    EXPECT_EQ(to.node, c.node) << c.towho;
  }
  EXPECT_EQ(ParseAddressee("a\x05" "b", "own", false).towho, "a-b");
}

}  // namespace
