#ifndef KESTROVANE_CODEC_PLATFORM_H
#define KESTROVANE_CODEC_PLATFORM_H

// The few things the standard library cannot say, behind one interface with one source per
// operating system (platform_posix.cpp, platform_windows.cpp). Each call does one thing, reports
// its failure, and leaves what to code and what to say to the operations.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

// ---- The screen (screen_posix.cpp, screen_windows.cpp)

// Whether standard output is a terminal: on Windows, a console.
bool standardOutputIsTerminal();
// The character set the terminal shows bytes in: on POSIX the codeset of the environment's
// LC_CTYPE locale ("UTF-8", "ISO-8859-1", "ANSI_X3.4-1968" for the C locale), read without
// changing the program's own locale; on Windows the console's output code page, by the same
// names where it has one ("UTF-8", "ISO-8859-5"), else "CP" and its number. Empty if unknown.
std::string terminalCharacterSet();

// An open file: a descriptor on POSIX, a HANDLE on Windows.
using NativeFile = std::intptr_t;
constexpr NativeFile kNoFile = -1;

// The path a typed name stands for. On POSIX a name is the bytes typed. On Windows they are text
// in the console's input code page when standard input is a console, in the ANSI code page when
// it is redirected. Empty if the name does not convert, or holds a NUL byte, which no system
// call can take: such a name names no file.
std::filesystem::path typedPath(const std::string& typedName);
// Where the file's own name begins in a typed name: the length of the folders before it, 0 if it
// has none. They end at `/` on POSIX; on Windows at `\`, `/` or `:` (a drive's, or a stream's),
// found in the converted text, where a double-byte character's second byte is never taken for one.
std::size_t folderPartLength(std::string_view typedName);
// How much of a typed name the system reads: all of it on POSIX. Windows drops the trailing
// spaces and dots of the file's own name (`ab ` names `ab`), except in a `\\?\` name, which it
// takes exactly as typed.
std::size_t nameLengthAsRead(std::string_view typedName);
// Whether a file may be saved as `path`. On Windows, not as a device (NUL, com1.enc), nor as a
// stream of a file (notes:x.enc), nor over a read-only file, which Windows does not replace.
bool mayWriteOutput(const std::filesystem::path& path);

// ---- Reading the input

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
  // A regular file exists under the name but could not be opened or read (no permission, held
  // by another program, a read error): it lists as empty, yet must never be saved as empty.
  bool unreadable = false;
  // The file's identity and version when it was opened: device and inode on POSIX, volume
  // serial and file index on Windows; its size, modification time and change time (Windows has
  // no change time: 0).
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::int64_t size = 0;
  std::int64_t modified = 0;
  std::int64_t changed = 0;
  // Who may read it, which limits its output (POSIX); on Windows, and without an open file, no
  // limit.
  InputAccess access;
};

// Opens a regular file for reading. Anything else (missing, a folder, a device, a pipe) is left
// closed, so the program never blocks or reads without end; it counts as an empty file. A
// regular file that cannot be opened is left closed and marked unreadable.
void openInput(InputFile& input, const std::filesystem::path& path);
// Reads the next bytes, at most `size`; 0 at the end, on an error, or for a closed input. An
// error marks the input unreadable.
std::size_t readInput(InputFile& input, char* into, std::size_t size);
// Whether the open input is still the version that was opened: same identity, size and times.
// True for a closed input.
bool inputUnchanged(const InputFile& input);
// Reads `size` bytes from `offset`, whatever the input's position. Returns how many were read:
// all of them, unless the file ends first or an error stops the reading.
std::size_t readInputAt(InputFile& input, std::int64_t offset, char* into, std::size_t size);
void closeInput(InputFile& input);

// ---- Writing the output

// Creates a new file at `path` for writing, readable and writable by its owner only, in one step
// that fails if anything (a link included) has that name already. On failure, `nameTaken` says
// whether that was the reason, the only one for which another name may succeed.
NativeFile createTemporary(const std::filesystem::path& path, bool& nameTaken);

