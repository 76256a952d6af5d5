#ifndef KESTROVANE_PLATFORM_NAMES_H
#define KESTROVANE_PLATFORM_NAMES_H

// Where a name leads: the folder it lies in, found once and held, and the file it finally leads
// to through its links.

#include <filesystem>

#include "platform/failure.h"
#include "platform/native_file.h"

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
