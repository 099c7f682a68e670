#include "foundation/whole_file.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

#include "support/temp_dir.h"

namespace {

size_t FilesIn(const std::string& directory) {
  size_t count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(directory)) ++count;
  return count;
}

TEST(WholeFile, ReplacesTheFileAndLeavesNothingElse) {
  TempDir dir;
  dir.Write("list.txt", "old contents that are longer\n");
  ASSERT_TRUE(WriteWholeFile(dir.File("list.txt"), "new\n"));
  EXPECT_EQ(dir.Read("list.txt"), "new\n");
  ASSERT_TRUE(WriteWholeFile(dir.File("made.txt"), ""));
  EXPECT_EQ(dir.Read("made.txt"), "");
  EXPECT_EQ(FilesIn(dir.Path()), 2u) << "no temporary file is left";
}

TEST(WholeFile, AFailureKeepsTheOldFileAndSaysWhy) {
  TempDir dir;
  EXPECT_FALSE(WriteWholeFile(dir.File("missing/list.txt"), "x"));
  EXPECT_EQ(errno, ENOENT);
  std::filesystem::create_directory(dir.File("taken"));
  EXPECT_FALSE(WriteWholeFile(dir.File("taken"), "x")) << "a directory is not replaced";
  EXPECT_TRUE(std::filesystem::is_directory(dir.File("taken")));
  EXPECT_EQ(FilesIn(dir.Path()), 1u) << "the temporary file is removed";
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
