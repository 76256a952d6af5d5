#include "app/terminal_filter.h"

#include <cctype>
#include <string>

#include "app/console.h"

namespace {

// What a terminal's character set makes of the bytes above 0x7F.
enum class HighBytes {
  utf8,     // U+0080 to U+009F (C2 80 to C2 9F) are controls; the C locale is taken as UTF-8 too
  iso8859,  // the bytes 0x80 to 0x9F are controls
  passed,   // characters or parts of one (Windows code pages, EUC, GB18030, Big5, Shift-JIS...)
};

constexpr unsigned char kUtf8C1Lead = 0xC2;
constexpr char kHexDigits[] = "0123456789ABCDEF";

struct Screen {
  bool terminal = false;
  HighBytes highBytes = HighBytes::utf8;
  // A byte whose form depends on the next one, which a later call may bring: a carriage
  // return (kept only next to a line feed) or a UTF-8 lead byte C2 (a control if 80 to 9F
  // follows); 0 for none.
  unsigned char pending = 0;
  bool afterLineFeed = false;
  std::string shown;
};

Screen screen;

HighBytes highBytesOf(std::string_view characterSet) {
  std::string name;
  for (const char c : characterSet) {
    if (c != '-' && c != '_') {
      name.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
    }
  }
  // No name, or the C locale's: the program cannot tell, and today's terminals are UTF-8.
  if (name.empty() || name.rfind("UTF8", 0) == 0 || name == "ANSIX3.41968" || name == "ASCII" ||
      name == "USASCII" || name == "646") {
    return HighBytes::utf8;
  }
  return name.rfind("ISO8859", 0) == 0 ? HighBytes::iso8859 : HighBytes::passed;
}

void appendHex(std::string& into, unsigned char byte) {
  into.push_back(kHexDigits[byte >> 4]);
  into.push_back(kHexDigits[byte & 0xF]);
}

// Appends the visible form of `byte` to screen.shown, or holds it pending until the next byte.
void showByte(unsigned char byte) {
  std::string& out = screen.shown;
  if (screen.pending == '\r') {
    out += byte == '\n' ? "\r" : "^M";
  } else if (screen.pending == kUtf8C1Lead) {
    if (byte >= 0x80 && byte <= 0x9F) {
      screen.pending = 0;
      screen.afterLineFeed = false;
      out += "<U+00";
      appendHex(out, byte);
      out += '>';
      return;
    }
    out.push_back(static_cast<char>(kUtf8C1Lead));
  }
  screen.pending = 0;
  if (byte == '\r') {
    if (screen.afterLineFeed) {
      out += '\r';
    } else {
      screen.pending = byte;
    }
  } else if (byte == kUtf8C1Lead && screen.highBytes == HighBytes::utf8) {
    screen.pending = byte;
  } else if (byte < 0x20 && byte != '\t' && byte != '\n') {
    out += '^';
    out.push_back(static_cast<char>(byte + 0x40));  // ^@ for NUL, ^[ for ESC, ^_ for 0x1F
  } else if (byte == 0x7F) {
    out += "^?";
  } else if (byte >= 0x80 && byte <= 0x9F && screen.highBytes == HighBytes::iso8859) {
    out += '<';
    appendHex(out, byte);
    out += '>';
  } else {
    out.push_back(static_cast<char>(byte));
  }
  screen.afterLineFeed = byte == '\n';
}

}  // namespace

void printShown(std::string_view text) {
  // To a pipe or a file the bytes go as they are, at the speed of a plain write.
  if (!screen.terminal) {
    print(text);
    return;
  }
  screen.shown.clear();
  for (const char c : text) {
    showByte(static_cast<unsigned char>(c));
  }
  print(screen.shown);
}

void endShown() {
  // What no later byte came to decide: a lone carriage return, or a lead byte C2 at the end.
  if (screen.pending == '\r') {
    print("^M");
  } else if (screen.pending == kUtf8C1Lead) {
    print(std::string_view("\xC2", 1));
  }
  screen.pending = 0;
  screen.afterLineFeed = false;
}

std::string visibleForm(std::string_view text) {
  const Screen before = screen;
  screen.shown.clear();
  screen.pending = 0;
  screen.afterLineFeed = false;
  for (const char c : text) {
    showByte(static_cast<unsigned char>(c));
  }
  std::string shown = screen.shown;
  if (screen.pending == '\r') {
    shown += "^M";
  } else if (screen.pending == kUtf8C1Lead) {
    shown.push_back(static_cast<char>(kUtf8C1Lead));
  }
  screen = before;
  return shown;
}

void setScreenIsTerminal(bool terminal, std::string_view characterSet) {
  screen.terminal = terminal;
  screen.highBytes = highBytesOf(characterSet);
}
