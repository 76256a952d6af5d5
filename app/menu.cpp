#include "app/menu.h"

#include "app/console.h"
#include "app/screens.h"
#include "codec/file_coder.h"
#include "codec/message_coder.h"

void runMenu(ProgramState& state) {
  while (state.doneFlag == 0) {
    printLine("\n                 Welcome to Kestrovane Version 1.1 ");
    printLine("------------------------------------------------------------------");
    printLine("                              Menu                                ");
    printLine(
        "Press: \nE for encode, D for decode, M for manual encode, \nH for help, A for about, "
        "or X for exit");
    if (!readAnswer(state.answer)) {
      return;  // input has ended: nothing more can be asked
    }
    const char letter = state.answer;
    if (letter == 'E' || letter == 'e') {
      // Encoding and decoding end the program unless they reset the flag.
      state.doneFlag = 1;
      codeFile(state, Direction::encode);
    } else if (letter == 'D' || letter == 'd') {
      state.doneFlag = 1;
      codeFile(state, Direction::decode);
    } else if (letter == 'X' || letter == 'x') {
      state.doneFlag = 1;
    } else if (letter == 'h' || letter == 'H') {
      showHelp(state);
    } else if (letter == 'i' || letter == 'I' || letter == 'a' || letter == 'A') {
      showAbout(state);
    } else if (letter == 'm' || letter == 'M') {
      codeMessage(state);
    } else {
      printLine("Error! Try again:");
    }
  }
}
