#include "app/console.h"

#include <gtest/gtest.h>

#include <iostream>
#include <sstream>
#include <string>

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
