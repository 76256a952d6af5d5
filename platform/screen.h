#ifndef KESTROVANE_PLATFORM_SCREEN_H
#define KESTROVANE_PLATFORM_SCREEN_H

// What the screen is: a terminal (a console on Windows) or a pipe or file, for standard output and
// for standard error, which character set a terminal shows bytes in, and how standard input and
// output carry bytes. Asked and set once, at the start. And on Windows, the text that a console
// is written as characters rather than bytes.

#include <string>
#include <string_view>

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
// Whether standard error is the very terminal standard output is (on Windows, the process's one
// console), so that what it says stands among the screen's own lines.
bool standardErrorIsTheScreen();
// The character set the terminal shows bytes in: on POSIX the codeset of the environment's
// LC_CTYPE locale ("UTF-8", "ISO-8859-1", "ANSI_X3.4-1968" for the C locale), read without
// changing the program's own locale; on Windows the console's output code page, by the same
// names where it has one ("UTF-8", "ISO-8859-5"), else "CP" and its number. Empty if unknown.
std::string terminalCharacterSet();

// Whether standard output is a screen that is written characters rather than bytes: a Windows
// console, through WriteConsoleW, which shows every character whatever its code page. Never on
// POSIX, where a terminal is written bytes.
bool standardOutputTakesCharacters();

// How the bytes of a text from a file are read as characters on such a screen: as UTF-8, a byte
// in no valid sequence read as the ANSI code page gives it, or all in the system's ANSI code page.
enum class FileEncoding { utf8, ansi };
// How a text whose first block is `firstBlock` is read: as UTF-8 where that block is valid UTF-8
// (a sequence cut at its end allowed), else in the ANSI code page.
FileEncoding encodingOfFileText(std::string_view firstBlock);
// Writes `shown`, the next part of a text from a file as the terminal filter shows it, read as
// `encoding`, to standard output's console as characters, each line end as CR LF as the console
// always had it. A character split between two calls is joined; where `textEnds`, the bytes left
// of one are shown too. A byte that the ANSI code page leaves undefined, or maps to a C1 control
// (which a console may obey), shows as its hex form, <81>. Called only where standard output
// takes characters.
void writeFileCharacters(std::string_view shown, FileEncoding encoding, bool textEnds);
// Writes `line`, in the code page that failureReason writes in, to standard error's console as
// characters, each line end as CR LF. False, writing nothing, where standard error is not a
// screen that takes characters (a pipe, a file, or any POSIX terminal).
bool writeErrorCharacters(std::string_view line);

#endif  // KESTROVANE_PLATFORM_SCREEN_H
