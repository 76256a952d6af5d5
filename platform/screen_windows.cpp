#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <iostream>
#include <streambuf>

#include "platform/screen.h"

namespace {

bool isConsole(DWORD standardHandle) {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(standardHandle), &mode) != 0;
}

// Standard input read in binary mode, but with each CR LF taken as one LF: the only translation of
// the text mode worth keeping, since a line's end then is the one character the readers expect.
// A character at a time, as typed lines come.
class LineEndReader : public std::streambuf {
 public:
  explicit LineEndReader(std::streambuf* from) : from_(from) {}

 protected:
  int_type underflow() override {
    int_type c = from_->sbumpc();
    if (traits_type::eq_int_type(c, '\r') && traits_type::eq_int_type(from_->sgetc(), '\n')) {
      c = from_->sbumpc();
    }
    if (traits_type::eq_int_type(c, traits_type::eof())) {
      return c;
    }
    held_ = traits_type::to_char_type(c);
    setg(&held_, &held_, &held_ + 1);
    return c;
  }

 private:
  std::streambuf* from_;
  char held_ = 0;
};

}  // namespace

const char* passBytesExactly() {
  static LineEndReader reader(std::cin.rdbuf());
  _setmode(_fileno(stdin), _O_BINARY);
  std::cin.rdbuf(&reader);
  if (isConsole(STD_OUTPUT_HANDLE)) {
    return "\n";  // the text mode adds the CR, to the program's lines and to a listing's alike
  }
  std::fflush(stdout);
  _setmode(_fileno(stdout), _O_BINARY);
  return "\r\n";
}

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
