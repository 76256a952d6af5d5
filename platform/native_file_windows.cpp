// The new copy's own file: created, written, flushed and moved into place.

#include <windows.h>

#include "platform/native_file.h"
#include "platform/windows_internal.h"

namespace fs = std::filesystem;

// A folder is only its name here: the steps in it go by name, as they always did.
void closeFolder(Folder& folder) {
  folder = Folder();
}

NativeFile createTemporary(const Folder& folder, const fs::path& name, bool& nameTaken,
                           Failure& failure) {
  // CREATE_NEW fails on any existing name, a link included. The file inherits its folder's
  // permissions, as every file created there does, and stays hidden while it is written. It is
  // opened with the rights to change its DACL and to read its security, which its owner has, for
  // setFinalPermissions: setting a DACL may read the old one first to merge inherited entries.
  const HANDLE file =
      CreateFileW(longPath(folder.path / name).c_str(), GENERIC_WRITE | WRITE_DAC | READ_CONTROL,
                  FILE_SHARE_DELETE, nullptr, CREATE_NEW, FILE_ATTRIBUTE_HIDDEN, nullptr);
  const DWORD error = GetLastError();
  nameTaken =
      file == INVALID_HANDLE_VALUE && (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS);
  if (file == INVALID_HANDLE_VALUE) {
    noteSystemFailure(failure, static_cast<int>(error));
    return kNoFile;
  }
  return reinterpret_cast<NativeFile>(file);
}

bool writeNative(NativeFile file, const char* data, std::size_t size, Failure& failure) {
  while (size > 0) {
    const DWORD chunk = size < (1u << 30) ? static_cast<DWORD>(size) : (1u << 30);
    DWORD written = 0;
    if (!WriteFile(handle(file), data, chunk, &written, nullptr)) {
      noteSystemFailure(failure);
      return false;
    }
    if (written == 0) {
      noteSystemFailure(failure, ERROR_WRITE_FAULT);  // no error of its own, yet nothing written
      return false;
    }
    data += written;
    size -= written;
  }
  return true;
}

bool startWriteOut(NativeFile, std::int64_t, std::int64_t, Failure&) {
  return true;
}

bool flushAndClose(NativeFile file, Failure& failure) {
  const bool flushed = FlushFileBuffers(handle(file)) != 0;
  if (!flushed) {
    noteSystemFailure(failure);  // the flush's failure is the one to tell
  }
  const bool closed = CloseHandle(handle(file)) != 0;
  if (!closed) {
    noteSystemFailure(failure);
  }
  return flushed && closed;
}

void closeNative(NativeFile file) {
  CloseHandle(handle(file));
}

bool moveFile(const Folder& folder, const fs::path& from, const fs::path& to,
              const ExaminedTarget& examined, Failure& failure) {
  // Where the target's name was free when it was examined, a file put there since is one nobody
  // looked at, whose permissions the new copy never took: it is not replaced.
  const DWORD replace = examined.exists ? MOVEFILE_REPLACE_EXISTING : 0;
  if (!MoveFileExW(longPath(folder.path / from).c_str(), longPath(folder.path / to).c_str(),
                   replace | MOVEFILE_WRITE_THROUGH)) {
    const DWORD error = GetLastError();
    if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS) {
      noteRefusal(failure, kReplacedMeanwhile);
    } else {
      noteSystemFailure(failure, static_cast<int>(error));
    }
    return false;
  }
  return true;
}

// MOVEFILE_WRITE_THROUGH has already made the move durable.
void flushFolder(const Folder&) {}

void removeFile(const Folder& folder, const fs::path& name) {
  DeleteFileW(longPath(folder.path / name).c_str());
}
