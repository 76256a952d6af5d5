#include "app/terminal_filter.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>

#include "app/console.h"
#include "platform/screen.h"

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
  // On a screen written characters (a Windows console), whether a text from a file is being shown,
  // and how its bytes are read: the table below is then that text's, not the screen's.
  bool characters = false;
  bool fileText = false;
  FileEncoding encoding = FileEncoding::utf8;
  // A byte whose form depends on the next one, which a later call may bring: a carriage
  // return (kept only next to a line feed) or a UTF-8 lead byte C2 (a control if 80 to 9F
  // follows); 0 for none.
  unsigned char pending = 0;
  bool afterLineFeed = false;
  // The bytes that do not pass as they are on this screen: they have a form of their own, or
  // need a look at a neighbour.
  std::array<bool, 256> special{};
  std::string shown;  // room for one call's forms, kept from call to call
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

char* putHex(char* out, unsigned char byte) {
  out[0] = kHexDigits[byte >> 4];
  out[1] = kHexDigits[byte & 0xF];
  return out + 2;
}

char* put(char* out, std::string_view form) {
  if (!form.empty()) {  // an empty view may point nowhere, which memcpy may not be given
    std::memcpy(out, form.data(), form.size());
  }
  return out + form.size();
}

// Writes the visible form of `byte` at `out`, or holds it pending until the next byte; returns
// the end of what it wrote.
char* showByte(unsigned char byte, char* out) {
  if (screen.pending == '\r') {
    out = put(out, byte == '\n' ? "\r" : "^M");
  } else if (screen.pending == kUtf8C1Lead) {
    if (byte >= 0x80 && byte <= 0x9F) {
      screen.pending = 0;
      screen.afterLineFeed = false;
      out = putHex(put(out, "<U+00"), byte);
      *out++ = '>';
      return out;
    }
    *out++ = static_cast<char>(kUtf8C1Lead);
  }
  screen.pending = 0;
  // Past this test, the table has said which bytes the screen takes as controls.
  if (!screen.special[byte]) {
    *out++ = static_cast<char>(byte);
  } else if (byte == '\r') {
    if (screen.afterLineFeed) {
      *out++ = '\r';
    } else {
      screen.pending = byte;
    }
  } else if (byte == kUtf8C1Lead) {  // on a UTF-8 screen
    screen.pending = byte;
  } else if (byte < 0x20) {
    *out++ = '^';
    *out++ = static_cast<char>(byte + 0x40);  // ^@ for NUL, ^[ for ESC, ^_ for 0x1F
  } else if (byte == 0x7F) {
    out = put(out, "^?");
  } else {  // 0x80 to 0x9F on an ISO 8859 screen
    *out++ = '<';
    out = putHex(out, byte);
    *out++ = '>';
  }
  screen.afterLineFeed = byte == '\n';
  return out;
}

// Marks the bytes that do not pass as they are where the bytes above 0x7F are read as `highBytes`.
void setSpecialBytes(HighBytes highBytes) {
  for (int byte = 0; byte < 256; ++byte) {
    screen.special[byte] = (byte < 0x20 && byte != '\t' && byte != '\n') || byte == 0x7F ||
                           (byte == kUtf8C1Lead && highBytes == HighBytes::utf8) ||
                           (byte >= 0x80 && byte <= 0x9F && highBytes == HighBytes::iso8859);
  }
}

// Writes what the filter made of a text: bytes, or a file's text on a screen written characters.
void writeShown(std::string_view shown) {
  if (screen.fileText) {
    printCharacters(shown, screen.encoding, false);
  } else {
    printBytes(shown);
  }
}

// Whether any of eight bytes may lie outside printable ASCII (0x20 to 0x7E): such a byte has its
// top bit set already, or gets it when 0x20 is taken from each byte or 1 added to each. A borrow
// or carry between bytes may set it in a printable byte too: a false alarm, which only costs a
// look at the table.
bool mayHoldSpecial(std::uint64_t bytes) {
  constexpr std::uint64_t kEach = 0x0101010101010101;
  return ((bytes - kEach * 0x20) | bytes | (bytes + kEach)) & (kEach * 0x80);
}

// Whether the byte at `at`, one that waits for a neighbour, finds it in the same text and passes as
// it is: a carriage return beside a line feed (CR LF line ends, or their coded echo), or a lead
// byte C2 before anything but 80 to 9F (a no-break space, a degree sign...).
bool passesBesideItsNeighbours(std::string_view text, std::size_t at) {
  if (at + 1 == text.size()) {
    return text[at] == '\r' && at > 0 && text[at - 1] == '\n';
  }
  const auto next = static_cast<unsigned char>(text[at + 1]);
  switch (static_cast<unsigned char>(text[at])) {
    case '\r':
      return next == '\n' || (at > 0 && text[at - 1] == '\n');
    case kUtf8C1Lead:
      return next < 0x80 || next > 0x9F;
    default:
      return false;
  }
}

