// The console and the standard streams: how they carry bytes, what the console shows them in, and
// the characters it is written where bytes would show wrong letters.

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <streambuf>
#include <string>

#include "platform/screen.h"
#include "platform/windows_internal.h"

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

bool standardErrorIsTheScreen() {
  return standardOutputIsTerminal() && standardErrorIsTerminal();
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

bool standardOutputTakesCharacters() {
  return isConsole(STD_OUTPUT_HANDLE);
}

namespace {

// The length of the valid UTF-8 sequence that `bytes` start with; 0 where none starts there, and
// -1 where one does but `bytes` end inside it. The second byte's range leaves out overlong forms,
// surrogates and code points past U+10FFFF.
int utf8SequenceAt(std::string_view bytes) {
  const auto lead = static_cast<unsigned char>(bytes[0]);
  int length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead < 0x80) {
    return 1;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    low = lead == 0xE0 ? 0xA0 : 0x80;
    high = lead == 0xED ? 0x9F : 0xBF;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    low = lead == 0xF0 ? 0x90 : 0x80;
    high = lead == 0xF4 ? 0x8F : 0xBF;
  } else {
    return 0;
  }
  for (int i = 1; i < length; ++i) {
    if (static_cast<std::size_t>(i) == bytes.size()) {
      return -1;
    }
    const auto next = static_cast<unsigned char>(bytes[static_cast<std::size_t>(i)]);
    if (next < (i == 1 ? low : 0x80) || next > (i == 1 ? high : 0xBF)) {
      return 0;
    }
  }
  return length;
}

// What each byte shows alone in the ANSI code page: its character, or 0 where it has none there,
// is a C1 control there (which a console may obey), or leads a character of two bytes.
const std::array<wchar_t, 256>& ansiCharacters() {
  static const std::array<wchar_t, 256> characters = [] {
    std::array<wchar_t, 256> table{};
    for (int byte = 0; byte < 256; ++byte) {
      const char c = static_cast<char>(byte);
      wchar_t shown = 0;
      if (byte < 0x80) {
        shown = static_cast<wchar_t>(byte);
      } else if (!IsDBCSLeadByteEx(CP_ACP, static_cast<BYTE>(byte)) &&
                 MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, &c, 1, &shown, 1) != 1) {
        shown = 0;
      }
      table[static_cast<std::size_t>(byte)] = shown >= 0x80 && shown <= 0x9F ? 0 : shown;
    }
    return table;
  }();
  return characters;
}

void appendAnsiByte(std::wstring& into, unsigned char byte) {
  static const wchar_t kHexDigits[] = L"0123456789ABCDEF";
  if (const wchar_t shown = ansiCharacters()[byte]) {
    into += shown;
  } else {
    into += {L'<', kHexDigits[byte >> 4], kHexDigits[byte & 0xF], L'>'};
  }
}

// Adds the character of the valid UTF-8 sequence `bytes`, in UTF-16.
void appendUtf8(std::wstring& into, std::string_view bytes) {
  static const unsigned char kLeadBits[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
  std::uint32_t code = static_cast<unsigned char>(bytes[0]) & kLeadBits[bytes.size()];
  for (std::size_t i = 1; i < bytes.size(); ++i) {
    code = code << 6 | (static_cast<unsigned char>(bytes[i]) & 0x3F);
  }
  if (code >= 0x10000) {
    code -= 0x10000;
    into += static_cast<wchar_t>(0xD800 + (code >> 10));
    into += static_cast<wchar_t>(0xDC00 + (code & 0x3FF));
  } else {
    into += static_cast<wchar_t>(code);
  }
}

// Writes all of `text` to the console `standardHandle` is; a failed write ends it, as a write to
// a closed screen would.
void writeConsole(DWORD standardHandle, const std::wstring& text) {
  const HANDLE console = GetStdHandle(standardHandle);
  for (std::size_t at = 0; at < text.size();) {
    // In pieces the console takes at once, never between the two halves of a character.
    DWORD piece = static_cast<DWORD>(std::min<std::size_t>(text.size() - at, 8192));
    if (piece > 1 && IS_HIGH_SURROGATE(text[at + piece - 1])) {
      --piece;
    }
    DWORD written = 0;
    if (!WriteConsoleW(console, text.data() + at, piece, &written, nullptr) || written == 0) {
      return;
    }
    at += written;
  }
}

// The start of a character that the last part of a text cut, and room for a part's characters.
std::string held;
std::wstring characters;

}  // namespace

FileEncoding encodingOfFileText(std::string_view firstBlock) {
  for (std::size_t at = 0; at < firstBlock.size();) {
    const int length = utf8SequenceAt(firstBlock.substr(at));
    if (length == 0) {
      return FileEncoding::ansi;
    }
    if (length < 0) {
      break;
    }
    at += static_cast<std::size_t>(length);
  }
  return FileEncoding::utf8;
}

void writeFileCharacters(std::string_view shown, FileEncoding encoding, bool textEnds) {
  std::string joined;
  if (!held.empty()) {
    joined = held;
    joined += shown;
    shown = joined;
    held.clear();
  }
  characters.clear();
  for (std::size_t at = 0; at < shown.size();) {
    const auto byte = static_cast<unsigned char>(shown[at]);
    std::size_t length = 1;
    if (byte < 0x80) {
      if (byte == '\n') {
        characters += L'\r';
      }
      characters += static_cast<wchar_t>(byte);
    } else if (encoding == FileEncoding::utf8) {
      const int sequence = utf8SequenceAt(shown.substr(at));
      if (sequence < 0 && !textEnds) {
        held = shown.substr(at);
        break;
      }
      if (sequence > 0) {
        length = static_cast<std::size_t>(sequence);
        appendUtf8(characters, shown.substr(at, length));
      } else {
        appendAnsiByte(characters, byte);
      }
    } else if (IsDBCSLeadByteEx(CP_ACP, byte)) {
      wchar_t pair[2];
      if (at + 1 == shown.size() && !textEnds) {
        held = shown.substr(at);
        break;
      }
      const int got = at + 1 < shown.size() ? MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS,
                                                                  shown.data() + at, 2, pair, 2)
                                            : 0;
      if (got > 0) {
        length = 2;
        characters.append(pair, static_cast<std::size_t>(got));
      } else {
        appendAnsiByte(characters, byte);
      }
    } else {
      appendAnsiByte(characters, byte);
    }
    at += length;
  }
  writeConsole(STD_OUTPUT_HANDLE, characters);
}

bool writeErrorCharacters(std::string_view line) {
  if (!isConsole(STD_ERROR_HANDLE)) {
    return false;
  }
  const UINT codePage = codePageForErrors();
  std::wstring text;
  for (std::size_t end; !line.empty(); line.remove_prefix(end)) {
    end = std::min(line.find('\n'), line.size());
    text += toWide(line.substr(0, end), codePage, 0);
    if (end < line.size()) {
      text += L"\r\n";
      ++end;
    }
  }
  writeConsole(STD_ERROR_HANDLE, text);
  return true;
}
