#include "app/console.h"
#include "app/menu.h"
#include "app/program_state.h"
#include "app/terminal_filter.h"
#include "platform/interruptions.h"
#include "platform/screen.h"

int main() {
  ignoreFileSizeLimit();
  // Decided once: a terminal is shown a file's control bytes, never made to obey them.
  setScreenIsTerminal(standardOutputIsTerminal(), terminalCharacterSet());
  setErrorsAreTerminal(standardErrorIsTerminal());
  ProgramState state;
  runMenu(state);
  return 0;
}
