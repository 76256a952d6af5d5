#include "app/console.h"

#include <gtest/gtest.h>

#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "app/terminal_filter.h"

namespace {

// Feeds `keys` to the console's standard input for the lifetime of the object.
class ScriptedInput {
 public:
  explicit ScriptedInput(const std::string& keys) : input_(keys), old_(std::cin.rdbuf()) {
    std::cin.rdbuf(input_.rdbuf());
    std::cin.clear();
  }
  ~ScriptedInput() {
    std::cin.rdbuf(old_);
    std::cin.clear();
  }
  std::string rest() {
    return {std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>()};
  }

 private:
  std::istringstream input_;
  std::streambuf* old_;
};

// Makes the console's screen a string, shown as a terminal of `characterSet` shows it, or as a
// pipe when `characterSet` is null, for the lifetime of the object.
class ScreenOf {
 public:
  explicit ScreenOf(const char* characterSet) : old_(std::cout.rdbuf(screen_.rdbuf())) {
    setScreenIsTerminal(characterSet != nullptr, characterSet != nullptr ? characterSet : "");
  }
  ~ScreenOf() {
    setScreenIsTerminal(false, "");
    std::cout.rdbuf(old_);
  }
  std::string text() const {
    return screen_.str();
  }

 private:
  std::ostringstream screen_;
  std::streambuf* old_;
};

}  // namespace

TEST(ConsoleTest, ReadNameDropsOneCharacterThenKeepsAtMostTwentyOfTheLine) {
  struct Case {
    std::string keys, name, left;
  };
  const Case cases[] = {
      {"\ntest.txt\nrest", "test.txt", "rest"},
      {"foo.txt\nrest", "oo.txt", "rest"},  // Efoo.txt on one line: the f is dropped
      {"\n12345678901234567890\nrest", "12345678901234567890", "rest"},
      {"\n123456789012345678901234567890\nrest", "12345678901234567890", "rest"},
      {"\n\nrest", "", "rest"},
      {"\npartial", "partial", ""},
      {"", "", ""},
  };
  for (const auto& c : cases) {
    ScriptedInput input(c.keys);
    std::string name = "previous";
    readName(name, 20);
    EXPECT_EQ(name, c.name) << "keys: " << c.keys;
    EXPECT_EQ(input.rest(), c.left) << "keys: " << c.keys;
  }
}

TEST(ConsoleTest, ReadAnswerSkipsBlanksTakesOneCharacterAndClearsAtEnd) {
  ScriptedInput input(" \t\n\r yes\n");
  char answer = 0;
  ASSERT_TRUE(readAnswer(answer));
  EXPECT_EQ(answer, 'y');
  ASSERT_TRUE(readAnswer(answer));
  EXPECT_EQ(answer, 'e');
  ASSERT_TRUE(readAnswer(answer));
  EXPECT_EQ(answer, 's');
  EXPECT_FALSE(readAnswer(answer));
  EXPECT_EQ(answer, 0);  // a stale y never confirms a later question
  EXPECT_FALSE(isYes(answer));
  EXPECT_TRUE(isYes('Y'));
  EXPECT_TRUE(isYes('y'));
  EXPECT_FALSE(isYes('n'));
  EXPECT_FALSE(isYes('j'));
}

TEST(ConsoleTest, ARefusalStandsUnderTheNameOnlyWhereTheScreenIsItsTerminalToo) {
  struct Case {
    bool terminal, screenToo;
    std::string told;
  };
  const Case cases[] = {
      {false, false, "kestrovane: a\x1b.enc: why\n"},
      {true, false, "kestrovane: a^[.enc: why\n"},
      {true, true, "\nkestrovane: a^[.enc: why"},
  };
  setScreenIsTerminal(false, "UTF-8");
  for (const Case& c : cases) {
    std::ostringstream errors;
    std::streambuf* const old = std::cerr.rdbuf(errors.rdbuf());
    setErrorsAreTerminal(c.terminal, c.screenToo);
    printRefusal("a\x1b.enc", "why");
    setErrorsAreTerminal(false, false);
    std::cerr.rdbuf(old);
    EXPECT_EQ(errors.str(), c.told) << c.terminal << c.screenToo;
  }
}

