#ifndef KESTROVANE_PLATFORM_NAMES_H
#define KESTROVANE_PLATFORM_NAMES_H

// Names as the user types them and as the system reads them: the path a typed name stands for,
// where its folders end, how much of it the system reads, which names may be saved, the folder a
// name lies in, found once and held, and the file an output name finally leads to through its
// links.

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

#include "platform/failure.h"
#include "platform/native_file.h"

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
// Whether a file may be saved as `path`, the reason kept in `failure` where not. On Windows, not
// as a device (NUL, com1.enc), nor as a stream of a file (notes:x.enc), nor over a read-only
// file, which Windows does not replace.
bool mayWriteOutput(const std::filesystem::path& path, Failure& failure);

// The folder that the name `path` lies in, found once as the system itself walks a name, and held
// (native_file.h): every later step in it goes to the folder found, whatever its name leads to
// by then. Each link on the way is followed as the system would follow it, and in a shared folder
// (sticky and writable by all, like /tmp) only one of the user's own or of the folder's owner,
// so that nobody else can choose where we read or write; `..` is the parent of the folder
// reached. Not found (an empty path), the reason kept in `failure`, where the system would not
// walk the name or a link is refused. On Windows the folder is only its name: the system itself
// finds the file (followLinks).
Folder findFolderOf(const std::filesystem::path& path, Failure& failure);

// The file the name `name` finally stands for, found from `folder`, where its folders were found
// to lead (findFolderOf): its links followed as the system itself would follow them, with the
// shared-folder rule, so the file a link names is read or replaced and the link stays a link. Holds
// the folder that file lies in, in `into` (a descriptor of its own), and returns the file's own
// name there. Empty, the reason kept in `failure`, where the system would not follow them, or would
// not let a file be created there. On Windows the system names the file itself, so a share keeps
// its root, and a `\\?\` name is taken exactly as it stands; a device, a stream, or a short (8.3)
// name that stands for another file's long name is refused before anything is opened, and a link
// whose target is missing is not followed.
std::filesystem::path followLinks(const Folder& folder, const std::filesystem::path& name,
                                  Folder& into, Failure& failure);

#endif  // KESTROVANE_PLATFORM_NAMES_H
