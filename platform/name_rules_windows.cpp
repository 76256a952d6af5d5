// Names as typed, in the code page they were typed in, and what a name names before anything is
// opened: a file, a device or a stream of a file, and whether a short name stands for another
// file's long one.

#include <windows.h>

#include <algorithm>
#include <cwchar>
#include <cwctype>
#include <string>
#include <string_view>

#include "platform/name_rules.h"
#include "platform/windows_internal.h"

namespace fs = std::filesystem;

namespace {

// Names that Win32 takes for a device in any folder, with any extension; case and trailing
// spaces do not count.
bool isDeviceName(std::wstring name) {
  name = name.substr(0, name.find(L'.'));
  name.erase(name.find_last_not_of(L' ') + 1);
  for (wchar_t& c : name) {
    c = static_cast<wchar_t>(std::towupper(c));
  }
  for (const wchar_t* device : {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"}) {
    if (name == device) {
      return true;
    }
  }
  return name.size() == 4 && (name.compare(0, 3, L"COM") == 0 || name.compare(0, 3, L"LPT") == 0) &&
         std::wcschr(L"0123456789\u00b9\u00b2\u00b3", name[3]) != nullptr;
}

bool sameName(std::wstring_view name, std::wstring_view other) {
  return CompareStringOrdinal(name.data(), static_cast<int>(name.size()), other.data(),
                              static_cast<int>(other.size()), TRUE) == CSTR_EQUAL;
}

// Whether `rest`, a share's name past its `\\` or `UNC\` (`server\share\...`), is a pipe or a
// mailslot of that machine, which Windows reaches as its shares PIPE and MAILSLOT.
bool isRemotePipe(std::wstring_view rest) {
  const std::size_t server = rest.find(L'\\');
  if (server == std::wstring_view::npos) {
    return false;
  }
  rest.remove_prefix(server + 1);
  const std::wstring_view share = rest.substr(0, rest.find(L'\\'));
  return sameName(share, L"pipe") || sameName(share, L"mailslot");
}

// Whether `rest`, what follows \\?\ or \\.\, starts with a drive: a letter and a colon, then the
// end or `\`. Anything else there (a pipe, a port, `C:/x`) is another name of the device space.
bool startsWithDrive(std::wstring_view rest) {
  const wchar_t letter = static_cast<wchar_t>(rest.empty() ? 0 : rest[0] | 0x20);
  return rest.size() >= 2 && letter >= L'a' && letter <= L'z' && rest[1] == L':' &&
         (rest.size() == 2 || rest[2] == L'\\');
}

}  // namespace

const char* whyNotAFile(std::wstring_view full) {
  std::wstring_view rest = full;
  if (hasRawPrefix(rest)) {
    rest.remove_prefix(4);
    // \\?\ and \??\ lead to the system's own names, where a share (UNC\) and a volume hold files
    // too; \\.\ to the devices, where only a drive's names are files.
    const bool ownNames = takenAsItStands(full);
    if (ownNames && startsWithNoCase(rest, L"UNC\\")) {
      rest.remove_prefix(4);
      if (isRemotePipe(rest)) {
        return kDevice;
      }
    } else if (ownNames && startsWithNoCase(rest, L"Volume{")) {
      rest.remove_prefix(rest.find(L'\\') + 1);
    } else if (!startsWithDrive(rest)) {
      return kDevice;
    }
  } else if (rest.rfind(L"\\\\", 0) == 0 && isRemotePipe(rest.substr(2))) {
    return kDevice;
  }
  // Past a drive's colon, a colon names a stream of a file (in a volume's one-letter file too).
  if (startsWithDrive(rest)) {
    rest.remove_prefix(2);
  }
  if (rest.find(L':') != std::wstring_view::npos) {
    return kStream;
  }
  return isDeviceName(std::wstring(full.substr(full.find_last_of(L"\\/") + 1))) ? kDevice : nullptr;
}

bool namesFileOnly(const std::wstring& full, Failure& failure) {
  if (full.empty()) {
    noteSystemFailure(failure);
    return false;
  }
  if (const char* why = whyNotAFile(full)) {
    noteRefusal(failure, why);
    return false;
  }
  return true;
}

// Windows finds a file by its short name as well as by its long one, so a typed LONG~1.ENC can
// name `long report.enc`, which nobody meant to replace. A name typed in full is taken, whatever
// its case.
bool isShortNameOfAnother(const std::wstring& full, Failure& failure) {
  WIN32_FIND_DATAW entry;
  const HANDLE found = FindFirstFileW(longPath(full).c_str(), &entry);
  if (found == INVALID_HANDLE_VALUE) {
    return false;
  }
  FindClose(found);
  const std::wstring own = full.substr(full.rfind(L'\\') + 1);
  if (entry.cAlternateFileName[0] == L'\0' || sameName(own, entry.cFileName) ||
      !sameName(own, entry.cAlternateFileName)) {
    return false;
  }
  noteRefusal(failure, kShortNameOf, textForErrors(entry.cFileName));
  return true;
}

namespace {

// Typed bytes are text in the console's input code page when standard input is a console, in the
// ANSI code page when it is redirected.
UINT typedCodePage() {
  DWORD mode;
  return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) ? GetConsoleCP() : GetACP();
}

}  // namespace

