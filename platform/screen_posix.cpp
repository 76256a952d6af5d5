#include <langinfo.h>
#include <locale.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef __APPLE__
#include <xlocale.h>
#endif

#include "platform/screen.h"

// POSIX reads and writes bytes as they are already.
const char* passBytesExactly() {
  return "\n";
}

bool standardOutputIsTerminal() {
  return isatty(STDOUT_FILENO) == 1;
}

bool standardErrorIsTerminal() {
  return isatty(STDERR_FILENO) == 1;
}

bool standardErrorIsTheScreen() {
  struct stat screen;
  struct stat errors;
  return standardOutputIsTerminal() && standardErrorIsTerminal() &&
         fstat(STDOUT_FILENO, &screen) == 0 && fstat(STDERR_FILENO, &errors) == 0 &&
         screen.st_rdev == errors.st_rdev;
}

std::string terminalCharacterSet() {
  // A locale object of its own: setlocale would change how the program itself reads and writes.
  const locale_t environment = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(0));
  if (environment == static_cast<locale_t>(0)) {
    return "";
  }
  const char* const name = nl_langinfo_l(CODESET, environment);
  std::string codeset = name != nullptr ? name : "";
  freelocale(environment);
  return codeset;
}

// A terminal is written bytes: no text is ever written as characters here.
bool standardOutputTakesCharacters() {
  return false;
}

FileEncoding encodingOfFileText(std::string_view) {
  return FileEncoding::utf8;
}

void writeFileCharacters(std::string_view, FileEncoding, bool) {}

bool writeErrorCharacters(std::string_view) {
  return false;
}
