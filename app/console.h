#ifndef KESTROVANE_APP_CONSOLE_H
#define KESTROVANE_APP_CONSOLE_H

#include <string>
#include <string_view>

#include "platform/screen.h"

// The only code that reads and writes standard input, output and error (how they carry bytes is
// set once, in the platform layer). Every read first flushes pending output (standard input is
// tied to standard output), so a prompt is always on screen before the program waits.

// Writes the program's own text and an end of line, and flushes. In its text each `\n` is a line
// end, written as the screen's.
void printLine(std::string_view text);
// Writes the program's own text without an end of line.
void print(std::string_view text);
// Writes bytes from outside the program (any bytes, any length) exactly as they are.
void printBytes(std::string_view bytes);
// Writes `shown`, part of a text from a file as the terminal filter shows it, read as `encoding`,
// to a screen that is written characters (a Windows console), after what standard output holds;
// `textEnds` ends that text.
void printCharacters(std::string_view shown, FileEncoding encoding, bool textEnds);
// The screen's line end for the program's own lines, decided once by main: "\n" until then, "\r\n"
// where Windows writes standard output in binary mode.
void setLineEnd(std::string_view end);

// Says on standard error why a save was refused, once: `kestrovane: NAME: REASON`. On a terminal
// NAME and REASON (which may name another file) show their control bytes visibly, and where the
// screen is that terminal too, the line starts with a line end and ends with none, so that it
// stands under the name the screen has just shown and the closing prompt follows as it always does;
// elsewhere it is a line of its own, its bytes as they are. The typed NAME is written in REASON's
// code page (nameForErrors), so one code page reads the whole line; a Windows console is written
// it as characters.
void printRefusal(std::string_view name, std::string_view reason);
// Whether standard error is a terminal, and whether it is the one standard output is too, decided
// once by main; until then, pipes.
void setErrorsAreTerminal(bool terminal, bool screenToo);

// Takes the next non-blank character. Returns false, and sets `into` to 0, once input has
// ended, so a stale answer can never confirm a later question.
bool readAnswer(char& into);
// True for the answers that mean yes: Y and y.
bool isYes(char answer);

// Discards one character (the line end left by the preceding one-letter answer), then reads
// the rest of the line into `into`, keeping at most maxLength characters and discarding the
// remainder of the line with its line end. At end of input the name is what was typed so far.
void readName(std::string& into, std::size_t maxLength);

// Takes the next character as it is, white space and line ends included. False at end of input.
bool readMessageChar(char& into);
// Discards input up to and including the next line end.
void discardRestOfLine();

#endif  // KESTROVANE_APP_CONSOLE_H
