#ifndef KESTROVANE_PLATFORM_POSIX_INTERNAL_H
#define KESTROVANE_PLATFORM_POSIX_INTERNAL_H

// What the POSIX sources of the platform layer share: what this build may use beyond POSIX, the
// one look at a name, the one way to open again what was looked at, whole reads and writes, held
// folders, access ACLs and the shared-folder rule.

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "platform/failure.h"
#include "platform/input_file.h"
#include "platform/native_file.h"

// Linux can open a name only to find it (O_PATH), reach an open file by a name under /proc,
// check access through a descriptor (faccessat2) and rename without replacing (renameat2). A
// portable build uses none of them, as other systems build the layer, so that those paths are
// built and tested here too.
#if defined(__linux__) && !defined(KESTROVANE_PORTABLE_POSIX)
#define KESTROVANE_LINUX_CALLS 1
inline constexpr int kFindOnly = O_PATH;
#else
inline constexpr int kFindOnly = 0;  // none: a name is looked at by fstatat
#endif
inline constexpr bool kHoldsWhatItFinds = kFindOnly != 0;

#ifdef __APPLE__
#define st_mtim st_mtimespec
#define st_ctim st_ctimespec
#endif

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

// Moves all of `size` bytes with `call(done)`, a read or a write of what is left after `done`
// bytes, as gnulib's safe-read does: going on after a short count and retrying what a signal
// interrupted. Returns how many were moved: fewer where a call meets the end or moves nothing,
// or where it fails, its error noted.
template <typename Call>
std::size_t moveAll(std::size_t size, Failure& failure, Call call) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t moved = retryOnInterrupt([&] { return call(done); });
    if (moved < 0) {
      noteSystemFailure(failure);
    }
    if (moved <= 0) {
      break;
    }
    done += static_cast<std::size_t>(moved);
  }
  return done;
}

// ---- Looking at names, and held folders (names_posix.cpp)

// The descriptor that names within `folder` are found from: its own, or the current folder's
// where it is known by its path alone.
inline int folderAt(const Folder& folder) {
  return folder.handle != kNoFile ? descriptor(folder.handle) : AT_FDCWD;
}
// The name `name` within `folder`, to be found from folderAt(folder).
inline std::filesystem::path nameIn(const Folder& folder, const std::filesystem::path& name) {
  return folder.handle != kNoFile ? name : folder.path / name;
}
// The status of the folder itself; false where it cannot be had, the reason kept.
bool folderStatus(const Folder& folder, struct stat& status, Failure& failure);

// What a name was found to be, where it lies, a link as the link: its status (no mode where the
// name names nothing), and where the build can open a name only to find it, a descriptor of that
// very thing, which reads, writes and sets nothing going (else -1). Closed with the record.
struct Found {
  int fd = -1;
  struct stat status {};
  Found& operator=(Found&& other) noexcept {
    if (this != &other) {
      if (fd >= 0) {
        close(fd);
      }
      fd = std::exchange(other.fd, -1);
      status = other.status;
    }
    return *this;
  }
  ~Found() {
    if (fd >= 0) {
      close(fd);
    }
  }
};

// Looks at `name` in `folder` as it is, following no link and opening nothing that could block or
// act (a FIFO, a device). False where it cannot, the reason kept in `failure`; a name that names
// nothing is found as nothing.
bool lookAt(const Folder& folder, const std::filesystem::path& name, Found& found,
            Failure& failure);

// Opens again, with `flags`, the file found as `found`, named `name` in `folder`: through its
// name under /proc, or where the build has no descriptor of it or /proc is missing, by its name,
// never through a link, and only if that still names the file found, by its identity and its
// change time (with nothing holding it, a new file may take the number of one just removed);
// `swapped` is the reason where it does not. -1 where it cannot, the reason kept.
int reopen(const Folder& folder, const std::filesystem::path& name, const Found& found, int flags,
           const char* swapped, Failure& failure);
// Opens the folder itself for reading, for what a held folder cannot do: read its default ACL,
// flush its entries. -1 where it cannot.
int openFolder(const Folder& folder);
// The name under /proc that leads to the open file `fd`, for the calls that take names only.
std::string procName(int fd);

// The file the name `name` in `folder` finally stands for, its links followed as followLinks
// does (names.h), its folder held in `into`; and what was found there, in `found`.
std::filesystem::path findFile(const Folder& folder, const std::filesystem::path& name,
                               Folder& into, Found& found, Failure& failure);

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
