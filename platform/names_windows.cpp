// Full paths, the one form of a name that every later call is given, and where an output name
// leads: the system itself finds the file, through its links and junctions.

#include <windows.h>

#include <algorithm>
#include <string_view>

#include "platform/names.h"
#include "platform/windows_internal.h"

namespace fs = std::filesystem;

bool startsWithNoCase(std::wstring_view text, std::wstring_view prefix) {
  return text.size() >= prefix.size() &&
         CompareStringOrdinal(text.data(), static_cast<int>(prefix.size()), prefix.data(),
                              static_cast<int>(prefix.size()), TRUE) == CSTR_EQUAL;
}

bool takenAsItStands(std::wstring_view name) {
  return name.rfind(L"\\\\?\\", 0) == 0 || name.rfind(L"\\??\\", 0) == 0;
}

bool hasRawPrefix(std::wstring_view full) {
  return takenAsItStands(full) || full.rfind(L"\\\\.\\", 0) == 0;
}

namespace {

// How much of a full path is its root, which no link can change: `C:\`, `\\server\share\`,
// `\\?\C:\`, `\\?\UNC\server\share\`, `\\?\Volume{...}\`. All of it if it has no more.
std::size_t rootLength(std::wstring_view full) {
  std::size_t at = 0;
  int parts = 1;  // a drive or a volume
  if (takenAsItStands(full) && startsWithNoCase(full.substr(4), L"UNC\\")) {
    at = 8;
    parts = 2;
  } else if (hasRawPrefix(full)) {
    at = 4;
  } else if (full.rfind(L"\\\\", 0) == 0) {
    at = 2;
    parts = 2;
  }
  for (; parts > 0 && at != std::wstring_view::npos; --parts) {
    at = full.find(L'\\', at);
    at = at == std::wstring_view::npos ? at : at + 1;
  }
  return std::min(at, full.size());
}

}  // namespace

std::wstring fullPath(const fs::path& path) {
  // Windows takes a \\?\ or \??\ name as it stands, so the program must too: GetFullPathNameW
  // would drop the trailing dots and spaces of its names, resolve `..` and turn `/` into `\`, and
  // make \??\ a folder of the current drive, and so lead to another file than the one used.
  if (takenAsItStands(path.native())) {
    return path.native();
  }
  const DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  std::wstring full(size, L'\0');
  const DWORD length = size ? GetFullPathNameW(path.c_str(), size, full.data(), nullptr) : 0;
  full.resize(length < size ? length : 0);
  return full;
}

std::wstring longPath(const fs::path& path) {
  const std::wstring full = fullPath(path);
  if (full.size() < MAX_PATH || hasRawPrefix(full)) {
    return full;
  }
  if (full.rfind(L"\\\\", 0) == 0) {
    return L"\\\\?\\UNC" + full.substr(1);  // \\server\share becomes \\?\UNC\server\share
  }
  return L"\\\\?\\" + full;
}

namespace {

// Opens `path` with no access rights, so nothing is read or locked, only found: links and
// junctions are followed unless `flags` says otherwise, and a folder opens as well as a file.
HANDLE openToFind(const std::wstring& path, DWORD flags) {
  return CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                     nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | flags, nullptr);
}

// The name the system gives an open file, with its drive letter, or with its volume's GUID
// where the volume has no letter (some RAM disks and user-mode file systems); empty if it gives
// neither.
std::wstring finalPathOf(HANDLE file) {
  for (const DWORD volume : {VOLUME_NAME_DOS, VOLUME_NAME_GUID}) {
    const DWORD size = GetFinalPathNameByHandleW(file, nullptr, 0, volume);
    std::wstring name(size, L'\0');
    const DWORD length = size ? GetFinalPathNameByHandleW(file, name.data(), size, volume) : 0;
    if (length > 0 && length < size) {
      name.resize(length);
      return name;
    }
  }
  return {};
}

