#include "foundation/settings.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>

#include "support/temp_dir.h"

namespace {

// Loads the text as tolvann2.ini from a scratch working directory.
class SettingsFile : public ::testing::Test {
 protected:
  void Load(const std::string& text) {
    m_dir.Write("tolvann2.ini", text);
    g_settings = LoadSettingsFile(m_dir.File("tolvann2.ini"));
  }
  void TearDown() override { g_settings.reset(); }
  TempDir m_dir;
};

struct IniCase {
  const char* name;
  const char* file;
  const char* section;
  const char* key;
  const char* expected;
};

const IniCase kIniCases[] = {
    {"section and key fold case, '-' becomes '_'", "[Network]\nhttp-port = 80\n", "network", "http_port", "80"},
    {"lookup ignores case", "[net]\nPort=1\n", "NET", "PORT", "1"},
    {"double quotes keep ';'", "[g]\nname = \"a;b\"\n", "g", "name", "a;b"},
    {"unquoted value ends at ';'", "[g]\nname = a;b\n", "g", "name", "a"},
    {"unquoted value ends at '#'", "[g]\ncolor = red#x\n", "g", "color", "red"},
    {"trailing blanks stay", "[g]\nport = 8080 ; web\n", "g", "port", "8080 "},
    {"two single quotes: empty", "[g]\nname = ''\nx=1\n", "g", "name", ""},
    {"missing closing quote runs to the end", "[g]\nname = \"abc\n", "g", "name", "abc"},
    {"single quotes", "[g]\nname = 'x # y'\n", "g", "name", "x # y"},
    {"later line wins", "[g]\nport = 1\nport = 2\n", "g", "port", "2"},
    {"blanks around '=' optional", "[g]\nk=v\n", "g", "k", "v"},
    {"key loses trailing blanks", "[g]\nkey   = v\n", "g", "key", "v"},
    {"leading blanks skipped", "   [g]\n   k = v\n", "g", "k", "v"},
    {"tab becomes blanks", "[g]\n\tk\t=\tv\n", "g", "k", "v"},
    {"CR LF line ends", "[g]\r\nk = v\r\n", "g", "k", "v"},
    {"text after ']' ignored", "[g] junk\nk = v\n", "g", "k", "v"},
    {"section names keep inner blanks", "[my sec]\nk = v\n", "my sec", "k", "v"},
    {"empty section", "[]\nk = v\n", "", "k", "v"},
    {"section entry itself", "[g]\n", "g", "", ""},
    {"GB2312 bytes unchanged", "[text]\nMSG = \xBB\xB6\xD3\xAD\n", "text", "msg", "\xBB\xB6\xD3\xAD"},
    {"high bytes, NUL and CR survive", "[g]\nk = \x80\xFF\r\x01v\n", "g", "k", "\x80\xFF\x01v"},
};

TEST_F(SettingsFile, ScansEachKindOfLine) {
  for (const IniCase& c : kIniCases) {
    Load(c.file);
    EXPECT_STREQ(GetSetting(c.section, c.key), c.expected) << c.name;
  }
}

const IniCase kUndefinedCases[] = {
    {"empty value defines nothing", "[g]\nname =\n", "g", "name", ""},
    {"comment ';'", "[g]\n;k = v\n", "g", ";k", ""},
    {"comment '#'", "[g]\n#k = v\n", "g", "#k", ""},
    {"'!' line ignored", "[g]\n!k = v\n", "g", "!k", ""},
    {"keys before any section ignored", "k = v\n[g]\n", "", "k", ""},
    {"line without '='", "[g]\njust words\n", "g", "just words", ""},
};

TEST_F(SettingsFile, NulBytesEndAValueAsTextAndNothingElse) {
  const char file[] = "[g]\nk = a\0b\nnext = 1\n";
  Load(std::string(file, sizeof file - 1));
  EXPECT_STREQ(GetSetting("g", "k"), "a");
  EXPECT_STREQ(GetSetting("g", "next"), "1");
}

TEST_F(SettingsFile, IgnoresLinesThatDefineNothing) {
  for (const IniCase& c : kUndefinedCases) {
    Load(c.file);
    EXPECT_STREQ(GetSetting(c.section, c.key), "") << c.name;
    EXPECT_EQ(g_settings->Find(std::string(c.section) + ":" + c.key), nullptr) << c.name;
  }
}

TEST_F(SettingsFile, ExpandsEnvironmentReferences) {
  ::setenv("TOLVAN_TEST_DIR", "/srv/chat", 1);
  Load("[g]\ndir = $(TOLVAN_TEST_DIR)/x\nlower = $(tolvan_test_dir)/y\nmissing = a$(NO_SUCH_VARIABLE_X)b\nplain = $5 and $(\n");
  EXPECT_STREQ(GetSetting("g", "dir"), "/srv/chat/x");
  EXPECT_STREQ(GetSetting("g", "lower"), "/y");
  EXPECT_STREQ(GetSetting("g", "missing"), "ab");
  EXPECT_STREQ(GetSetting("g", "plain"), "$5 and $(");
}

TEST_F(SettingsFile, IntegersFollowAtoi) {
  Load("[g]\na = 42\nb =  -7x\nc = abc\n");
  EXPECT_EQ(GetSettingInt("g", "a"), 42);
  EXPECT_EQ(GetSettingInt("g", "b"), -7);
  EXPECT_EQ(GetSettingInt("g", "c"), 0);
  EXPECT_EQ(GetSettingInt("g", "missing"), 0);
}

TEST_F(SettingsFile, LongLinesAreReadIn255CharacterPieces) {
  // A 300-character key line: the first 255 characters are one line, the
  // rest (45 characters) another, which here defines a key of its own.
  const std::string head = "k = " + std::string(251, 'a');
  const std::string tail = "t=" + std::string(43, 'b');
  Load("[g]\n" + head + tail + "\n");
  EXPECT_EQ(std::string(GetSetting("g", "k")), std::string(251, 'a'));
  EXPECT_EQ(std::string(GetSetting("g", "t")), std::string(43, 'b'));

  m_dir.Write("lines.txt", std::string(300, 'x') + "\n");
  std::FILE* file = std::fopen(m_dir.File("lines.txt").c_str(), "rb");
  std::string line;
  ASSERT_TRUE(ReadTextLine(file, line));
  EXPECT_EQ(line.size(), 255u);
  ASSERT_TRUE(ReadTextLine(file, line));
  EXPECT_EQ(line.size(), 45u);
  EXPECT_FALSE(ReadTextLine(file, line));
  std::fclose(file);
}

TEST_F(SettingsFile, MissingTableOrFileGivesEmptyText) {
  EXPECT_STREQ(GetSetting("g", "k"), "");
  g_settings = LoadSettingsFile("/nonexistent/dir/none.ini");
  EXPECT_STREQ(GetSetting("g", "k"), "");
  EXPECT_STREQ(GetSetting(nullptr, "k"), "");
  EXPECT_STREQ(GetSetting("g", nullptr), "");
}

TEST(FindFileOnPath, TriesWorkingDirectoryThenEachPathEntry) {
  TempDir first, second;
  second.Write("found.ini", "x");
  const char* oldPath = std::getenv("PATH");
  const std::string saved = oldPath != nullptr ? oldPath : "";
  ::setenv("PATH", (first.Path() + ":" + second.Path() + "/").c_str(), 1);
  EXPECT_EQ(FindFileOnPath("found.ini"), second.Path() + "/found.ini");
  EXPECT_EQ(FindFileOnPath("absent.ini"), "");
  ::setenv("PATH", saved.c_str(), 1);
}

}  // namespace
