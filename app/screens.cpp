#include "app/screens.h"

#include "app/console.h"

// The screens' wording, spelling included, is the program's own and is kept as it stands.

void showHelp(ProgramState& state) {
  printLine("\n\n------------------------------------------------------------------");
  printLine("                     +Kestrovane Help+ ");
  printLine("------------------------------------------------------------------");
  printLine(
      "\n\nto encode a message you need to make a plain text file \n  (you can make one in a "
      "program like notepad)");
  printLine(
      "You can save you text file with any name you like \nbut make sure you save it to the "
      "same directory as this program.");
  printLine(
      "If you save it some where other than this programs directory \nthen you will have to use "
      "the full path ie. C:\\codes\\test.txt");
  printLine(
      "New In this version you can Manualy encode a file. \nThis means that you type your "
      "message directly into this program.");
  printLine("\n\nPress any key and enter to return to the Menu:");
  readAnswer(state.pauseKey);
}

void showAbout(ProgramState& state) {
  printLine("\n\n------------------------------------------------------------------");
  printLine("                     +About Kestrovane+");
  printLine("------------------------------------------------------------------");
  printLine("\n\nTo find out how to use Kestrovane see help");
  printLine("\nWhat is Kestrovane?");
  printLine("Kestrovane is a program that turns plain text in to a secret code.");
  printLine("\nHow does it Work?");
  printLine(
      "Kestrovane has a secret code that governs how it encodes. \nTry to figure it out it is "
      "quite simple");
  printLine(" \n             more (press any key & enter)");
  // Only turns the page: whatever key is typed here, x included, the second page follows.
  readAnswer(state.currentChar);

  printLine("\n\nWhat is New in version 1.1?");
  printLine("Version 1.1 includes the following advancements:");
  printLine("1. Manual Encodeing");
  printLine("2. This about file");
  printLine("3. Smart Warnings about empty files");
  printLine("4. Updated help");
  printLine("\nKnown Bugs:");
  printLine(
      "2. Multi Lined files after decoding contain \ntwo blank lines for each newline in the "
      "original file");
  printLine(" If you have any Ideas about how to fix these problem's or you find more");
  printLine("         PLEASE email me at kestrovane@example.com");
  printLine("\n If there is anything you would like to see added to Kestrovane or ");
  printLine("   You have invented a secret code and would like it made in to a progam ");
  printLine("         PLEASE email me at kestrovane@example.com");
  printLine(
      "\n For more information and the latest updates check out "
      "http://www.example.com/kestrovane");
  printLine("    Fond of ciphers? Visit Cipher Corner at http://www.example.org/ciphercorner");
  printLine("\n         - The Kestrovane team ");
  printLine("\nPress any key and enter to return to the Menu:");
  readAnswer(state.pauseKey);
}
