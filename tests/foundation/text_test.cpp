#include "foundation/text.h"

#include <gtest/gtest.h>

TEST(Text, CutToCharactersNeverSplitsAChineseCharacter) {
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
      {"ab\xB0", 3, "ab"},  // a lead byte whose pair would pass the limit goes
      {chinese, 0, ""},
  };
  for (const Case& c : cases) EXPECT_EQ(CutToCharacters(c.text, c.limit), c.kept) << c.text << " " << c.limit;
}
