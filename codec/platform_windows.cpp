#include <windows.h>

#include <cwchar>

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

}  // namespace

void openInput(InputFile& input, const fs::path& path) {
  closeInput(input);
  // Folders cannot be opened this way, and a device or pipe is refused by its type.
  const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return;
  }
  if (GetFileType(file) != FILE_TYPE_DISK) {
    CloseHandle(file);
    return;
  }
  input.handle = reinterpret_cast<NativeFile>(file);
}

std::size_t readInput(InputFile& input, char* into, std::size_t size) {
  DWORD got = 0;
  if (input.handle == kNoFile ||
      !ReadFile(handle(input.handle), into, static_cast<DWORD>(size), &got, nullptr)) {
    return 0;
  }
  return got;
}

std::int64_t inputSize(InputFile& input) {
  LARGE_INTEGER size;
  if (input.handle == kNoFile) {
    return 0;
  }
  return GetFileSizeEx(handle(input.handle), &size) ? size.QuadPart : -1;
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

fs::path typedPath(const std::string& typedName) {
  if (typedName.empty()) {
    return {};
  }
  DWORD mode;
  const UINT codePage =
      GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) ? GetConsoleCP() : GetACP();
  const int size = static_cast<int>(typedName.size());
  const int wideSize =
      MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, typedName.data(), size, nullptr, 0);
  if (wideSize <= 0) {
    return {};
  }
  std::wstring wide(static_cast<std::size_t>(wideSize), L'\0');
  MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, typedName.data(), size, wide.data(),
                      wideSize);
  return fs::path(wide);
}

NativeFile createTemporary(const fs::path& path) {
  // CREATE_NEW fails on any existing name, a link included. The file inherits its folder's
  // permissions, as every file created there does.
  const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_DELETE, nullptr,
                                  CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
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

bool mayUseInSharedFolder(const fs::path&) {
  return true;
}

bool setFinalPermissions(NativeFile, const fs::path&) {
  return true;
}

bool flushAndClose(NativeFile file) {
  const bool flushed = FlushFileBuffers(handle(file)) != 0;
  const bool closed = CloseHandle(handle(file)) != 0;
  return flushed && closed;
}

void closeNative(NativeFile file) {
  CloseHandle(handle(file));
}

bool moveFile(const fs::path& from, const fs::path& to) {
  return MoveFileExW(from.c_str(), to.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

// MOVEFILE_WRITE_THROUGH has already made the move durable.
void flushFolderOf(const fs::path&) {}

void removeFile(const fs::path& path) {
  DeleteFileW(path.c_str());
}

void holdInterruptions() {
  AcquireSRWLockExclusive(&guardLock);
}

void releaseInterruptions() {
  ReleaseSRWLockExclusive(&guardLock);
}

bool guardTemporary(const fs::path& temporary) {
  const std::wstring& name = temporary.native();
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
