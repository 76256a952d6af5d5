#ifndef KESTROVANE_PLATFORM_POSIX_INTERNAL_H
#define KESTROVANE_PLATFORM_POSIX_INTERNAL_H

// What the POSIX sources of the platform layer share: descriptors, held folders, access ACLs and
// the shared-folder rule.

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <cerrno>
#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/input_file.h"
#include "platform/native_file.h"

inline int descriptor(NativeFile file) {
  return static_cast<int>(file);
}

// Calls `call` again for as long as a signal interrupts it before it has done anything (EINTR):
// a signal whose handler does not ask for calls to be restarted, or a stop and a continue.
template <typename Call>
auto retryOnInterrupt(Call call) -> decltype(call()) {
  decltype(call()) result;
  do {
    result = call();
  } while (result == -1 && errno == EINTR);
  return result;
}

// ---- Held folders (names_posix.cpp)

// The descriptor that names within `folder` are found from: its own, or the current folder's
// where it is known by its path alone.
inline int folderAt(const Folder& folder) {
  return folder.handle != kNoFile ? descriptor(folder.handle) : AT_FDCWD;
}
// The name `name` within `folder`, to be found from folderAt(folder).
inline std::filesystem::path nameIn(const Folder& folder, const std::filesystem::path& name) {
  return folder.handle != kNoFile ? name : folder.path / name;
}
// The status of the folder itself.
bool folderStatus(const Folder& folder, struct stat& status);
// The name under /proc that leads to the open file `fd`, for the calls that refuse a descriptor
// opened with O_PATH (ACLs, access checks, opening for reading) but take it as a name.
std::string procName(int fd);

// ---- Access ACLs (access_lists_posix.cpp)

// The permissions a file is to have: its mode, and on Linux its access ACL (empty for none).
// With an ACL, the mode's group bits are the ACL's mask.
struct Permissions {
  mode_t mode = 0;
  std::vector<char> acl;
};

// Access ACLs are kept as the extended attribute the kernel itself reads: a 4-byte version, then
// 8-byte entries of a tag, permissions and an id, little-endian.
#ifdef __linux__
constexpr char kAccessAcl[] = "system.posix_acl_access";
constexpr char kDefaultAcl[] = "system.posix_acl_default";
constexpr std::size_t kAclHeader = 4;
constexpr std::size_t kAclEntry = 8;
constexpr unsigned kAclUserObject = 0x01;
constexpr unsigned kAclGroupObject = 0x04;
constexpr unsigned kAclMask = 0x10;
constexpr unsigned kAclOther = 0x20;

// The ACL `name` of the file `path` leads to; empty where there is none.
bool readAcl(const std::filesystem::path& path, const char* name, std::vector<char>& acl);
// The ACL `name` of the file `fd` (opened for reading) leads to; empty where there is none.
bool readAcl(int fd, const char* name, std::vector<char>& acl);
unsigned aclField(const std::vector<char>& acl, std::size_t at);
// Where the entry with `tag` starts in `acl`, 0 if it has none.
std::size_t aclEntryAt(const std::vector<char>& acl, unsigned tag);
// Gives the open file exactly the access ACL `acl`, or none if it is empty or says no more than
// the mode (owner, group and others alone). A file system without ACLs has none to give.
bool setAcl(int fd, const std::vector<char>& acl);
#endif

// Limits the permissions to the bits of `most`, as the kernel limits a default ACL by the mode a
// file is created with: the owner's, the group class's and the others' rights, where the group
// class is the ACL's mask (or its group entry, without a mask). Named users and groups stay as
// they are: the mask already bounds what they get.
void limitTo(Permissions& permissions, mode_t most);

// Who may read the open file `fd`, whose status is `status`: its mode's rights, except that with
// an access ACL the group's are those of its own entry within the mask, since the mode's group
// bits are then the mask, which may be wider. A group entry that cannot be read gives none.
InputAccess accessOf(int fd, const struct stat& status);

// ---- The shared-folder rule (permissions_posix.cpp)

// Whether a file or link with status `file` may be followed or written in the folder with status
// `folder`, as the system itself would allow: in a shared folder (sticky and writable by all,
// like /tmp), only if it belongs to the user or to the folder's owner; elsewhere always.
bool sharedFolderAllows(const struct stat& file, const struct stat& folder);

#endif  // KESTROVANE_PLATFORM_POSIX_INTERNAL_H
