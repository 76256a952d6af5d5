#include <gtest/gtest.h>

#include <string>

#include "tests/dialogue.h"

namespace {

const std::string kHelp = R"(

------------------------------------------------------------------
                     +Kestrovane Help+ 
------------------------------------------------------------------


to encode a message you need to make a plain text file 
  (you can make one in a program like notepad)
You can save you text file with any name you like 
but make sure you save it to the same directory as this program.
If you save it some where other than this programs directory 
then you will have to use the full path ie. C:\codes\test.txt
New In this version you can Manualy encode a file. 
This means that you type your message directly into this program.


Press any key and enter to return to the Menu:
)";

const std::string kAboutFirstPage = R"(

------------------------------------------------------------------
                     +About Kestrovane+
------------------------------------------------------------------


To find out how to use Kestrovane see help

What is Kestrovane?
Kestrovane is a program that turns plain text in to a secret code.

How does it Work?
Kestrovane has a secret code that governs how it encodes. 
Try to figure it out it is quite simple
 
             more (press any key & enter)
)";

const std::string kAboutSecondPage = R"(

What is New in version 1.1?
Version 1.1 includes the following advancements:
1. Manual Encodeing
2. This about file
3. Smart Warnings about empty files
4. Updated help

Known Bugs:
2. Multi Lined files after decoding contain 
two blank lines for each newline in the original file
 If you have any Ideas about how to fix these problem's or you find more
         PLEASE email me at kestrovane@example.com

 If there is anything you would like to see added to Kestrovane or 
   You have invented a secret code and would like it made in to a progam 
         PLEASE email me at kestrovane@example.com

 For more information and the latest updates check out http://www.example.com/kestrovane
    Fond of ciphers? Visit Cipher Corner at http://www.example.org/ciphercorner

         - The Kestrovane team 

Press any key and enter to return to the Menu:
)";

}  // namespace

TEST(ScreensTest, HelpShowsItsTextPausesAndReturnsToTheMenu) {
  for (const char* keys : {"h\nk\nx\n", "H\n\n  x\nx\n"}) {
    ProgramState state;
    EXPECT_EQ(runDialogue(keys, state), kMenu + kHelp + kMenu) << "keys: " << keys;
    EXPECT_EQ(state.doneFlag, 1);
  }
}

TEST(ScreensTest, AboutShowsTwoPagesAndAnXOnlyTurnsThePage) {
  for (const char* letter : {"a", "A", "i", "I"}) {
    EXPECT_EQ(runDialogue(std::string(letter) + "\nx\nk\nx\n"),
              kMenu + kAboutFirstPage + kAboutSecondPage + kMenu)
        << "letter: " << letter;
  }
  // Input ending at the first pause still shows the second page, then the program ends.
  EXPECT_EQ(runDialogue("a\n"), kMenu + kAboutFirstPage + kAboutSecondPage + kMenu);
}
