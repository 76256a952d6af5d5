#ifndef KESTROVANE_PLATFORM_WINDOWS_INTERNAL_H
#define KESTROVANE_PLATFORM_WINDOWS_INTERNAL_H

// What the Windows sources of the platform layer share: handles, full and long paths, what a name
// names, the security a replaced file gives its new copy, and the text of an error.

#include <windows.h>

#include <filesystem>
#include <string>
#include <string_view>

#include "platform/failure.h"
#include "platform/native_file.h"

inline HANDLE handle(NativeFile file) {
  return reinterpret_cast<HANDLE>(file);
}

// ---- Paths (names_windows.cpp)

// Whether `text` starts with `prefix`, in any case, as Windows matches the names of its drives,
// shares, volumes and devices.
bool startsWithNoCase(std::wstring_view text, std::wstring_view prefix);
// Whether a name starts with \\?\ or with \??\ (the system's own name for the same place),
// which Windows takes exactly as they stand: no `..` resolved, no trailing dot dropped, and `/`
// a character of a name.
bool takenAsItStands(std::wstring_view name);
// Whether a full path starts with \\?\, \??\ or \\.\, which lead past the drives' names.
bool hasRawPrefix(std::wstring_view full);
// The full path of `path`, trailing dots and spaces of its names dropped as Windows drops them;
// empty if there is none. A \\?\ or \??\ name is its own full path, exactly as it stands.
std::wstring fullPath(const std::filesystem::path& path);
// The name to give the file calls: the full path, the very name that was checked for devices,
// streams and short names, so no other form of it can lead elsewhere. One that passes MAX_PATH
// is given in its \\?\ form, which has no such limit, so the temporary works wherever its
// output does. That form also takes device names for files, which is why mayWriteOutput refuses
// them.
std::wstring longPath(const std::filesystem::path& path);

// ---- What a name names (name_rules_windows.cpp)

// Why a full path names no file of a drive, share or volume, or null where it does: a device
// (NUL, com1.enc, in any folder), a stream of a file (notes:x.enc), a name in the device spaces
// behind \\.\, \\?\ and \??\ other than a drive's, a share's or a volume's (\\.\pipe\x,
// \??\COM10, \\.\PhysicalDrive0), or a pipe or mailslot of another machine (\\host\pipe\x).
const char* whyNotAFile(std::wstring_view full);
// Whether `full`, a full path just asked for (empty if there was none), names a file only; where
// not, the reason is kept.
bool namesFileOnly(const std::wstring& full, Failure& failure);
// Whether the own name of `full` is the short (8.3) name of an entry whose long name differs, as
// the folder itself lists it, following no link; where it is, the reason, naming the long name,
// is kept.
bool isShortNameOfAnother(const std::wstring& full, Failure& failure);

// ---- Security (access_lists_windows.cpp)

// Gives `file` the permissions (DACL) of `replaced`, inheriting from the folder as that file's
// did, and where the process may, its owner and group. The DACL is required: without it the new
// file would keep its folder's permissions, which may be wider.
bool keepSecurity(HANDLE file, const std::wstring& replaced);
// FAT and exFAT drives, and some shares, keep no permissions: there are none to copy.
bool keepsPermissions(HANDLE file);

// ---- Text (name_rules_windows.cpp)

// The text of `bytes` in `codePage`, converted with `flags` (MB_ERR_INVALID_CHARS: empty if any
// byte does not convert; 0: such a byte becomes a stand-in).
std::wstring toWide(std::string_view bytes, UINT codePage, DWORD flags);

// ---- Errors (failure_windows.cpp)

// The code page that standard error shows: a console's output code page, else the ANSI one, which
// whoever reads a file or a pipe expects.
UINT codePageForErrors();
// `text` in that code page.
std::string textForErrors(const std::wstring& text);

#endif  // KESTROVANE_PLATFORM_WINDOWS_INTERNAL_H
