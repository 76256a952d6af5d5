#ifndef KESTROVANE_PLATFORM_NATIVE_FILE_H
#define KESTROVANE_PLATFORM_NATIVE_FILE_H

// A file opened by the system's own calls, for what the standard library cannot say: creating a
// private temporary in one step, writing it out to the disk as it grows, flushing it, and moving
// it over the file it replaces in one step.

#include <cstddef>
#include <cstdint>
#include <filesystem>

#include "platform/failure.h"

// An open file: a descriptor on POSIX, a HANDLE on Windows.
using NativeFile = std::intptr_t;
constexpr NativeFile kNoFile = -1;

// A folder found once (names.h) and held open, so that what is later done in it is done in the
// folder that was found, whatever its name leads to by then: the names given with a Folder are
// names within it. Where the system would not hold it (on Windows, and where a folder may not be
// read on a system that cannot open one without reading it), `handle` is kNoFile and the steps go
// by `path`, the name it was found by. A folder not found has an empty `path`.
struct Folder {
  NativeFile handle = kNoFile;
  std::filesystem::path path;
};
void closeFolder(Folder& folder);

// Each call that can fail reports why into the `failure` it is given, unless a failure is kept
// there already.

// Creates a new file `name` in `folder` for writing, readable and writable by its owner only, in
// one step that fails if anything (a link included) has that name already. On failure,
// `nameTaken` says whether that was the reason, the only one for which another name may succeed.
NativeFile createTemporary(const Folder& folder, const std::filesystem::path& name, bool& nameTaken,
                           Failure& failure);

// Writes all of `data`; false if any of it could not be written.
bool writeNative(NativeFile file, const char* data, std::size_t size, Failure& failure);

// Asks the system to start writing `length` bytes from `offset` out to the disk, and waits for
// what was started before `offset`: the final flush then finds little left to do, and the data
// waiting in memory stays bounded. False if the system reports that written data may not reach
// the disk. Where the system or the file system has no such request, it does nothing.
bool startWriteOut(NativeFile file, std::int64_t offset, std::int64_t length, Failure& failure);

// Flushes the file's data to the disk, then closes it. False if either fails.
bool flushAndClose(NativeFile file, Failure& failure);
// Closes the file without flushing it.
void closeNative(NativeFile file);

// What the examination of the file a new copy replaces found under its name, just before the
// copy got its final permissions: nothing, or the file with this identity (device and inode).
struct ExaminedTarget {
  bool exists = false;
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
};

// Moves `from` over `to`, both in `folder`, in one step: `to` is at every moment either the old
// file or the new. Fails if `to` no longer names what `examined` found there: on Windows, only
// where nothing was found and something has that name now.
bool moveFile(const Folder& folder, const std::filesystem::path& from,
              const std::filesystem::path& to, const ExaminedTarget& examined, Failure& failure);
// Makes a move into `folder` survive a power cut, where the system needs that.
void flushFolder(const Folder& folder);
void removeFile(const Folder& folder, const std::filesystem::path& name);

#endif  // KESTROVANE_PLATFORM_NATIVE_FILE_H
