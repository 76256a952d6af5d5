#ifndef KESTROVANE_APP_TERMINAL_FILTER_H
#define KESTROVANE_APP_TERMINAL_FILTER_H

#include <string>
#include <string_view>

// Writes text that comes from outside the program (a file's bytes, a typed message or name). On
// a terminal its control bytes are shown in a visible form instead of being obeyed, as `cat -v`
// and `less` show them; to a pipe or a file it passes as it is. One piece of such text may come
// in several calls, split anywhere: endShown() ends it, writing what a last call left pending.
void printShown(std::string_view text);
// Writes text from a file (its listing, its coded or decoded echo) as printShown does. On a screen
// written characters (a Windows console) it is shown as its characters, read as its first part
// says (encodingOfFileText), until endShown ends it.
void printFileText(std::string_view text);
void endShown();
// The whole of `text` as a terminal is shown it, whatever standard output is: for a line on
// standard error, when that is a terminal.
std::string visibleForm(std::string_view text);
// Whether standard output is a terminal, decided once by main; not until then, so in-process
// tests and the fuzzer, which replace the screen, see the bytes as they are. `characterSet` is
// the terminal's, as terminalCharacterSet names it: it says which bytes above 0x7F are controls.
// `takesCharacters`: the terminal is written characters (standardOutputTakesCharacters).
void setScreenIsTerminal(bool terminal, std::string_view characterSet,
                         bool takesCharacters = false);

#endif  // KESTROVANE_APP_TERMINAL_FILTER_H
