#ifndef KESTROVANE_CODEC_PLATFORM_H
#define KESTROVANE_CODEC_PLATFORM_H

// The few things the standard library cannot say, behind one interface with one source per
// operating system (platform_posix.cpp, platform_windows.cpp): turning a typed name into a path,
// opening an input without blocking and reading it through a memory mapping, creating a file
// exclusively and privately, flushing it to the disk, giving it its final permissions, and
// removing it if the program is interrupted while it exists.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// An open file: a descriptor on POSIX, a HANDLE on Windows.
using NativeFile = std::intptr_t;
constexpr NativeFile kNoFile = -1;

// The path a typed name stands for. On POSIX a name is the bytes typed. On Windows they are text
// in the console's input code page when standard input is a console, in the ANSI code page when
// it is redirected. Empty if the name does not convert.
std::filesystem::path typedPath(const std::string& typedName);

// The file being coded: read forward for the listing, then coded from its end backwards.
struct InputFile {
  NativeFile handle = kNoFile;
  const char* view = nullptr;   // a mapped window of the file, where the system maps files
  std::int64_t viewOffset = 0;  // where the window starts in the file
  std::size_t viewLength = 0;   // its length
  std::vector<char> buffer;     // where the file is read rather than mapped
};

// Opens a regular file for reading. Anything else (missing, a folder, a device, a pipe) is left
// closed, so the program never blocks or reads without end; it counts as an empty file.
void openInput(InputFile& input, const std::filesystem::path& path);
// Reads the next bytes, at most `size`; 0 at the end, on an error, or for a closed input.
std::size_t readInput(InputFile& input, char* into, std::size_t size);
// The input's size now, in bytes; 0 for a closed input.
std::int64_t inputSize(InputFile& input);
// Writes the coded form (see codeBlock) of the `size` bytes from `offset` to `out`. False, with
// no crash, if the file no longer holds them: it shrank since its size was taken.
bool codeInputRange(InputFile& input, std::int64_t offset, std::size_t size, char* out);
void closeInput(InputFile& input);

// Creates a new file at `path` for writing, readable and writable by its owner only, in one step
// that fails if anything (a link included) has that name already. Until it is handed to
// replaceFile or discardTemporary, an interrupting signal (Ctrl-C, a closed terminal or pipe,
// kill; a closed console window on Windows) removes it before the program ends by that signal.
NativeFile createTemporary(const std::filesystem::path& path);

// Writes all of `data`; false if any of it could not be written.
bool writeNative(NativeFile file, const char* data, std::size_t size);

// Asks the system to start writing `length` bytes from `offset` out to the disk, and waits for
// what was started before `offset`: the final flush then finds little left to do, and the data
// waiting in memory stays bounded. Only a hint: a no-op where the system has no such call.
void startWriteOut(NativeFile file, std::int64_t offset, std::int64_t length);

// Gives the file the permissions, and where the process may the owner and group, of the regular
// file `replaced`; or, if there is none, the permissions a newly created file would get.
void setFinalPermissions(NativeFile file, const std::filesystem::path& replaced);

// Flushes the file's data to the disk, then closes it. False if either fails.
bool flushAndClose(NativeFile file);
// Closes the file without flushing it.
void closeNative(NativeFile file);

// Moves the temporary over `target` in one step and makes the move itself durable. On success
// the temporary is no longer guarded; on failure it is left to discardTemporary.
bool replaceFile(const std::filesystem::path& temporary, const std::filesystem::path& target);

// Removes the temporary and stops guarding it.
void discardTemporary(const std::filesystem::path& temporary);

#endif  // KESTROVANE_CODEC_PLATFORM_H
