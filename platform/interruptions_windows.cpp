// The guard that removes a temporary when the console is interrupted or closed.

#include <windows.h>

#include <cwchar>

#include "platform/interruptions.h"
#include "platform/windows_internal.h"

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

}  // namespace

// Windows has no file-size signal.
void ignoreFileSizeLimit() {}

void holdInterruptions() {
  AcquireSRWLockExclusive(&guardLock);
}

void releaseInterruptions() {
  ReleaseSRWLockExclusive(&guardLock);
}

bool guardTemporary(const Folder& folder, const fs::path& temporary) {
  const std::wstring name = longPath(folder.path / temporary);
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
