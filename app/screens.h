#ifndef KESTROVANE_APP_SCREENS_H
#define KESTROVANE_APP_SCREENS_H

#include "app/program_state.h"

// The fixed Help and About screens; each ends with a pause, after which the menu comes back.
void showHelp(ProgramState& state);
void showAbout(ProgramState& state);

#endif  // KESTROVANE_APP_SCREENS_H
