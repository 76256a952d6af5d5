#ifndef KESTROVANE_CODEC_MESSAGE_CODER_H
#define KESTROVANE_CODEC_MESSAGE_CODER_H

#include "app/program_state.h"

// Reads a named one-line message, echoes it and, once confirmed, writes its coded form to the
// console and to a file named after it with the extension .enc. The menu always comes back.
void codeMessage(ProgramState& state);

#endif  // KESTROVANE_CODEC_MESSAGE_CODER_H
