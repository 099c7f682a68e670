#include "foundation/file_cache.h"

#include <gtest/gtest.h>

#include <thread>

#include "support/temp_dir.h"

namespace {

TEST(TemplateText, PiecesAsATextModeReaderGivesThem) {
  EXPECT_EQ(TemplateText("a\r\nb\n"), "a\n\r\nb\n\r\n");
  EXPECT_EQ(TemplateText("no end"), "no end\r\n") << "a last line without its line end";
  EXPECT_EQ(TemplateText("lone\rcr\n"), "lone\rcr\n\r\n");
  EXPECT_EQ(TemplateText("abcdef\n", 4), "abc\r\ndef\r\n\n\r\n") << "pieces of area - 1 bytes";
  EXPECT_EQ(TemplateText(""), "");
}

TEST(FileCache, ReadsFilesAndSeesThemChange) {
  TempDir dir;
  CFileCache cache;
  EXPECT_FALSE(cache.Get(dir.File("missing.html")));
  EXPECT_FALSE(cache.Get(dir.Path())) << "a directory is no file";
  dir.Write("page.html", "one\n");
  ASSERT_TRUE(cache.Get(dir.File("page.html")));
  EXPECT_EQ(cache.Get(dir.File("page.html"))->templateText, "one\n\r\n");
  dir.Write("page.html", "two, longer\n");
  std::this_thread::sleep_for(std::chrono::milliseconds(1100));  // kept files are looked at again after a second
  EXPECT_EQ(cache.Get(dir.File("page.html"))->bytes, "two, longer\n");
}

}  // namespace
