#include "foundation/file_cache.h"

#include <gtest/gtest.h>

#include <unistd.h>

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
  CFileCache cache{CConfinedFolder(dir.Path())};
  EXPECT_FALSE(cache.Get("missing.html"));
  dir.Write("sub/inner.html", "inner\n");
  EXPECT_FALSE(cache.Get("sub")) << "a directory is no file";
  dir.Write("page.html", "one\n");
  ASSERT_TRUE(cache.Get("page.html"));
  EXPECT_EQ(cache.Get("page.html")->templateText, "one\n\r\n");
  dir.Write("page.html", "two, longer\n");
  std::this_thread::sleep_for(std::chrono::milliseconds(1100));  // kept files are looked at again after a second
  EXPECT_EQ(cache.Get("page.html")->bytes, "two, longer\n");
}

// Names are walked below the folder: ".." and links never lead out of it,
// and private names are never opened, however the name is written.
TEST(ConfinedFolder, OpensRegularFilesBelowTheFolderOnly) {
  TempDir dir;
  dir.Write("site/page.html", "page");
  dir.Write("site/sub/inner.html", "inner");
  dir.Write("site/users/tom", "account");
  dir.Write("site/evidence.log.1", "old records");
  dir.Write("outside.html", "outside");
  ASSERT_EQ(::symlink("../outside.html", dir.File("site/link.html").c_str()), 0);
  ASSERT_EQ(::symlink("sub", dir.File("site/dirlink").c_str()), 0);
  const CConfinedFolder folder(dir.File("site"), {PrivateName(dir.File("site/users/")), PrivateName(dir.File("site/evidence.log"))});
  for (const char* name : {"page.html", "./page.html", "sub//inner.html", "sub/./inner.html"}) {
    EXPECT_TRUE(folder.OpenFile(name)) << name;
  }
  const std::string refused[] = {"",          "/",          ".",          "sub", "../outside.html", "sub/../page.html",
                                 "link.html", "dirlink/inner.html", "users/tom", "./users//tom", "sub/../users/tom",
                                 "evidence.log.1", std::string("page.html\0x", 11)};
  for (const std::string& name : refused) {
    EXPECT_FALSE(folder.OpenFile(name)) << name;
  }
}

}  // namespace
