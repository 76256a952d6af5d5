#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <clocale>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>

#include "platform/input_file.h"
#include "platform/screen.h"
#include "tests/dialogue.h"

using PlatformTest = DialogueTest;

TEST_F(PlatformTest, AReadAtAnOffsetIsWholeUnlessTheFileEndsFirst) {
  // Sparse: the text sits past 4 GiB, where a 32-bit offset would wrap round to the start.
  const std::int64_t far = (std::int64_t{5} << 30) + 7;
  {
    std::ofstream out("sparse.txt", std::ios::binary);
    out << "start";
    out.seekp(far);
    out << "the end";
  }
  struct Case {
    std::int64_t offset;
    std::size_t size;
    std::string expected;
  };
  const Case cases[] = {
      {0, 5, "start"},      {far, 7, "the end"},
      {far + 4, 10, "end"},  // short: the file ends first
      {far + 7, 4, ""},     {5, 3, std::string(3, '\0')},
  };
  InputFile input;
  openInput(input, "sparse.txt");
  ASSERT_NE(input.handle, kNoFile);
  EXPECT_EQ(input.size, far + 7);
  for (const Case& c : cases) {
    std::string into(c.size, 'x');
    into.resize(readInputAt(input, c.offset, into.data(), c.size));
    EXPECT_EQ(into, c.expected) << c.offset;
  }
  closeInput(input);
  std::filesystem::remove("sparse.txt");
}

TEST_F(PlatformTest, AnInputRewrittenAsLongWithItsModificationTimePutBackHasChanged) {
  writeFile("in.txt", "listed");
  InputFile input;
  openInput(input, "in.txt");
  const std::filesystem::file_time_type listed = std::filesystem::last_write_time("in.txt");
  // Past the coarsest tick a file system stamps times with: only the change time then tells.
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  writeFile("in.txt", "LISTED");
  std::filesystem::last_write_time("in.txt", listed);
  EXPECT_FALSE(inputUnchanged(input));
  EXPECT_EQ(failureReason(input.failure), "changed after it was shown; nothing was saved");
  closeInput(input);
}

// Whether a pipe or a terminal is the screen is checked end to end, by the pipe and tmux tests.
TEST(ScreenTest, TheCharacterSetIsTheEnvironmentsAndLeavesTheProgramsLocaleAsItIs) {
  const char* const before = getenv("LC_ALL");
  const std::optional<std::string> saved =
      before ? std::optional<std::string>(before) : std::nullopt;
  struct Case {
    const char* locale;
    const char* characterSet;
  };
  const Case cases[] = {{"C.UTF-8", "UTF-8"}, {"no_SUCH.LOCALE", ""}};
  for (const Case& c : cases) {
    setenv("LC_ALL", c.locale, 1);
    EXPECT_EQ(terminalCharacterSet(), c.characterSet) << c.locale;
    EXPECT_STREQ(std::setlocale(LC_CTYPE, nullptr), "C") << c.locale;
  }
  if (saved) {
    setenv("LC_ALL", saved->c_str(), 1);
  } else {
    unsetenv("LC_ALL");
  }
}
