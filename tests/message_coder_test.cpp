#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "codec/code_char.h"
#include "tests/dialogue.h"

namespace fs = std::filesystem;

namespace {

using MessageCoderTest = DialogueTest;

const std::string kAskName =
    "Please enter a name for the message you want to encode (no spaces):\n"
    "Please enter your message\n"
    "the message you just typed was:\n";

// The screen of one manual encode answered y, from its first prompt to its closing prompt.
std::string messageScreen(const std::string& message, const std::string& outName,
                          const std::string& saved = "has been saved as: ") {
  return kAskName + " " + message + "\nDo you want to encode this Message? Y/N\n" +
         "   Encoded Output:\n" + codedForm(message) + "\nYour encoded file " + saved + outName +
         "\n\nPress any Key and then Enter to return to the menu\n";
}

}  // namespace

TEST_F(MessageCoderTest, AMessageIsEchoedCodedAndSaved) {
  ProgramState state;
  EXPECT_EQ(runDialogue("M\nnote\nhello there\ny\nk\nx\n", state),
            kMenu + R"(Please enter a name for the message you want to encode (no spaces):
Please enter your message
the message you just typed was:
 hello there
Do you want to encode this Message? Y/N
   Encoded Output:
2r2ht 4ll2h
Your encoded file has been saved as: note.enc

Press any Key and then Enter to return to the menu
)" + kMenu);
  EXPECT_EQ(readFile("note.enc"), "2r2ht 4ll2h");
  EXPECT_EQ(state.messageText, " hello there");
  EXPECT_EQ(listFolder(), "note.enc");
}

TEST_F(MessageCoderTest, OutputIsNamedUpToTheFirstSpaceOrDot) {
  struct Case {
    const char* typed;
    const char* output;
  };
  fs::create_directories("v1.0");
  fs::create_directories("my dir");
  const Case cases[] = {
      {"my note.txt", "my.enc"},
      {"hi.there", "hi.enc"},
      {"", ".enc"},
      {"exactly_twenty_chars", "exactly_twenty_chars.enc"},
      {"12345678901234567890X", "12345678901234567890.enc"},  // a name holds 20 characters
      {"v1.0/hi there", "v1.0/hi.enc"},
      {"my dir/a.b", "my dir/a.enc"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(runDialogue(std::string("m\n") + c.typed + "\nAbc\ny\nk\nx\n"),
              kMenu + messageScreen("Abc", c.output) + kMenu);
    EXPECT_EQ(readFile(c.output), "cb6");
  }
}

TEST_F(MessageCoderTest, AnEmptyMessageGivesAnEmptyFileAndNCreatesNone) {
  EXPECT_EQ(runDialogue("M\nnothing\n\nN\nx\n"),
            kMenu + kAskName + " \nDo you want to encode this Message? Y/N\n" + kMenu);
  EXPECT_EQ(listFolder(), "");
  EXPECT_EQ(runDialogue("M\nnothing\n\ny\nk\nx\n"),
            kMenu + messageScreen("", "nothing.enc") + kMenu);
  EXPECT_TRUE(fs::is_regular_file("nothing.enc"));
  EXPECT_EQ(readFile("nothing.enc"), "");
}

TEST_F(MessageCoderTest, OnlyTheFirstSeventyNineCharactersAreKept) {
  const std::string exact(79, 'a');
  EXPECT_EQ(runDialogue("M\nexact\n" + exact + "\ny\nk\nx\n"),
            kMenu + messageScreen(exact, "exact.enc") + kMenu);
  EXPECT_EQ(readFile("exact.enc"), std::string(79, '1'));
  // The rest of a longer line neither answers the question nor reaches the menu.
  const std::string longer = std::string(79, 'b') + "yes Eh x";
  EXPECT_EQ(runDialogue("M\nlong\n" + longer + "\nn\nx\n"),
            kMenu + kAskName + " " + std::string(79, 'b') +
                "\nDo you want to encode this Message? Y/N\n" + kMenu);
  EXPECT_FALSE(fs::exists("long.enc"));
}

TEST_F(MessageCoderTest, AnOutputThatCannotBeSavedIsReported) {
  fs::create_directory("taken.enc");
  // A NUL byte would end the name for the system: "n" NUL "x" would save as the file n.
  const std::string nul("n\0x", 3);
  EXPECT_EQ(
      runDialogue("M\nnone/note\nhi\ny\nk\nM\ntaken\nhi\ny\nk\nM\n" + nul + "\nhi\ny\nk\nx\n"),
      kMenu + messageScreen("hi", "none/note.enc", "could not be saved as: ") + kMenu +
          messageScreen("hi", "taken.enc", "could not be saved as: ") + kMenu +
          messageScreen("hi", nul + ".enc", "could not be saved as: ") + kMenu);
  EXPECT_EQ(listFolder(), "taken.enc");
  EXPECT_EQ(listFolder("taken.enc"), "");
}
