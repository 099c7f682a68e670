#include "foundation/whole_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <filesystem>

#include "support/temp_dir.h"

namespace {

size_t FileCount(const TempDir& dir) {
  return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(dir.Path()), {}));
}

TEST(WholeFile, ReplacesTheOldFileAndLeavesNoTemporary) {
  TempDir dir;
  dir.Write("list.txt", "old content that is longer\n");
  for (Durability durability : {Durability::kBestEffort, Durability::kDurable}) {
    ASSERT_TRUE(WriteWholeFile(dir.File("list.txt"), "new\n", 0600, durability));
    EXPECT_EQ(dir.Read("list.txt"), "new\n");
    EXPECT_EQ(FileCount(dir), 1u);
  }
  struct stat info{};
  ASSERT_EQ(::stat(dir.File("list.txt").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST(WholeFile, CreateTakesOnlyAFreeName) {
  TempDir dir;
  dir.Write("taken", "first\n");
  CPendingFile second(dir.File("taken"), "second\n", 0600, Durability::kDurable);
  ASSERT_TRUE(second);
  EXPECT_FALSE(second.Create());
  EXPECT_EQ(errno, EEXIST);
  EXPECT_EQ(dir.Read("taken"), "first\n");

  CPendingFile fresh(dir.File("free"), "mine\n", 0600, Durability::kDurable);
  ASSERT_TRUE(fresh);
  EXPECT_TRUE(fresh.Create());
  EXPECT_EQ(dir.Read("free"), "mine\n");
  EXPECT_FALSE(fresh.Replace()) << "a placed file is placed once";
}

TEST(WholeFile, AFileNeverPlacedLeavesNothing) {
  TempDir dir;
  {
    CPendingFile unused(dir.File("never"), "bytes", 0600, Durability::kBestEffort);
    ASSERT_TRUE(unused);
    EXPECT_LE(FileCount(dir), 1u) << "at most the temporary (none when written unnamed)";
  }
  EXPECT_EQ(FileCount(dir), 0u);
  EXPECT_FALSE(WriteWholeFile(dir.File("missing/folder/file"), "x", 0600, Durability::kDurable));
  EXPECT_EQ(errno, ENOENT);
}

}  // namespace

namespace {

TEST(WholeFile, AFailureKeepsTheOldFileAndSaysWhy) {
  TempDir dir;
  std::filesystem::create_directory(dir.File("taken"));
  EXPECT_FALSE(WriteWholeFile(dir.File("taken"), "x", 0644, Durability::kDurable)) << "a directory is not replaced";
  EXPECT_TRUE(std::filesystem::is_directory(dir.File("taken")));
  size_t files = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.Path())) ++files;
  EXPECT_EQ(files, 1u) << "the temporary file is removed";
}

TEST(WholeFile, AppendsEachPieceWhole) {
  TempDir dir;
  ASSERT_TRUE(AppendToFile(dir.File("log"), "one\n"));
  ASSERT_TRUE(AppendToFile(dir.File("log"), "two\n"));
  EXPECT_EQ(dir.Read("log"), "one\ntwo\n");
  EXPECT_FALSE(AppendToFile(dir.File("missing/log"), "x"));
  EXPECT_EQ(errno, ENOENT);
}

}  // namespace
