#ifndef KESTROVANE_PLATFORM_SCREEN_H
#define KESTROVANE_PLATFORM_SCREEN_H

// What the screen is: a terminal (a console on Windows) or a pipe or file, for standard output and
// for standard error, which character set a terminal shows bytes in, and how standard input and
// output carry bytes. Asked and set once, at the start.

#include <string>

// Makes standard input and output carry bytes as they are, where the C library would translate
// them: in Windows' text mode every LF written gains a CR, a listed file's too, and a ^Z read
// ends all input. Standard input then reads a CR LF as one LF, so that a line ends as on POSIX
// and a name or an answer never keeps a CR; a lone CR and a ^Z are characters. Returns the line
// end of the program's own lines: "\r\n" on Windows for a pipe or a file, and "\n" for a
// Windows console, whose output keeps its text mode and so shows what it always showed; "\n" on
// POSIX, where nothing changes. Called before anything is read or written.
const char* passBytesExactly();

// Whether standard output, or standard error, is a terminal: on Windows, a console.
bool standardOutputIsTerminal();
bool standardErrorIsTerminal();
// The character set the terminal shows bytes in: on POSIX the codeset of the environment's
// LC_CTYPE locale ("UTF-8", "ISO-8859-1", "ANSI_X3.4-1968" for the C locale), read without
// changing the program's own locale; on Windows the console's output code page, by the same
// names where it has one ("UTF-8", "ISO-8859-5"), else "CP" and its number. Empty if unknown.
std::string terminalCharacterSet();

#endif  // KESTROVANE_PLATFORM_SCREEN_H
