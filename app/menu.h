#ifndef KESTROVANE_APP_MENU_H
#define KESTROVANE_APP_MENU_H

#include "app/program_state.h"

// Shows the menu and runs the chosen action, again and again, until an action leaves doneFlag
// non-zero or standard input ends.
void runMenu(ProgramState& state);

#endif  // KESTROVANE_APP_MENU_H