// The final name of the file or folder `full` names; empty if there is none, with the error of
// its open in `error` if it could not be opened.
std::wstring finalPathOf(const std::wstring& full, DWORD& error) {
  const HANDLE file = openToFind(longPath(full), 0);
  error = file == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
  if (file == INVALID_HANDLE_VALUE) {
    return {};
  }
  std::wstring name = finalPathOf(file);
  CloseHandle(file);
  return name;
}

// Whether anything on the way to `full` (its folders, or itself) is a link or a junction.
bool passesReparsePoint(const std::wstring& full) {
  for (std::size_t end = rootLength(full); end <= full.size(); ++end) {
    if (end == full.size() || full[end] == L'\\') {
      const DWORD attributes = GetFileAttributesW(longPath(full.substr(0, end)).c_str());
      if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        return true;
      }
    }
  }
  return false;
}

// Where `full` lies: its folder, up to and with the `\` before its own name, goes in `into`, and
// that name is returned. Only `\` separates them: in a \\?\ name `/` is a character of a name,
// and a folder cut at one would be another folder.
fs::path placeIn(const std::wstring& full, Folder& into) {
  const std::size_t own = full.rfind(L'\\') + 1;
  into = Folder{kNoFile, fs::path(full.substr(0, own))};
  return fs::path(full.substr(own));
}

}  // namespace

Folder findFolderOf(const fs::path& path, Failure&) {
  return Folder{kNoFile, path.parent_path().empty() ? fs::path(".") : path.parent_path()};
}

// The system itself finds the file: the name is opened and asked for its final path, so a link
// or junction leads where Windows would take it, and a share keeps its root. A name that does not
// exist yet is found as its folder's final path and the name.
fs::path followLinks(const Folder&, const fs::path& name, Folder& into, Failure& failure) {
  const std::wstring full = fullPath(name);
  // Opening a device to find it would already use it: com1.enc would open a serial port.
  if (!namesFileOnly(full, failure) || isShortNameOfAnother(full, failure)) {
    return {};
  }
  if (takenAsItStands(full)) {
    // Under \\?\ and \??\ Windows takes `..` for a name like any other and `/` for a character, and
    // says what that names, usually nothing. A name it takes is saved exactly where it stands
    // unless it is a link: a folder's name read back from an opened file may lead elsewhere (a
    // final `d.` can come back as `d`).
    const DWORD attributes = GetFileAttributesW(full.c_str());
    const DWORD error = GetLastError();
    if (attributes == INVALID_FILE_ATTRIBUTES && error != ERROR_FILE_NOT_FOUND) {
      noteSystemFailure(failure, static_cast<int>(error));
      return {};
    }
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
      return placeIn(full, into);
    }
  }
  DWORD error = ERROR_SUCCESS;
  std::wstring found = finalPathOf(full, error);
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
    // A link whose target is missing: Windows creates no file through it, so nor does a save.
    const HANDLE link = openToFind(longPath(full), FILE_FLAG_OPEN_REPARSE_POINT);
    if (link != INVALID_HANDLE_VALUE) {
      CloseHandle(link);
      noteSystemFailure(failure, static_cast<int>(error));
      return {};
    }
    const std::size_t folderEnd = full.rfind(L'\\') + 1;
    if (folderEnd >= rootLength(full)) {
      found = finalPathOf(full.substr(0, folderEnd), error);
      if (!found.empty()) {
        found += (found.back() == L'\\' ? L"" : L"\\") + full.substr(folderEnd);
      }
    }
  }
  // With no final name to be had, the typed name's own full path is used, as long as no link
  // on the way could make it lead elsewhere.
  if (found.empty()) {
    if (passesReparsePoint(full)) {
      noteSystemFailure(failure,
                        static_cast<int>(error != ERROR_SUCCESS ? error : ERROR_PATH_NOT_FOUND));
      return {};
    }
    found = full;
  }
  return placeIn(found, into);
}