TEST(ConsoleTest, ATerminalIsShownControlBytesAndAPipeGetsThemAsTheyAre) {
  using namespace std::string_literals;
  struct Case {
    const char* characterSet;         // null: a pipe
    std::vector<std::string> pieces;  // shown texts, in as many calls; `end` ends one
    std::string screen;
  };
  const std::string queries = "a\x1b[>0q\x1b[c\x1b]2;title\a\r\x1b[2Kb\x7f\t\n\0."s;
  const std::string end;  // an endShown() between two texts
  const Case cases[] = {
      {nullptr, {queries, "\r\xc2\x9b\x9b"}, queries + "\r\xc2\x9b\x9b"},
      {"UTF-8", {queries}, "a^[[>0q^[[c^[]2;title^G^M^[[2Kb^?\t\n^@."},
      {"UTF-8", {"\x01\x08\x0b\x0c\x1a\x1c\x1f "}, "^A^H^K^L^Z^\\^_ "},
      // A carriage return stays before or after a line feed (the coded echo is reversed);
      // any other is shown, whichever call brings its neighbours.
      {"UTF-8", {"a\r\nb\n\rc\r\r\n\n\r\rd\r"}, "a\r\nb\n\rc^M\r\n\n\r^Md^M"},
      {"UTF-8", {"a\r", "\nb\r", "c\n", "\r"}, "a\r\nb^Mc\n\r"},
      {"UTF-8", {"x\n", end, "\ry"}, "x\n^My"},  // a new text has no line feed before it
      {"UTF-8", {"plain text\n", "\rnext"}, "plain text\n\rnext"},  // one passed whole, too
      // UTF-8's two-byte C1 controls, whole or split across calls; other characters pass.
      {"UTF-8", {"\xc2\x80\xc2\x9f\xc2\xa0\xc3\xa9\x9b"}, "<U+0080><U+009F>\xc2\xa0\xc3\xa9\x9b"},
      {"UTF-8", {"x\xc2", "\x9b", "[2J\xc2", "\xc2", "\x85\xc2"}, "x<U+009B>[2J\xc2<U+0085>\xc2"},
      {"utf8", {"\xc2\r", "\xc2\x8d"}, "\xc2^M<U+008D>"},
      {"ANSI_X3.4-1968", {"\x1b\xc2\x9b"}, "^[<U+009B>"},
      {"", {"\xc2\x9b"}, "<U+009B>"},
      // Each alone among printable bytes passed eight at a time, or beside its neighbour.
      {"UTF-8",
       {"ordinary text\x7fordinary text\x1bordinary text\xc2\x9bordinary text\r0"},
       "ordinary text^?ordinary text^[ordinary text<U+009B>ordinary text^M0"},
      {"UTF-8", {"line\r\n\xc2\xa0\n\xc2", "\x85\n\r"}, "line\r\n\xc2\xa0\n<U+0085>\n\r"},
      // ISO 8859: the bytes 0x80 to 0x9F are controls.
      {"ISO-8859-1", {"\x80\x9b\x9f\xa0\xe9\xc2\x85\x1b"}, "<80><9B><9F>\xa0\xe9\xc2<85>^["},
      {"ISO8859-15", {"\x8d", "\x9b"}, "<8D><9B>"},
      // Elsewhere bytes above 0x7F are characters or parts of one.
      {"CP1252", {"\x80\x9b\xc2\x85\x1b"}, "\x80\x9b\xc2\x85^["},
      {"SHIFT_JIS", {"\x83\x5c\x82\xa0"}, "\x83\x5c\x82\xa0"},
  };
  for (const auto& c : cases) {
    ScreenOf screen(c.characterSet);
    for (const auto& piece : c.pieces) {
      if (piece.empty()) {
        endShown();
      } else {
        printShown(piece);
      }
    }
    endShown();
    print("|");  // the text ends whole: nothing is held for a next one
    endShown();
    EXPECT_EQ(screen.text(), c.screen + "|") << (c.characterSet ? c.characterSet : "a pipe") << ": "
                                             << ::testing::PrintToString(c.pieces);
  }
}
