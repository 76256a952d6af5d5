#ifndef KESTROVANE_PLATFORM_INPUT_FILE_H
#define KESTROVANE_PLATFORM_INPUT_FILE_H

// The input of a file operation: opened once, read forward to be listed and at offsets to be
// coded, and asked whether it is still the version that was opened, so that a save codes exactly
// the file that was listed. Also who may read it, which no output of it may pass.

#include <cstddef>
#include <cstdint>
#include <filesystem>

#include "platform/failure.h"
#include "platform/native_file.h"

// Who may read an input, which no output of it may pass: its owner's, its owning group's and
// others' rights as mode bits (with an ACL, the group's are its own entry's, not the mask), and
// the group that holds the group's rights (-1 for none). As it starts, the access of no input (a
// message, a missing file), which limits nothing.
struct InputAccess {
  std::uint32_t permissions = 0777;
  std::int64_t group = -1;
};

// An open input and what its open saw of it, so that a save codes exactly the file that was listed.
struct InputFile {
  NativeFile handle = kNoFile;
  // The folder its name lies in, found and held when it was opened, where its output is saved;
  // not found where nothing is there (on Windows, never looked for: the output finds its own).
  // Where it was looked for and not found, why: its output, which would lie there too, is then
  // refused for that reason rather than looked for again.
  Folder folder;
  Failure folderMissing;
  // The first thing that went wrong: a regular file under the name that could not be opened or
  // read (no permission, held by another program, a read error), or a name whose folder may not
  // be walked (a link another user made in a shared folder, say), which lists as empty yet must
  // never be saved as empty; or a version other than the one opened.
  Failure failure;
  // The file's identity and version when it was opened: device and inode on POSIX, volume
  // serial and file index on Windows; its size, modification time and change time.
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::int64_t size = 0;
  std::int64_t modified = 0;
  std::int64_t changed = 0;
  // Who may read it, which limits its output (POSIX); on Windows, and without an open file, no
  // limit.
  InputAccess access;
};

// Finds the folder `path` lies in and holds it (findFolderOf), then opens for reading the file
// the name leads to there, if it is a regular file. Anything else (missing, a folder, a device, a
// pipe, a socket) is looked at without being opened, so the program never blocks, reads without
// end, or sets a device going; it counts as an empty file. On Windows a device's, a pipe's or a
// stream's name (COM9.txt, \\.\pipe\x, notes:x) is never opened at all. A regular file that
// cannot be opened, or a folder that may not be walked, is left closed, its failure kept.
void openInput(InputFile& input, const std::filesystem::path& path);
// Reads the next bytes, at most `size`; 0 at the end, on an error, or for a closed input. An
// error is kept as the input's failure.
std::size_t readInput(InputFile& input, char* into, std::size_t size);
// Whether the open input is still the version that was opened: same identity, size and times.
// True for a closed input. Where it is not, or cannot be looked at, the failure is kept.
bool inputUnchanged(InputFile& input);
// Whether `now`, what a second look at the open input saw, is the version it was when opened;
// where not, the input's failure says it changed.
inline bool sameVersion(InputFile& input, const InputFile& now) {
  if (now.device != input.device || now.inode != input.inode || now.size != input.size ||
      now.modified != input.modified || now.changed != input.changed) {
    noteRefusal(input.failure, kChangedAfterListing);
    return false;
  }
  return true;
}
// Reads `size` bytes from `offset`, whatever the input's position. Returns how many were read:
// all of them, unless the file ends first or an error, kept as the input's failure, stops the
// reading.
std::size_t readInputAt(InputFile& input, std::int64_t offset, char* into, std::size_t size);
// Closes the input and its folder.
void closeInput(InputFile& input);

#endif  // KESTROVANE_PLATFORM_INPUT_FILE_H
