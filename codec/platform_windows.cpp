#include <windows.h>
// After windows.h, which it needs.
#include <aclapi.h>

#include <algorithm>
#include <cwchar>
#include <cwctype>
#include <string_view>

#include "codec/platform.h"

namespace fs = std::filesystem;

namespace {

// What the console control handler reads, from a thread of its own, under the lock that
// holdInterruptions takes: a fixed buffer and a flag.
wchar_t guardedPath[32768];
bool guarding = false;
SRWLOCK guardLock = SRWLOCK_INIT;

// Ctrl-C, Ctrl-Break, and the console window being closed or the user logging off: the
// temporary goes, then the default handler ends the program as it always did. The file was
// opened with delete sharing, so it can be deleted while still open.
BOOL WINAPI removeTemporaryAndEnd(DWORD) {
  AcquireSRWLockExclusive(&guardLock);
  if (guarding) {
    DeleteFileW(guardedPath);
  }
  ReleaseSRWLockExclusive(&guardLock);
  return FALSE;
}

HANDLE handle(NativeFile file) {
  return reinterpret_cast<HANDLE>(file);
}

// The full path of `path`, trailing dots and spaces of its names dropped as Windows drops them;
// empty if there is none.
std::wstring fullPath(const fs::path& path) {
  const DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  std::wstring full(size, L'\0');
  const DWORD length = size ? GetFullPathNameW(path.c_str(), size, full.data(), nullptr) : 0;
  full.resize(length < size ? length : 0);
  return full;
}

// Whether a full path starts with \\?\ or \\.\, which Windows takes as they stand.
bool hasRawPrefix(std::wstring_view full) {
  return full.rfind(L"\\\\?\\", 0) == 0 || full.rfind(L"\\\\.\\", 0) == 0;
}

// How much of a full path is its root, which no link can change: `C:\`, `\\server\share\`,
// `\\?\C:\`, `\\?\UNC\server\share\`, `\\?\Volume{...}\`. All of it if it has no more.
std::size_t rootLength(std::wstring_view full) {
  std::size_t at = 0;
  int parts = 1;  // a drive or a volume
  if (full.rfind(L"\\\\?\\UNC\\", 0) == 0) {
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

// The name to give the file calls. A full path that passes MAX_PATH is given in its \\?\ form,
// which has no such limit, so the temporary works wherever its output does. That form also
// takes device names for files, which is why mayWriteOutput refuses them.
std::wstring longPath(const fs::path& path) {
  const std::wstring full = fullPath(path);
  if (full.size() < MAX_PATH) {
    return path.native();
  }
  if (hasRawPrefix(full)) {
    return full;
  }
  if (full.rfind(L"\\\\", 0) == 0) {
    return L"\\\\?\\UNC" + full.substr(1);  // \\server\share becomes \\?\UNC\server\share
  }
  return L"\\\\?\\" + full;
}

}  // namespace

namespace {

// Whether a name that could not be opened with `error` still names a regular file: one held by
// another program without sharing, or that the user may not read. A folder, a device or nothing
// at all lists as empty.
bool namesUnopenedFile(const std::wstring& name, DWORD error) {
  const auto namesNothing = [](DWORD why) {
    return why == ERROR_FILE_NOT_FOUND || why == ERROR_PATH_NOT_FOUND || why == ERROR_INVALID_NAME;
  };
  if (namesNothing(error)) {
    return false;
  }
  const DWORD attributes = GetFileAttributesW(name.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    return !namesNothing(GetLastError());
  }
  return !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// What an open file is and which version of it: its volume, index, size and last write.
bool examineInput(HANDLE file, InputFile& into) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(file, &info)) {
    return false;
  }
  into.device = info.dwVolumeSerialNumber;
  into.inode = static_cast<std::uint64_t>(info.nFileIndexHigh) << 32 | info.nFileIndexLow;
  into.size = static_cast<std::int64_t>(static_cast<std::uint64_t>(info.nFileSizeHigh) << 32 |
                                        info.nFileSizeLow);
  into.modified = static_cast<std::int64_t>(
      static_cast<std::uint64_t>(info.ftLastWriteTime.dwHighDateTime) << 32 |
      info.ftLastWriteTime.dwLowDateTime);
  return true;
}

}  // namespace

void openInput(InputFile& input, const fs::path& path) {
  closeInput(input);
  const std::wstring name = longPath(path);
  // Folders cannot be opened this way, and a device or pipe is refused by its type.
  const HANDLE file = CreateFileW(name.c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    input.unreadable = !path.empty() && namesUnopenedFile(name, GetLastError());
    return;
  }
  if (GetFileType(file) != FILE_TYPE_DISK) {
    CloseHandle(file);
    return;
  }
  if (!examineInput(file, input)) {
    input.unreadable = true;
    CloseHandle(file);
    return;
  }
  input.handle = reinterpret_cast<NativeFile>(file);
}

std::size_t readInput(InputFile& input, char* into, std::size_t size) {
  DWORD got = 0;
  if (input.handle == kNoFile) {
    return 0;
  }
  if (!ReadFile(handle(input.handle), into, static_cast<DWORD>(size), &got, nullptr)) {
    input.unreadable = true;
    return 0;
  }
  return got;
}

bool inputUnchanged(const InputFile& input) {
  InputFile now;
  if (input.handle == kNoFile) {
    return true;
  }
  return examineInput(handle(input.handle), now) && now.device == input.device &&
         now.inode == input.inode && now.size == input.size && now.modified == input.modified;
}

std::size_t readInputAt(InputFile& input, std::int64_t offset, char* into, std::size_t size) {
  std::size_t done = 0;
  while (input.handle != kNoFile && done < size) {
    OVERLAPPED at{};
    const std::int64_t from = offset + static_cast<std::int64_t>(done);
    at.Offset = static_cast<DWORD>(from);
    at.OffsetHigh = static_cast<DWORD>(from >> 32);
    const std::size_t left = size - done;
    DWORD got = 0;
    if (!ReadFile(handle(input.handle), into + done,
                  left < (1u << 30) ? static_cast<DWORD>(left) : (1u << 30), &got, &at) ||
        got == 0) {
      break;
    }
    done += got;
  }
  return done;
}

void closeInput(InputFile& input) {
  if (input.handle != kNoFile) {
    CloseHandle(handle(input.handle));
  }
  input = InputFile();
}

namespace {

// Typed bytes are text in the console's input code page when standard input is a console, in the
// ANSI code page when it is redirected.
UINT typedCodePage() {
  DWORD mode;
  return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) ? GetConsoleCP() : GetACP();
}

// The text of `bytes` in `codePage`; empty if they do not convert.
std::wstring toWide(std::string_view bytes, UINT codePage) {
  const int size = static_cast<int>(bytes.size());
  const int wideSize =
      MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), size, nullptr, 0);
  if (wideSize <= 0) {
    return {};
  }
  std::wstring wide(static_cast<std::size_t>(wideSize), L'\0');
  MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), size, wide.data(), wideSize);
  return wide;
}

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

}  // namespace

