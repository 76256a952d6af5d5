// Who may read the new copy: its mode, access ACL, owner and group, and the shared-folder rule.

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "platform/permissions.h"
#include "platform/posix_internal.h"

namespace fs = std::filesystem;

namespace {

#ifdef __linux__
// The ACL `name` of the file or folder held as `fd`: through its name under /proc, which needs
// no right to read it, or where the build holds no such descriptor (-1) or /proc is missing,
// through the descriptor `open()` gives, of it opened for reading.
template <typename Open>
bool readHeldAcl(int fd, const char* name, std::vector<char>& acl, Failure& failure, Open open) {
  bool read = fd >= 0 && readAcl(procName(fd), name, acl);
  if (!read && (fd < 0 || errno == ENOENT)) {
    const int opened = open();
    read = opened >= 0 && readAcl(opened, name, acl);
    if (opened >= 0) {
      close(opened);
    }
  }
  if (!read) {
    noteSystemFailure(failure);
  }
  return read;
}

// The default ACL of `folder`, through its path where it is not held.
bool readDefaultAcl(const Folder& folder, std::vector<char>& acl, Failure& failure) {
  if (folder.handle == kNoFile) {
    const bool read = readAcl(folder.path, kDefaultAcl, acl);
    if (!read) {
      noteSystemFailure(failure);
    }
    return read;
  }
  const int held = kHoldsWhatItFinds ? descriptor(folder.handle) : -1;
  return readHeldAcl(held, kDefaultAcl, acl, failure, [&] { return openFolder(folder); });
}

// The access ACL of the file found as `found`, named `name` in `folder`. Opened for reading, a
// regular file has no side effects, but one the user may write and not read then fails.
bool readOwnAcl(const Folder& folder, const fs::path& name, const Found& found,
                std::vector<char>& acl, Failure& failure) {
  return readHeldAcl(found.fd, kAccessAcl, acl, failure, [&] {
    return reopen(folder, name, found, O_RDONLY | O_NONBLOCK | O_NOCTTY, kReplacedMeanwhile,
                  failure);
  });
}
#endif

// What a file created in `folder` gets: the folder's default ACL where it has one, else the umask.
bool newFilePermissions(const Folder& folder, Permissions& permissions, Failure& failure) {
  permissions.mode = 0666;
#ifdef __linux__
  if (!readDefaultAcl(folder, permissions.acl, failure)) {
    return false;
  }
  if (!permissions.acl.empty()) {
    limitTo(permissions, 0666);  // with a default ACL, the umask does not apply
    return true;
  }
#else
  (void)folder, (void)failure;
#endif
  // The umask can only be read by setting it: it is put back at once.
  const mode_t umaskValue = umask(0);
  umask(umaskValue);
  permissions.mode &= ~umaskValue;
  return true;
}

// Whether the user may write the file found as `found`, named `name` in `folder`, as the kernel
// itself judges, ACLs included; where not, the reason kept. Through the descriptor needs faccessat2
// (Linux 5.8), and a container's system-call filter that knows it: older ones answer EPERM for
// calls they do not know. Elsewhere the older call, made directly, since the C library's own tries
// faccessat2 again and falls back only where the kernel lacks it: it takes no flags and so judges
// by the real user, which for this program is the effective one. It is asked of the name under
// /proc, or without /proc of the name in the folder: a link someone who may write the folder puts
// there just for the check could mislead it, but the file moved over must still be the one found.
bool mayWrite(const Folder& folder, const fs::path& name, const Found& found, Failure& failure) {
  const fs::path path = nameIn(folder, name);
#ifdef KESTROVANE_LINUX_CALLS
  bool writable = faccessat(found.fd, "", W_OK, AT_EACCESS | AT_EMPTY_PATH) == 0;
  if (!writable && (errno == EINVAL || errno == ENOSYS || errno == EPERM)) {
    writable = syscall(SYS_faccessat, AT_FDCWD, procName(found.fd).c_str(), W_OK) == 0;
    if (!writable && errno == ENOENT) {
      writable = syscall(SYS_faccessat, folderAt(folder), path.c_str(), W_OK) == 0;
    }
  }
#else
  const bool writable = faccessat(folderAt(folder), path.c_str(), W_OK, AT_EACCESS) == 0;
#endif
  // A file nobody may write says so in plainer words than the system's.
  if (!writable && (found.status.st_mode & 0222) == 0) {
    noteRefusal(failure, kReadOnly);
  } else if (!writable) {
    noteSystemFailure(failure);
  }
  return writable;
}

// Why what was found under a target's name in a folder with status `folder` may not be replaced,
// or null where it may: only a regular file is, as the shell's > would; never a device, a FIFO or
// a folder that happens to have the name, nor a file that someone else put in a shared folder to
// receive what we write.
const char* whyNotReplaceable(const struct stat& found, const struct stat& folder) {
  switch (found.st_mode & S_IFMT) {
    case S_IFREG:
      return sharedFolderAllows(found, folder) ? nullptr : kFileOfAnotherUser;
    case S_IFDIR:
      return kFolder;
    case S_IFIFO:
      return kFifo;
    case S_IFSOCK:
      return kSocket;
    case S_IFLNK:
      return kReplacedMeanwhile;  // the walk found no link there: one took the name since
    default:
      return kDevice;
  }
}

// Looks at the file `name` in `folder` once, and takes everything from that same file: between
// looks by name, someone who may write the folder could swap in another whose ACL we would copy.
// Records what it found in `examined`, and of a file found, its status in `replaced` and its own
// permissions (set-ID bits aside) in `own`. False, the reason kept in `failure`, if it cannot be
// examined, or if what has the name may not be replaced: a file the user may not write is not,
// as the shell's > would not write it either.
bool examineTarget(const Folder& folder, const fs::path& name, ExaminedTarget& examined,
                   struct stat& replaced, Permissions& own, Failure& failure) {
  struct stat here;
  Found found;
  if (!folderStatus(folder, here, failure) || !lookAt(folder, name, found, failure)) {
    return false;
  }
  examined.exists = found.status.st_mode != 0;
  if (!examined.exists) {
    return true;
  }
  replaced = found.status;
  examined.device = static_cast<std::uint64_t>(replaced.st_dev);
  examined.inode = static_cast<std::uint64_t>(replaced.st_ino);
  own.mode = replaced.st_mode & 0777;
  if (const char* why = whyNotReplaceable(replaced, here)) {
    noteRefusal(failure, why);
    return false;
  }
#ifdef __linux__
  return mayWrite(folder, name, found, failure) &&
         readOwnAcl(folder, name, found, own.acl, failure);
#else
  return mayWrite(folder, name, found, failure);
#endif
}

// Gives the new copy the owner and group of the file it replaces, where the system lets it: root
// may give both, an owner who belongs to the group may keep the group. Otherwise the copy is
// ours, as any file we write is, and the group it could not keep must lose its own rights
// rather than pass them to ours: with an ACL its entry is cleared, not the mask, which would
// also take the rights of the users and groups the ACL names.
bool giveOwner(int fd, const struct stat& replaced, Permissions& permissions, Failure& failure) {
  if (fchown(fd, replaced.st_uid, replaced.st_gid) == 0 ||
      (errno == EPERM && fchown(fd, static_cast<uid_t>(-1), replaced.st_gid) == 0)) {
    return true;
  }
  if (errno != EPERM) {
    noteSystemFailure(failure);
    return false;
  }
#ifdef __linux__
  if (const std::size_t group = aclEntryAt(permissions.acl, kAclGroupObject);
      group != 0 && aclEntryAt(permissions.acl, kAclMask) != 0) {
    permissions.acl[group + 2] = 0;
    return true;
  }
#endif
  permissions.mode &= ~070u;
  return true;
}

}  // namespace

