#include "codec/code_char.h"

#include <gtest/gtest.h>

#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "codec/vector_loops.h"

TEST(CodeCharTest, SwapsEachVowelWithItsDigitAndLeavesEveryOtherByte) {
  const std::string letters = "aeiouAEIOU";
  const std::string digits = "1234567890";
  for (int value = 0; value < 256; ++value) {
    const char c = static_cast<char>(value);
    const auto letter = letters.find(c);
    const auto digit = digits.find(c);
    char expected = c;
    if (value != 0 && letter != std::string::npos) {
      expected = digits[letter];
    } else if (value != 0 && digit != std::string::npos) {
      expected = letters[digit];
    }
    EXPECT_EQ(codeChar(c), expected) << "value " << value;
    EXPECT_EQ(codeChar(codeChar(c)), c) << "value " << value;
  }
  EXPECT_EQ(codeChar('a'), '1');
  EXPECT_EQ(codeChar('1'), 'a');
  EXPECT_EQ(codeChar('U'), '0');
  EXPECT_EQ(codeChar('0'), 'U');
  EXPECT_EQ(codeChar('y'), 'y');
  EXPECT_EQ(codeChar('\n'), '\n');
}

TEST(CodeCharTest, CodedFormIsReversedAndSwappedAndUndoesItself) {
  EXPECT_EQ(codedForm("hello there"), "2r2ht 4ll2h");
  EXPECT_EQ(codedForm("rhythm, gym"), "myg ,mhtyhr");
  EXPECT_EQ(codedForm(""), "");
  std::string everyByte;
  for (int value = 255; value >= 0; --value) {
    everyByte += static_cast<char>(value);
  }
  const std::string text = "Line one\nLINE 2\r\n" + everyByte + "Queue: AEIOU 67890 aeiou";
  EXPECT_EQ(codedForm(codedForm(text)), text);
  for (std::size_t i = 0; i < text.size(); ++i) {
    ASSERT_EQ(codedForm(text)[i], codeChar(text[text.size() - 1 - i])) << "index " << i;
  }
}

namespace {

// Every size up to 2 KiB (the coding loops step 8 and 32 bytes) and a large one, of random bytes,
// coded byte by byte as defined.
void expectEveryBlockSizeCodedAsDefined() {
  std::mt19937 random(7);
  std::string text(1 << 20, '\0');
  for (char& c : text) {
    c = static_cast<char>(random());
  }
  std::vector<std::size_t> sizes(2 * 1024 + 1);
  std::iota(sizes.begin(), sizes.end(), 0);
  sizes.push_back(text.size());
  for (const std::size_t size : sizes) {
    std::string expected(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
      expected[i] = codeChar(text[size - 1 - i]);
    }
    std::string coded(size, '\0');
    codeBlock(text.data(), size, coded.data());
    ASSERT_EQ(coded, expected) << "size " << size;
  }
}

}  // namespace

TEST(CodeCharTest, ThePlainLoopCodesEveryBlockSizeAsByteByByte) {
  usePlainLoops(true);
  EXPECT_FALSE(vectorLoopsRun());
  expectEveryBlockSizeCodedAsDefined();
  usePlainLoops(false);
}

TEST(CodeCharTest, TheVectorLoopCodesEveryBlockSizeAsByteByByte) {
  if (!vectorLoopsRun()) {
    GTEST_SKIP() << "no vector loop here: the build or the processor has no AVX2";
  }
  expectEveryBlockSizeCodedAsDefined();
}
