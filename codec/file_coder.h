#ifndef KESTROVANE_CODEC_FILE_CODER_H
#define KESTROVANE_CODEC_FILE_CODER_H

#include "app/program_state.h"

enum class Direction { encode, decode };

// Asks for a file name, lists the file, asks for confirmation, then writes the file's coded
// form to the console and to a file named after it with the extension .enc (encoding) or .txt
// (decoding). Leaves doneFlag at 0 if the menu is to come back, at 1 if the program is to end.
void codeFile(ProgramState& state, Direction direction);

#endif  // KESTROVANE_CODEC_FILE_CODER_H
