#include "app/console.h"
#include "app/menu.h"
#include "app/program_state.h"
#include "app/terminal_filter.h"
#include "platform/interruptions.h"
#include "platform/screen.h"

int main() {
  ignoreFileSizeLimit();
  // Before anything is read or written: a listed file's bytes reach a pipe as they are, while
  // the program's own lines keep the line end of the system.
  setLineEnd(passBytesExactly());
  // Decided once: a terminal is shown a file's control bytes, never made to obey them.
  setScreenIsTerminal(standardOutputIsTerminal(), terminalCharacterSet(),
                      standardOutputTakesCharacters());
  setErrorsAreTerminal(standardErrorIsTerminal(), standardErrorIsTheScreen());
  ProgramState state;
  runMenu(state);
  return 0;
}