// Where the run of bytes from `from` that pass as they are ends: eight bytes at a time while they
// are printable ASCII, the usual case, and the table where they may not be.
std::size_t plainRunEnd(std::string_view text, std::size_t from) {
  for (;;) {
    std::uint64_t eight;
    while (from + sizeof eight <= text.size() &&
           (std::memcpy(&eight, text.data() + from, sizeof eight), !mayHoldSpecial(eight))) {
      from += sizeof eight;
    }
    const std::size_t stop = std::min(from + sizeof eight, text.size());
    for (; from < stop; ++from) {
      if (screen.special[static_cast<unsigned char>(text[from])] &&
          !passesBesideItsNeighbours(text, from)) {
        return from;
      }
    }
    if (from == text.size()) {
      return from;
    }
  }
}

// What no later byte came to decide, at the end of a text: a lone carriage return, or a lead
// byte C2.
std::string_view pendingForm() {
  if (screen.pending == '\r') {
    return "^M";
  }
  return screen.pending == kUtf8C1Lead ? std::string_view("\xC2", 1) : std::string_view();
}

}  // namespace

void printShown(std::string_view text) {
  // To a pipe or a file the bytes go as they are, at the speed of a plain write.
  if (!screen.terminal) {
    printBytes(text);
    return;
  }
  // Most bytes pass as they are: the few that do not are found eight at a time and with the table,
  // the runs between them are copied whole, and only those few take the per-byte rules. Text
  // with none, the usual case, goes to the screen without a copy.
  std::size_t end = screen.pending == 0 ? plainRunEnd(text, 0) : 0;
  if (end == text.size()) {
    if (end > 0) {
      writeShown(text);
      screen.afterLineFeed = text.back() == '\n';
    }
    return;
  }
  // The forms are written in place, with room for the widest: each byte shows as at most four
  // characters ("<9B>"), and the first, after one held from the last call, as at most eight.
  if (screen.shown.size() < 4 * text.size() + 8) {
    screen.shown.resize(4 * text.size() + 8);
  }
  char* const start = screen.shown.data();
  char* out = start;
  std::size_t next = 0;
  for (;;) {
    if (end > next) {
      out = put(out, text.substr(next, end - next));
      screen.afterLineFeed = text[end - 1] == '\n';
    }
    if (end == text.size()) {
      break;
    }
    // That byte takes the per-byte rules; one they hold is decided by the next, whatever it is.
    next = end;
    do {
      out = showByte(static_cast<unsigned char>(text[next++]), out);
    } while (screen.pending != 0 && next < text.size());
    end = plainRunEnd(text, next);
  }
  writeShown(std::string_view(start, static_cast<std::size_t>(out - start)));
}

void printFileText(std::string_view text) {
  // Read as UTF-8, a file's text takes that set's rule for C1 controls (<U+0085>). Read in the ANSI
  // code page, no byte above 0x7F is one here: a byte that the code page leaves undefined or makes
  // a C1 control shows as its hex form where the bytes become characters (writeFileCharacters).
  if (screen.characters && !screen.fileText && !text.empty()) {
    screen.fileText = true;
    screen.encoding = encodingOfFileText(text);
    setSpecialBytes(screen.encoding == FileEncoding::utf8 ? HighBytes::utf8 : HighBytes::passed);
  }
  printShown(text);
}

void endShown() {
  if (screen.fileText) {
    printCharacters(pendingForm(), screen.encoding, true);
    screen.fileText = false;
    setSpecialBytes(screen.highBytes);
  } else {
    printBytes(pendingForm());
  }
  screen.pending = 0;
  screen.afterLineFeed = false;
}

std::string visibleForm(std::string_view text) {
  const unsigned char pending = std::exchange(screen.pending, 0);
  const bool afterLineFeed = std::exchange(screen.afterLineFeed, false);
  std::string shown(4 * text.size() + 8, '\0');
  char* out = shown.data();
  for (const char c : text) {
    out = showByte(static_cast<unsigned char>(c), out);
  }
  out = put(out, pendingForm());
  shown.resize(static_cast<std::size_t>(out - shown.data()));
  screen.pending = pending;
  screen.afterLineFeed = afterLineFeed;
  return shown;
}

void setScreenIsTerminal(bool terminal, std::string_view characterSet, bool takesCharacters) {
  screen.terminal = terminal;
  screen.characters = terminal && takesCharacters;
  screen.highBytes = highBytesOf(characterSet);
  setSpecialBytes(screen.highBytes);
}