std::wstring toWide(std::string_view bytes, UINT codePage, DWORD flags) {
  const int size = static_cast<int>(bytes.size());
  const int wideSize = MultiByteToWideChar(codePage, flags, bytes.data(), size, nullptr, 0);
  if (wideSize <= 0) {
    return {};
  }
  std::wstring wide(static_cast<std::size_t>(wideSize), L'\0');
  MultiByteToWideChar(codePage, flags, bytes.data(), size, wide.data(), wideSize);
  return wide;
}

fs::path typedPath(const std::string& typedName, Failure& failure) {
  if (typedName.find('\0') != std::string::npos) {
    noteRefusal(failure, kNulInName);
    return {};
  }
  const std::wstring wide = toWide(typedName, typedCodePage(), MB_ERR_INVALID_CHARS);
  if (wide.empty() && !typedName.empty()) {
    noteSystemFailure(failure);
  }
  return fs::path(wide);
}

std::string nameForErrors(std::string_view typedName) {
  const UINT codePage = typedCodePage();
  if (codePage == codePageForErrors()) {
    return std::string(typedName);
  }
  // Bytes that do not convert (a name cut inside a character) still show, as a stand-in.
  return textForErrors(toWide(typedName, codePage, 0));
}

std::size_t folderPartLength(std::string_view typedName) {
  // Walked by the code page's own rules, so that a name cut inside a character, which does not
  // convert, still keeps its folders: in a double-byte code page the second byte of a character
  // may have the value of `\` (in 932, 表 is 0x95 0x5C), and is no separator.
  const UINT codePage = typedCodePage();
  std::size_t folders = 0;
  for (std::size_t i = 0; i < typedName.size(); ++i) {
    const char c = typedName[i];
    if (IsDBCSLeadByteEx(codePage, static_cast<BYTE>(c))) {
      ++i;
    } else if (c == '\\' || c == '/' || c == ':') {
      folders = i + 1;
    }
  }
  return folders;
}

std::size_t nameLengthAsRead(std::string_view typedName) {
  if (typedName.rfind("\\\\?\\", 0) == 0 || typedName.rfind("\\??\\", 0) == 0) {
    return typedName.size();
  }
  // Neither byte is ever the second byte of a double-byte character, so the name can be read
  // from its end.
  const std::size_t folders = folderPartLength(typedName);
  std::size_t length = typedName.size();
  while (length > folders && (typedName[length - 1] == ' ' || typedName[length - 1] == '.')) {
    --length;
  }
  return length;
}

bool mayWriteOutput(const fs::path& path, Failure& failure) {
  const std::wstring full = fullPath(path);
  if (!namesFileOnly(full, failure)) {
    return false;
  }
  const DWORD attributes = GetFileAttributesW(longPath(full).c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
    noteRefusal(failure, kReadOnly);
    return false;
  }
  return true;
}
