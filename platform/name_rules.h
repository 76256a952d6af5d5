#ifndef KESTROVANE_PLATFORM_NAME_RULES_H
#define KESTROVANE_PLATFORM_NAME_RULES_H

// Names as the user types them and as the system reads them: the path a typed name stands for,
// where its folders end, how much of it the system reads, and which names may be saved.

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

#include "platform/failure.h"

// The path a typed name stands for. On POSIX a name is the bytes typed. On Windows they are text
// in the console's input code page when standard input is a console, in the ANSI code page when
// it is redirected. Empty if the name does not convert (the reason kept in `failure`), or holds a
// NUL byte, which no system call can take: such a name names no file.
std::filesystem::path typedPath(const std::string& typedName, Failure& failure);
// Where the file's own name begins in a typed name: the length of the folders before it, 0 if it
// has none. They end at `/` on POSIX; on Windows at `\`, `/` or `:` (a drive's, or a stream's),
// found in the converted text, where a double-byte character's second byte is never taken for one.
std::size_t folderPartLength(std::string_view typedName);
// How much of a typed name the system reads: all of it on POSIX. Windows drops the trailing
// spaces and dots of the file's own name (`ab ` names `ab`), except in a `\\?\` name, which it
// takes exactly as typed.
std::size_t nameLengthAsRead(std::string_view typedName);
// A typed name as the line that says why a save was refused writes it: in the code page of the
// reason beside it (failureReason), so that one code page reads the whole line. On Windows it is
// converted from the code page it was typed in; on POSIX it is the bytes typed.
std::string nameForErrors(std::string_view typedName);
// Whether a file may be saved as `path`, the reason kept in `failure` where not. On Windows, not
// as a device (NUL, com1.enc), nor as a stream of a file (notes:x.enc), nor over a read-only
// file, which Windows does not replace.
bool mayWriteOutput(const std::filesystem::path& path, Failure& failure);

#endif  // KESTROVANE_PLATFORM_NAME_RULES_H