// Writes all of `data`; false if any of it could not be written.
bool writeNative(NativeFile file, const char* data, std::size_t size);

// Asks the system to start writing `length` bytes from `offset` out to the disk, and waits for
// what was started before `offset`: the final flush then finds little left to do, and the data
// waiting in memory stays bounded. False if the system reports that written data may not reach
// the disk. Where the system or the file system has no such request, it does nothing.
bool startWriteOut(NativeFile file, std::int64_t offset, std::int64_t length);

// The file the output name `name` finally stands for, its links followed as the system itself
// would follow them, so the file a link names is replaced and the link stays a link. Empty
// where the system would not follow them, or would not let a file be created there. On Windows
// the system names the file itself, so a share or a `\\?\` name keeps its root; a device or a
// stream is refused before anything is opened, and a link whose target is missing is not
// followed.
std::filesystem::path followOutputLinks(const std::filesystem::path& name);

// What the examination of a target found under its name: nothing, or the file with this identity
// (device and inode).
struct TargetIdentity {
  bool exists = false;
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
};

// Makes the new copy `file` what replacing `target` should give, examining `target` itself in one
// look, never a link that may since stand in its place, and records what it found in `examined`.
// An existing target must be a regular file that the user may write and use where it is: its
// permissions (set-ID bits aside) and access ACL are copied, and its owner and group where the
// process may; a group that cannot be kept loses its own rights. A new file gets what creating it
// would give: the folder's default ACL where it has one, or else the umask. Either way the group's
// and others' rights are then limited to those the input gives: its group's where the copy has
// the input's group, else its others'. False, and the save must fail, if the target may not be
// replaced or the permissions cannot be given: never wider than what the user had. On Windows the
// DACL is copied (owner and group where the process may) with the hidden, system and not-indexed
// attributes.
bool setFinalPermissions(NativeFile file, const std::filesystem::path& target,
                         const InputAccess& input, TargetIdentity& examined);

// Flushes the file's data to the disk, then closes it. False if either fails.
bool flushAndClose(NativeFile file);
// Closes the file without flushing it.
void closeNative(NativeFile file);

// Moves `from` over `to` in one step: `to` is at every moment either the old file or the new.
// Fails if `to` no longer names what `examined` found there (on POSIX).
bool moveFile(const std::filesystem::path& from, const std::filesystem::path& to,
              const TargetIdentity& examined);
// Makes a move into the folder holding `path` survive a power cut, where the system needs that.
void flushFolderOf(const std::filesystem::path& path);
void removeFile(const std::filesystem::path& path);

// ---- Interruptions
//
// One temporary file at a time is guarded: while it is, an interrupting signal (Ctrl-C, a closed
// terminal or pipe, kill; a closed console window on Windows) removes it before the program ends
// as that signal would end it. The handlers are installed by the first guard. A signal that the
// program inherited as ignored (under nohup, say) stays ignored, and one that already has a
// handler keeps it.
//
// A guard and the file it names must change together, so that a signal never finds a temporary
// without its guard, nor a guard naming a file that is no longer ours. So the guard is set and
// cleared, and the temporary created, moved or removed, between holdInterruptions and
// releaseInterruptions, which hold the signals back meanwhile (not nested).

// Makes a write past the file-size limit (ulimit -f) fail with an error, as a full disk does,
// rather than end the program: the save then fails, its temporary is removed, and the menu
// comes back. Called once at the start.
void ignoreFileSizeLimit();

void holdInterruptions();
void releaseInterruptions();
// Guards `temporary`, instead of any file guarded before. False if it cannot be guarded (its
// path is too long to be kept for the signal handler).
bool guardTemporary(const std::filesystem::path& temporary);
void unguardTemporary();

#endif  // KESTROVANE_CODEC_PLATFORM_H
