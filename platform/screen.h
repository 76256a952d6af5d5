#ifndef KESTROVANE_PLATFORM_SCREEN_H
#define KESTROVANE_PLATFORM_SCREEN_H

// What the screen is: a terminal (a console on Windows) or a pipe or file, for standard output and
// for standard error, and which character set a terminal shows bytes in. Asked once, at the
// start.

#include <string>

// Whether standard output, or standard error, is a terminal: on Windows, a console.
bool standardOutputIsTerminal();
bool standardErrorIsTerminal();
// The character set the terminal shows bytes in: on POSIX the codeset of the environment's
// LC_CTYPE locale ("UTF-8", "ISO-8859-1", "ANSI_X3.4-1968" for the C locale), read without
// changing the program's own locale; on Windows the console's output code page, by the same
// names where it has one ("UTF-8", "ISO-8859-5"), else "CP" and its number. Empty if unknown.
std::string terminalCharacterSet();

#endif  // KESTROVANE_PLATFORM_SCREEN_H
