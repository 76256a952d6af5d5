// Security descriptors: a replaced file's owner, group and DACL given to its new copy.

#include <windows.h>
// After windows.h, which it needs.
#include <aclapi.h>

#include "platform/windows_internal.h"

namespace fs = std::filesystem;

bool keepSecurity(HANDLE file, const std::wstring& replaced) {
  PSID owner = nullptr;
  PSID group = nullptr;
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  // These calls return their error rather than leave it for GetLastError, which the caller reads.
  const DWORD found = GetNamedSecurityInfoW(
      replaced.c_str(), SE_FILE_OBJECT,
      OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
      &group, &dacl, nullptr, &descriptor);
  if (found != ERROR_SUCCESS) {
    SetLastError(found);
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
  const DWORD kept = SetSecurityInfo(file, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION | inheritance,
                                     nullptr, nullptr, dacl, nullptr);
  LocalFree(descriptor);
  SetLastError(kept);
  return kept == ERROR_SUCCESS;
}

bool keepsPermissions(HANDLE file) {
  DWORD flags = 0;
  return !GetVolumeInformationByHandleW(file, nullptr, 0, nullptr, nullptr, &flags, nullptr, 0) ||
         (flags & FILE_PERSISTENT_ACLS) != 0;
}
