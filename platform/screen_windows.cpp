#include <windows.h>

#include "platform/screen.h"

namespace {

bool isConsole(DWORD standardHandle) {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(standardHandle), &mode) != 0;
}

}  // namespace

bool standardOutputIsTerminal() {
  return isConsole(STD_OUTPUT_HANDLE);
}

bool standardErrorIsTerminal() {
  return isConsole(STD_ERROR_HANDLE);
}

std::string terminalCharacterSet() {
  const UINT codePage = GetConsoleOutputCP();
  if (codePage == 0) {
    return "";
  }
  if (codePage == CP_UTF8) {
    return "UTF-8";
  }
  // Windows numbers the ISO 8859 sets from 28591 (8859-1); 8859-13 and -15 are 28603 and 28605.
  if ((codePage >= 28591 && codePage <= 28599) || codePage == 28603 || codePage == 28605) {
    return "ISO-8859-" + std::to_string(codePage - 28590);
  }
  return "CP" + std::to_string(codePage);
}