fs::path typedPath(const std::string& typedName) {
  if (typedName.find('\0') != std::string::npos) {
    return {};
  }
  return fs::path(toWide(typedName, typedCodePage()));
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

namespace {

// Whether a full path names a file of a drive, share or volume: not a device (NUL, com1.enc, in
// any folder), nor a stream of a file (notes:x.enc), nor a name in the device spaces behind
// \\.\ and \\?\ other than a drive's, a share's or a volume's (\\.\pipe\x, \\.\PhysicalDrive0).
bool namesFileOnly(std::wstring_view full) {
  std::wstring_view rest = full;
  if (hasRawPrefix(rest)) {
    rest.remove_prefix(4);
    const bool raw = full[2] == L'?';
    if (raw && (rest.rfind(L"UNC\\", 0) == 0 || rest.rfind(L"Volume{", 0) == 0)) {
      rest.remove_prefix(rest.find(L'\\') + 1);
    } else if (rest.size() < 2 || rest[1] != L':') {
      return false;
    }
  }
  // Past a drive's colon, a colon names a stream of a file.
  if (rest.size() > 1 && rest[1] == L':') {
    rest.remove_prefix(2);
  }
  return rest.find(L':') == std::wstring_view::npos &&
         !isDeviceName(std::wstring(full.substr(full.find_last_of(L"\\/") + 1)));
}

}  // namespace

std::size_t nameLengthAsRead(std::string_view typedName) {
  if (typedName.rfind("\\\\?\\", 0) == 0) {
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

bool mayWriteOutput(const fs::path& path) {
  const std::wstring full = fullPath(path);
  if (full.empty() || !namesFileOnly(full)) {
    return false;
  }
  const DWORD attributes = GetFileAttributesW(longPath(full).c_str());
  return attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_READONLY);
}

NativeFile createTemporary(const fs::path& path, bool& nameTaken) {
  // CREATE_NEW fails on any existing name, a link included. The file inherits its folder's
  // permissions, as every file created there does, and stays hidden while it is written. It is
  // opened with the rights to change its DACL and to read its security, which its owner has, for
  // setFinalPermissions: setting a DACL may read the old one first to merge inherited entries.
  const HANDLE file =
      CreateFileW(longPath(path).c_str(), GENERIC_WRITE | WRITE_DAC | READ_CONTROL,
                  FILE_SHARE_DELETE, nullptr, CREATE_NEW, FILE_ATTRIBUTE_HIDDEN, nullptr);
  const DWORD error = GetLastError();
  nameTaken =
      file == INVALID_HANDLE_VALUE && (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS);
  return file == INVALID_HANDLE_VALUE ? kNoFile : reinterpret_cast<NativeFile>(file);
}

bool writeNative(NativeFile file, const char* data, std::size_t size) {
  while (size > 0) {
    const DWORD chunk = size < (1u << 30) ? static_cast<DWORD>(size) : (1u << 30);
    DWORD written = 0;
    if (!WriteFile(handle(file), data, chunk, &written, nullptr) || written == 0) {
      return false;
    }
    data += written;
    size -= written;
  }
  return true;
}

bool startWriteOut(NativeFile, std::int64_t, std::int64_t) {
  return true;
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

}  // namespace

// The system itself finds the file: the name is opened and asked for its final path, so a link
// or junction leads where Windows would take it, and a share or a \\?\ name keeps its root. A
// name that does not exist yet is found as its folder's final path and the name.
fs::path followOutputLinks(const fs::path& name) {
  const std::wstring full = fullPath(name);
  // Opening a device to find it would already use it: com1.enc would open a serial port.
  if (full.empty() || !namesFileOnly(full)) {
    return {};
  }
  DWORD error = ERROR_SUCCESS;
  std::wstring found = finalPathOf(full, error);
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
    // A link whose target is missing: Windows creates no file through it, so nor does a save.
    const HANDLE link = openToFind(longPath(full), FILE_FLAG_OPEN_REPARSE_POINT);
    if (link != INVALID_HANDLE_VALUE) {
      CloseHandle(link);
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
    return passesReparsePoint(full) ? fs::path() : fs::path(full);
  }
  return found;
}

namespace {

// What a file keeps of its attributes when it is replaced. Archive is set, as on any file whose
// content changed; read-only files are never replaced.
constexpr DWORD kKeptAttributes =
    FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// Gives `file` the permissions (DACL) of `replaced`, inheriting from the folder as that file's
// did, and where the process may, its owner and group. The DACL is required: without it the new
// file would keep its folder's permissions, which may be wider.
bool keepSecurity(HANDLE file, const std::wstring& replaced) {
  PSID owner = nullptr;
  PSID group = nullptr;
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetNamedSecurityInfoW(
          replaced.c_str(), SE_FILE_OBJECT,
          OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
          &owner, &group, &dacl, nullptr, &descriptor) != ERROR_SUCCESS) {
    return false;
  }
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  if (!GetSecurityDescriptorControl(descriptor, &control, &revision)) {
    LocalFree(descriptor);
    return false;
  }
  const SECURITY_INFORMATION inheritance = (control & SE_DACL_PROTECTED)
                                               ? PROTECTED_DACL_SECURITY_INFORMATION
                                               : UNPROTECTED_DACL_SECURITY_INFORMATION;
  // The owner needs a right of its own, asked for before the DACL may take it away. Without it
  // the new file simply stays ours, as any newly written file would be.
  const HANDLE owning =
      ReOpenFile(file, WRITE_OWNER, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, 0);
  if (owning != INVALID_HANDLE_VALUE) {
    SetSecurityInfo(owning, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION,
                    owner, group, nullptr, nullptr);
    CloseHandle(owning);
  }
  const bool kept = SetSecurityInfo(file, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION | inheritance,
                                    nullptr, nullptr, dacl, nullptr) == ERROR_SUCCESS;
  LocalFree(descriptor);
  return kept;
}

// Whether we may delete `path`, as replacing it needs. Asked before the temporary takes that
// file's permissions: a move that fails for want of them could not remove the temporary either.
bool mayDelete(const std::wstring& path) {
  const HANDLE probe =
      CreateFileW(path.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (probe == INVALID_HANDLE_VALUE) {
    return false;
  }
  CloseHandle(probe);
  return true;
}

// FAT and exFAT drives, and some shares, keep no permissions: there are none to copy.
bool keepsPermissions(HANDLE file) {
  DWORD flags = 0;
  return !GetVolumeInformationByHandleW(file, nullptr, 0, nullptr, nullptr, &flags, nullptr, 0) ||
         (flags & FILE_PERSISTENT_ACLS) != 0;
}

}  // namespace

bool setFinalPermissions(NativeFile file, const fs::path& replaced, const InputAccess&,
                         TargetIdentity&) {
  FILE_BASIC_INFO basic{};  // times of 0 are left as they are
  basic.FileAttributes = FILE_ATTRIBUTE_ARCHIVE;
  const std::wstring name = longPath(replaced);
  WIN32_FILE_ATTRIBUTE_DATA existing;
  if (GetFileAttributesExW(name.c_str(), GetFileExInfoStandard, &existing)) {
    if (!mayDelete(name) || (keepsPermissions(handle(file)) && !keepSecurity(handle(file), name))) {
      return false;
    }
    basic.FileAttributes |= existing.dwFileAttributes & kKeptAttributes;
  } else if (GetLastError() != ERROR_FILE_NOT_FOUND) {
    return false;
  }
  // Also what makes the temporary, created hidden, as visible as the file it replaces.
  return SetFileInformationByHandle(handle(file), FileBasicInfo, &basic, sizeof basic) != 0;
}

bool flushAndClose(NativeFile file) {
  const bool flushed = FlushFileBuffers(handle(file)) != 0;
  const bool closed = CloseHandle(handle(file)) != 0;
  return flushed && closed;
}

void closeNative(NativeFile file) {
  CloseHandle(handle(file));
}

bool moveFile(const fs::path& from, const fs::path& to, const TargetIdentity&) {
  return MoveFileExW(longPath(from).c_str(), longPath(to).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

// MOVEFILE_WRITE_THROUGH has already made the move durable.
void flushFolderOf(const fs::path&) {}

void removeFile(const fs::path& path) {
  DeleteFileW(longPath(path).c_str());
}

// Windows has no file-size signal.
void ignoreFileSizeLimit() {}

void holdInterruptions() {
  AcquireSRWLockExclusive(&guardLock);
}

void releaseInterruptions() {
  ReleaseSRWLockExclusive(&guardLock);
}

bool guardTemporary(const fs::path& temporary) {
  const std::wstring name = longPath(temporary);
  if (name.size() >= sizeof guardedPath / sizeof guardedPath[0]) {
    return false;
  }
  static const bool installed = SetConsoleCtrlHandler(removeTemporaryAndEnd, TRUE);
  (void)installed;
  std::wmemcpy(guardedPath, name.c_str(), name.size() + 1);
  guarding = true;
  return true;
}

void unguardTemporary() {
  guarding = false;
}
