#include "app/console.h"

#include <iostream>
#include <limits>
#include <string>

#include "app/terminal_filter.h"
#include "platform/name_rules.h"
#include "platform/screen.h"

namespace {

// Whether standard error is a terminal, and whether standard output is one too, which then
// shows the line the reason stands under and the closing prompt that follows it.
bool errorsAreTerminal = false;
bool errorsBesideScreen = false;
std::string_view lineEnd = "\n";

}  // namespace

void printLine(std::string_view text) {
  print(text);
  std::cout << lineEnd << std::flush;
}

void print(std::string_view text) {
  for (std::size_t end; (end = text.find('\n')) != std::string_view::npos;
       text.remove_prefix(end + 1)) {
    printBytes(text.substr(0, end));
    std::cout << lineEnd;
  }
  printBytes(text);
}

void printBytes(std::string_view bytes) {
  std::cout.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void printCharacters(std::string_view shown, FileEncoding encoding, bool textEnds) {
  std::cout.flush();  // what the screen holds comes first
  writeFileCharacters(shown, encoding, textEnds);
}

void setLineEnd(std::string_view end) {
  lineEnd = end;
}

void printRefusal(std::string_view name, std::string_view reason) {
  const std::string named = nameForErrors(name);
  // Standard error is tied to standard output: what the screen holds comes first.
  if (!errorsAreTerminal) {
    std::cerr << "kestrovane: " << named << ": " << reason << std::endl;
    return;
  }
  const std::string line = std::string(errorsBesideScreen ? "\n" : "") +
                           "kestrovane: " + visibleForm(named) + ": " + visibleForm(reason) +
                           (errorsBesideScreen ? "" : "\n");
  std::cout.flush();
  if (!writeErrorCharacters(line)) {
    std::cerr << line << std::flush;
  }
}

void setErrorsAreTerminal(bool terminal, bool screenToo) {
  errorsAreTerminal = terminal;
  errorsBesideScreen = terminal && screenToo;
}

bool readAnswer(char& into) {
  if (std::cin >> into) {
    return true;
  }
  into = 0;
  return false;
}

bool isYes(char answer) {
  return answer == 'Y' || answer == 'y';
}

void readName(std::string& into, std::size_t maxLength) {
  into.clear();
  // The one-letter answer before a name leaves its line end behind; this drops it, so
  // "Efoo.txt" typed on one line chooses E, drops the f and names oo.txt.
  std::cin.get();
  char c;
  while (std::cin.get(c) && c != '\n') {
    if (into.size() < maxLength) {
      into.push_back(c);
    }
  }
}

bool readMessageChar(char& into) {
  return static_cast<bool>(std::cin.get(into));
}

void discardRestOfLine() {
  std::cin.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
}