bool sharedFolderAllows(const struct stat& file, const struct stat& folder) {
  const bool shared = (folder.st_mode & S_ISVTX) && (folder.st_mode & S_IWOTH);
  return !shared || file.st_uid == geteuid() || file.st_uid == folder.st_uid;
}

bool setFinalPermissions(NativeFile file, const Folder& folder, const fs::path& target,
                         const InputAccess& input, ExaminedTarget& examined, Failure& failure) {
  const int fd = descriptor(file);
  // Decide: a replaced file's own permissions, else what creating the file would give.
  struct stat replaced;
  Permissions wanted;
  examined = ExaminedTarget();
  if (!examineTarget(folder, target, examined, replaced, wanted, failure)) {
    return false;
  }
  if (!examined.exists && !newFilePermissions(folder, wanted, failure)) {
    return false;
  }
  // Apply: the owner first, since a group that cannot be kept narrows the rest, and the group
  // the copy ends up with decides what the input allows it.
  struct stat copy;
  if (examined.exists && !giveOwner(fd, replaced, wanted, failure)) {
    return false;
  }
  if (fstat(fd, &copy) != 0) {
    noteSystemFailure(failure);
    return false;
  }
  // The coded form undoes in one step, so it is as secret as its input: the group and others get
  // no more than they had there, and a group other than the input's only what others had. The
  // owner's rights stay, or a read-only input would make an output that could not be replaced
  // next time.
  const std::uint32_t others = input.permissions & 07;
  const std::uint32_t group = input.group < 0 || copy.st_gid == static_cast<gid_t>(input.group)
                                  ? input.permissions & 070
                                  : others << 3;
  limitTo(wanted, 0700 | group | others);

#ifdef __linux__
  const bool given = setAcl(fd, wanted.acl) && fchmod(fd, wanted.mode) == 0;
#else
  const bool given = fchmod(fd, wanted.mode) == 0;
#endif
  if (!given) {
    noteSystemFailure(failure);
  }
  return given;
}
