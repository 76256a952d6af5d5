#ifndef KESTROVANE_PLATFORM_PERMISSIONS_H
#define KESTROVANE_PLATFORM_PERMISSIONS_H

// Who may read and change the new copy once it replaces its target: on POSIX its mode, access
// ACL, owner and group, and the shared-folder rule; on Windows its attributes and security.

#include <filesystem>

#include "platform/input_file.h"
#include "platform/native_file.h"

// Makes the new copy `file` what replacing the file `target` in `folder` should give, examining
// that file itself in one look, never a link that may since stand in its place, and records what
// it found in `examined`.
// An existing target must be a regular file that the user may write and use where it is: its
// permissions (set-ID bits aside) and access ACL are copied, and its owner and group where the
// process may; a group that cannot be kept loses its own rights. A new file gets what creating it
// would give: the folder's default ACL where it has one, or else the umask. Either way the group's
// and others' rights are then limited to those the input gives: its group's where the copy has
// the input's group, else its others'. False, and the save must fail, if the target may not be
// replaced or the permissions cannot be given, the reason kept in `failure`: never wider than what
// the user had. On Windows the DACL is copied (owner and group where the process may) with the
// hidden, system and not-indexed attributes.
bool setFinalPermissions(NativeFile file, const Folder& folder, const std::filesystem::path& target,
                         const InputAccess& input, ExaminedTarget& examined, Failure& failure);

#endif  // KESTROVANE_PLATFORM_PERMISSIONS_H
