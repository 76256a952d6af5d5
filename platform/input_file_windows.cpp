// The input: opened once, read forward and at offsets, and compared with what its open saw.

#include <windows.h>

#include "platform/input_file.h"
#include "platform/windows_internal.h"

namespace fs = std::filesystem;

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

// What an open file is and which version of it: its volume, index, size, last write and last
// change. A program may rewrite a file with as many bytes and put its last-write time back; the
// change time, which NTFS moves at every change, then still tells, unless it too is set back on
// purpose, which the blocks' digests catch.
bool examineInput(HANDLE file, InputFile& into) {
  BY_HANDLE_FILE_INFORMATION info;
  FILE_BASIC_INFO basic;
  if (!GetFileInformationByHandle(file, &info) ||
      !GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof basic)) {
    return false;
  }
  into.changed = basic.ChangeTime.QuadPart;
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
  // A device, a pipe or the console is known by its name alone and lists as empty, never
  // opened: an open with no rights at all would still raise a serial port's control lines, which
  // resets a board on it, or connect to a pipe's server. Its attributes may look like a file's.
  const std::wstring full = fullPath(path);
  if (full.empty() || whyNotAFile(full) != nullptr) {
    return;
  }
  // The name that was checked, never the typed one: a form the check did not see may lead to a
  // port or a pipe.
  const std::wstring name = longPath(full);
  // Folders cannot be opened this way, and what a link leads to is checked by its type.
  const HANDLE file = CreateFileW(name.c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    if (!path.empty() && namesUnopenedFile(name, error)) {
      noteSystemFailure(input.failure, static_cast<int>(error));
    }
    return;
  }
  if (GetFileType(file) != FILE_TYPE_DISK) {
    CloseHandle(file);
    return;
  }
  if (!examineInput(file, input)) {
    noteSystemFailure(input.failure);
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
    noteSystemFailure(input.failure);
    return 0;
  }
  return got;
}

bool inputUnchanged(InputFile& input) {
  InputFile now;
  if (input.handle == kNoFile) {
    return true;
  }
  if (!examineInput(handle(input.handle), now)) {
    noteSystemFailure(input.failure);
    return false;
  }
  return sameVersion(input, now);
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
                  left < (1u << 30) ? static_cast<DWORD>(left) : (1u << 30), &got, &at)) {
      // Reading at the end is no error: the file is only shorter than it was.
      if (GetLastError() != ERROR_HANDLE_EOF) {
        noteSystemFailure(input.failure);
      }
      break;
    }
    if (got == 0) {
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
