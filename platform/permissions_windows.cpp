// What the new copy keeps of the file it replaces: its attributes and its security.

#include <windows.h>

#include "platform/permissions.h"
#include "platform/windows_internal.h"

namespace fs = std::filesystem;

namespace {

// What a file keeps of its attributes when it is replaced. Archive is set, as on any file whose
// content changed; read-only files are never replaced.
constexpr DWORD kKeptAttributes =
    FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

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

}  // namespace

bool setFinalPermissions(NativeFile file, const Folder& folder, const fs::path& replaced,
                         const InputAccess&, ExaminedTarget& examined, Failure& failure) {
  FILE_BASIC_INFO basic{};  // times of 0 are left as they are
  basic.FileAttributes = FILE_ATTRIBUTE_ARCHIVE;
  const std::wstring name = longPath(folder.path / replaced);
  // The name may have become another file's short name while the copy was written: that file is
  // then what the move would replace.
  if (isShortNameOfAnother(fullPath(folder.path / replaced), failure)) {
    return false;
  }
  WIN32_FILE_ATTRIBUTE_DATA existing;
  examined.exists = GetFileAttributesExW(name.c_str(), GetFileExInfoStandard, &existing) != 0;
  if (examined.exists) {
    if (existing.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      noteRefusal(failure, kFolder);
      return false;
    }
    if (!mayDelete(name) || (keepsPermissions(handle(file)) && !keepSecurity(handle(file), name))) {
      noteSystemFailure(failure);
      return false;
    }
    basic.FileAttributes |= existing.dwFileAttributes & kKeptAttributes;
  } else if (GetLastError() != ERROR_FILE_NOT_FOUND) {
    noteSystemFailure(failure);
    return false;
  }
  // Also what makes the temporary, created hidden, as visible as the file it replaces.
  if (!SetFileInformationByHandle(handle(file), FileBasicInfo, &basic, sizeof basic)) {
    noteSystemFailure(failure);
    return false;
  }
  return true;
}
