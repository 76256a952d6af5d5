#ifndef KESTROVANE_CODEC_PERMISSIONS_POSIX_H
#define KESTROVANE_CODEC_PERMISSIONS_POSIX_H

#include <sys/stat.h>

#include "codec/platform.h"

// What the POSIX platform files share of the permission rules.

// Who may read the open file `fd`, whose status is `status`: its mode's rights, except that with
// an access ACL the group's are those of its own entry within the mask, since the mode's group
// bits are then the mask, which may be wider. A group entry that cannot be read gives none.
InputAccess accessOf(int fd, const struct stat& status);

// Whether the link or file `path` may be followed or written where it is, as the system itself
// would allow: in a shared folder (sticky and writable by all, like /tmp), only if it belongs to
// the user or to the folder's owner; elsewhere always.
bool mayUseInSharedFolder(const std::filesystem::path& path);

#endif  // KESTROVANE_CODEC_PERMISSIONS_POSIX_H
