#include "codec/output_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/dialogue.h"

namespace fs = std::filesystem;

using OutputFileTest = DialogueTest;

TEST(OutputNameTest, CutsAtTheFirstStopCharacterAndKeepsTheWholeName) {
  EXPECT_EQ(outputName("test.txt", ".", "enc"), "test.enc");
  EXPECT_EQ(outputName("C:\\codes\\test.txt", ".", "enc"), "C:\\codes\\test.enc");
  EXPECT_EQ(outputName("dir.d/file.txt", ".", "txt"), "dir.txt");
  EXPECT_EQ(outputName("my note.txt", ".", "enc"), "my note.enc");
  EXPECT_EQ(outputName("my note.txt", " .", "enc"), "my.enc");
  EXPECT_EQ(outputName("", " .", "enc"), ".enc");
  EXPECT_EQ(outputName("12345678901234567890", ".", "enc"), "12345678901234567890.enc");
}

TEST_F(OutputFileTest, AFileIsReplacedOnlyWhenTheNewCopyIsComplete) {
  writeFile("out.enc", "old content");
  fs::permissions("out.enc", fs::perms::owner_read | fs::perms::owner_write);
  std::ofstream file;
  const std::string temp = openSafeOutput(file, "out.enc");
  ASSERT_FALSE(temp.empty());
  file << "new";
  EXPECT_EQ(readFile("out.enc"), "old content");  // untouched while the copy is written
  ASSERT_TRUE(commitSafeOutput(file, temp, "out.enc"));
  EXPECT_EQ(readFile("out.enc"), "new");
  EXPECT_EQ(fs::status("out.enc").permissions(), fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(listFolder(), "out.enc");

  // A failed write leaves the old file and no temporary.
  const std::string failing = openSafeOutput(file, "out.enc");
  file << "partial";
  file.setstate(std::ios::badbit);
  EXPECT_FALSE(commitSafeOutput(file, failing, "out.enc"));
  EXPECT_EQ(readFile("out.enc"), "new");
  EXPECT_EQ(listFolder(), "out.enc");
  EXPECT_TRUE(file.good());  // ready for the next operation
}
