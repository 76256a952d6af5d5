#include <gtest/gtest.h>

#include <string>

#include "tests/dialogue.h"

namespace {
const std::string kError = "Error! Try again:\n";
}

TEST(MenuTest, XEndsAtOnceAfterTheMenu) {
  for (const char* keys : {"x\n", "X\n", "  \n\t x\n", "x"}) {
    ProgramState state;
    EXPECT_EQ(runDialogue(keys, state), kMenu) << "keys: " << keys;
    EXPECT_EQ(state.doneFlag, 1);
  }
}

TEST(MenuTest, EndOfInputAtTheMenuEndsTheProgramQuietly) {
  for (const char* keys : {"", "\n\n  \n"}) {
    ProgramState state;
    EXPECT_EQ(runDialogue(keys, state), kMenu) << "keys: " << keys;
  }
}

TEST(MenuTest, EveryOtherCharacterGivesTheErrorAndTheMenuAgain) {
  EXPECT_EQ(runDialogue("Q\nx\n"), kMenu + kError + kMenu);
  // Several letters on one line are taken one per pass.
  EXPECT_EQ(runDialogue("q7?x"), kMenu + kError + kMenu + kError + kMenu + kError + kMenu);
  for (const char* letter : {"y", "Y", "n", "z", "0", "\x01", "\xff", ".", "b"}) {
    EXPECT_EQ(runDialogue(std::string(letter) + "\nx\n"), kMenu + kError + kMenu)
        << "letter: " << letter;
  }
}

using MenuInFolderTest = DialogueTest;

TEST_F(MenuInFolderTest, EndOfInputInsideAnOperationNeverLoops) {
  // Each operation reaches its question and takes the end of input as no; the menu read then
  // ends the program. (A yes to the question followed by the end of input at the empty-file
  // warning is covered with the file operations.)
  const std::string encode = runDialogue("E\nabsent.txt");
  EXPECT_EQ(encode, kMenu + "Please enter the name of the file you want to encode:\n" +
                        "The file currently contains:\n\n" +
                        "Do you want to encode this file? Y/N\n" + kMenu);
  const std::string decode = runDialogue("d\n");
  EXPECT_EQ(decode, kMenu + "Please enter the name of the file you want to decode\n" +
                        "The file currently contains:\n\n" +
                        "Do you want to decode this file? Y/N\n" + kMenu);
  EXPECT_EQ(listFolder(), "");
}

TEST(MenuTest, AnOverlongNameNeverRepeatsAnAction) {
  // The rest of an overlong name is dropped with its line: the n answers the question and the
  // x then ends the program.
  const std::string screen = runDialogue("e\nabcdefghijklmnopqrstuvwxyz.txt\nn\nx\n");
  EXPECT_EQ(screen, kMenu + "Please enter the name of the file you want to encode:\n" +
                        "The file currently contains:\n\n" +
                        "Do you want to encode this file? Y/N\n" + kMenu);
}
