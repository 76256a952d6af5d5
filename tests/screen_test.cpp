#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <optional>
#include <string>

#include "codec/platform.h"

namespace {

// Points standard output at `descriptor` for the lifetime of the object.
class StandardOutputTo {
 public:
  explicit StandardOutputTo(int descriptor) : saved_(dup(STDOUT_FILENO)) {
    std::fflush(stdout);
    dup2(descriptor, STDOUT_FILENO);
  }
  ~StandardOutputTo() {
    dup2(saved_, STDOUT_FILENO);
    close(saved_);
  }

 private:
  int saved_;
};

}  // namespace

TEST(ScreenTest, StandardOutputIsATerminalOnlyWhenItIsOne) {
  int pipeEnds[2];
  ASSERT_EQ(pipe(pipeEnds), 0);
  {
    StandardOutputTo redirected(pipeEnds[1]);
    EXPECT_FALSE(standardOutputIsTerminal());
  }
  close(pipeEnds[0]);
  close(pipeEnds[1]);
  const int terminal = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(terminal, 0);
  ASSERT_EQ(grantpt(terminal), 0);
  ASSERT_EQ(unlockpt(terminal), 0);
  const int screen = open(ptsname(terminal), O_RDWR | O_NOCTTY);
  ASSERT_GE(screen, 0);
  {
    StandardOutputTo onTerminal(screen);
    EXPECT_TRUE(standardOutputIsTerminal());
  }
  close(screen);
  close(terminal);
}

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
