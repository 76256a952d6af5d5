#include "codec/output_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <iterator>
#include <string>

#include "codec/output_name.h"
#include "platform/input_file.h"
#include "tests/dialogue.h"

namespace fs = std::filesystem;

using OutputFileTest = DialogueTest;

TEST(OutputNameTest, CutsTheFilesOwnNameAtItsFirstStopCharacterAndKeepsItsFolder) {
  struct Case {
    const char* typed;
    const char* stopChars;
    const char* expected;
  };
  const Case cases[] = {
      {"test.txt", ".", "test.enc"},
      {"C:\\codes\\test.txt", ".", "C:\\codes\\test.enc"},  // one name on POSIX
      {"dir.d/file.txt", ".", "dir.d/file.enc"},
      {"a/v1.0/n.txt", ".", "a/v1.0/n.enc"},  // the folders end at the last slash
      {"./notes.txt", ".", "./notes.enc"},
      {"../x.txt", ".", "../x.enc"},
      {"a.b/.hidden", ".", "a.b/.enc"},
      {"folder.d/", ".", "folder.d/.enc"},
      {"my note.txt", ".", "my note.enc"},
      {"my note.txt", " .", "my.enc"},
      {"my dir/my note.txt", " .", "my dir/my.enc"},
      {"", " .", ".enc"},
      {"12345678901234567890", ".", "12345678901234567890.enc"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(outputName(c.typed, c.stopChars, "enc"), c.expected) << c.typed;
  }
}

namespace {

// How many descriptors the process has open, where /proc says; -1 where it cannot.
int openDescriptors() {
  std::error_code error;
  const auto entries = fs::directory_iterator("/proc/self/fd", error);
  return error ? -1 : static_cast<int>(std::distance(entries, fs::directory_iterator()));
}

}  // namespace

TEST_F(OutputFileTest, AFileIsReplacedOnlyWhenTheNewCopyIsComplete) {
  writeFile("out.enc", "old content");
  fs::permissions("out.enc", fs::perms::owner_read | fs::perms::owner_write);
  OutputFile file;
  openSafeOutput(file, "out.enc", "out.enc", InputFile());
  ASSERT_FALSE(file.failure);
  writeSafeOutput(file, "new", 3);
  EXPECT_EQ(readFile("out.enc"), "old content");  // untouched while the copy is written
  ASSERT_TRUE(commitSafeOutput(file));
  EXPECT_EQ(readFile("out.enc"), "new");
  EXPECT_EQ(fs::status("out.enc").permissions(), fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(listFolder(), "out.enc");

  // A copy given up for its input leaves the old file and no temporary, and blames the input.
  openSafeOutput(file, "out.enc", "out.enc", InputFile());
  writeSafeOutput(file, "partial", 7);
  Failure changed;
  noteRefusal(changed, kChangedAfterListing);
  abandonSafeOutput(file, changed, "in.txt");
  EXPECT_FALSE(commitSafeOutput(file));
  EXPECT_EQ(readFile("out.enc"), "new");
  EXPECT_EQ(listFolder(), "out.enc");
  EXPECT_EQ(file.handle, kNoFile);  // ready for the next operation
  EXPECT_EQ(file.blamed + ": " + failureReason(file.failure),
            "in.txt: changed after it was shown; nothing was saved");
}

TEST_F(OutputFileTest, NeitherASavedNorAnAbandonedCopyLeavesADescriptorOpen) {
  const int descriptors = openDescriptors();
  if (descriptors < 0) {
    GTEST_SKIP() << "needs /proc/self/fd to count the open descriptors";
  }
  OutputFile file;
  for (const bool abandoned : {false, true}) {
    openSafeOutput(file, "out.enc", "out.enc", InputFile());
    writeSafeOutput(file, "new", 3);
    if (abandoned) {
      abandonSafeOutput(file, Failure(), "in.txt");
    }
    EXPECT_EQ(commitSafeOutput(file), !abandoned);
    EXPECT_EQ(openDescriptors(), descriptors) << abandoned;  // neither the copy nor its folder
  }
}

TEST_F(OutputFileTest, ANewCopyIsPrivateUntilItGetsTheModeAndOwnerOfTheFileItReplaces) {
  struct Case {
    const char* name;
    int existingMode;  // -1: no earlier file
    mode_t umaskValue;
    int expectedMode;
  };
  const Case cases[] = {
      {"private.enc", 0600, 022, 0600},
      {"group.enc", 0640, 022, 0640},
      {"new.enc", -1, 022, 0644},
      {"newer.enc", -1, 027, 0640},
  };
  // Only root may give a file to someone else; where it may, the owner and group are kept.
  const bool root = geteuid() == 0;
  for (const Case& c : cases) {
    if (c.existingMode >= 0) {
      writeFile(c.name, "old");
      chmod(c.name, static_cast<mode_t>(c.existingMode));
      if (root) {
        ASSERT_EQ(chown(c.name, 1234, 5678), 0);
      }
    }
    const mode_t previous = umask(c.umaskValue);
    OutputFile file;
    openSafeOutput(file, c.name, c.name, InputFile());
    struct stat temporary;
    ASSERT_EQ(stat(file.temporary.c_str(), &temporary), 0) << c.name;
    EXPECT_EQ(temporary.st_mode & 0777, 0600u) << c.name;
    EXPECT_TRUE(commitSafeOutput(file));
    umask(previous);
    struct stat saved;
    ASSERT_EQ(stat(c.name, &saved), 0) << c.name;
    EXPECT_EQ(static_cast<int>(saved.st_mode & 07777), c.expectedMode) << c.name;
    if (root && c.existingMode >= 0) {
      EXPECT_EQ(saved.st_uid, 1234u) << c.name;
      EXPECT_EQ(saved.st_gid, 5678u) << c.name;
    }
  }
}

TEST_F(OutputFileTest, ALinkStaysALinkAndTheFileItNamesIsReplaced) {
  fs::create_directories("real");
  writeFile("real/notes.enc", "old");
  fs::create_symlink("real/notes.enc", "middle");
  fs::create_symlink("middle", "notes.enc");
  fs::create_symlink("real/missing.enc", "dangling.enc");
  for (const char* name : {"notes.enc", "dangling.enc"}) {
    OutputFile file;
    openSafeOutput(file, name, name, InputFile());
    writeSafeOutput(file, "new", 3);
    EXPECT_TRUE(commitSafeOutput(file)) << name;
    EXPECT_TRUE(fs::is_symlink(name)) << name;
    EXPECT_EQ(readFile(name), "new") << name;
  }
  EXPECT_TRUE(fs::is_symlink("middle"));
  EXPECT_EQ(listFolder("real"), "missing.enc notes.enc");

  // A relative link names a file beside itself, not beside the program.
  writeFile("real/beside.enc", "old");
  fs::create_symlink("beside.enc", "real/own.enc");
  OutputFile own;
  openSafeOutput(own, "real/own.enc", "real/own.enc", InputFile());
  writeSafeOutput(own, "newer", 5);
  EXPECT_TRUE(commitSafeOutput(own));
  EXPECT_EQ(readFile("real/beside.enc"), "newer");
  EXPECT_EQ(listFolder("real"), "beside.enc missing.enc notes.enc own.enc");

  // A loop of links names no file: the save fails and nothing is created.
  fs::create_symlink("loop-b", "loop-a");
  fs::create_symlink("loop-a", "loop-b");
  OutputFile file;
  openSafeOutput(file, "loop-a", "loop-a", InputFile());
  EXPECT_FALSE(commitSafeOutput(file));
  EXPECT_EQ(listFolder(), "dangling.enc loop-a loop-b middle notes.enc real");
}

TEST_F(OutputFileTest, TheCopyIsSavedInTheFolderThatWasListedWhateverItsNameLeadsToLater) {
  fs::create_directories("listed");
  fs::create_directories("other");
  writeFile("listed/in.txt", "text");
  writeFile("other/in.enc", "other's");
  InputFile input;
  openInput(input, "listed/in.txt");
  // Swapped for a link after the listing, and renamed again while the copy is written.
  fs::rename("listed", "moved");
  fs::create_directory_symlink("other", "listed");
  OutputFile file;
  openSafeOutput(file, "listed/in.enc", "listed/in.enc", input);
  closeInput(input);
  writeSafeOutput(file, "new", 3);
  fs::rename("moved", "again");
  EXPECT_TRUE(commitSafeOutput(file));
  EXPECT_EQ(readFile("again/in.enc"), "new");
  EXPECT_EQ(listFolder("again"), "in.enc in.txt");
  EXPECT_EQ(listFolder("other"), "in.enc");
  EXPECT_EQ(readFile("other/in.enc"), "other's");

  // A name from the root is walked from the root, whatever the current folder.
  writeFile("again/in.txt", "from the root");
  fs::current_path("other");
  openInput(input, folder_ / "again/in.txt");
  EXPECT_NE(input.handle, kNoFile);
  openSafeOutput(file, (folder_ / "again/in.enc").string(), (folder_ / "again/in.enc").string(),
                 input);
  closeInput(input);
  EXPECT_TRUE(commitSafeOutput(file));
  fs::current_path(folder_);
  EXPECT_EQ(readFile("again/in.enc"), "");

  // A folder that was not there at the listing is not looked for again.
  openInput(input, "later/in.txt");
  fs::create_directory_symlink("other", "later");
  openSafeOutput(file, "later/in.enc", "later/in.enc", input);
  closeInput(input);
  EXPECT_FALSE(commitSafeOutput(file));
  EXPECT_EQ(file.blamed + ": " + failureReason(file.failure),
            "later/in.enc: No such file or directory");
  EXPECT_EQ(listFolder("other"), "in.enc");
}
