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
// The default ACL of `folder`: through /proc, since the descriptor that holds it opens nothing,
// or where /proc is missing, through the folder opened for reading.
bool readDefaultAcl(const Folder& folder, std::vector<char>& acl) {
  if (folder.handle == kNoFile) {
    return readAcl(folder.path, kDefaultAcl, acl);
  }
  const int held = descriptor(folder.handle);
  if (readAcl(procName(held), kDefaultAcl, acl)) {
    return true;
  }
  if (errno != ENOENT) {
    return false;
  }
  const int fd =
      retryOnInterrupt([&] { return openat(held, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
  const bool read = fd >= 0 && readAcl(fd, kDefaultAcl, acl);
  if (fd >= 0) {
    close(fd);
  }
  return read;
}
#endif

// What a file created in `folder` gets: the folder's default ACL where it has one, else the umask.
bool newFilePermissions(const Folder& folder, Permissions& permissions) {
  permissions.mode = 0666;
#ifdef __linux__
  if (!readDefaultAcl(folder, permissions.acl)) {
    return false;
  }
  if (!permissions.acl.empty()) {
    limitTo(permissions, 0666);  // with a default ACL, the umask does not apply
    return true;
  }
#else
  (void)folder;
#endif
  // The umask can only be read by setting it: it is put back at once.
  const mode_t umaskValue = umask(0);
  umask(umaskValue);
  permissions.mode &= ~umaskValue;
  return true;
}

#if defined(__linux__) && defined(O_PATH)
// Without /proc, the ACL is asked of the regular file opened for reading, which has no side
// effects for such a file; it must still be the file examined. One we may not read fails.
bool readAclOpened(const Folder& folder, const fs::path& name, const struct stat& examined,
                   std::vector<char>& acl) {
  const int fd = retryOnInterrupt([&] {
    return openat(folderAt(folder), nameIn(folder, name).c_str(),
                  O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  });
  struct stat status;
  const bool read = fd >= 0 && fstat(fd, &status) == 0 && status.st_dev == examined.st_dev &&
                    status.st_ino == examined.st_ino && readAcl(fd, kAccessAcl, acl);
  if (fd >= 0) {
    close(fd);
  }
  return read;
}
#endif

#if defined(__linux__) && defined(O_PATH)
// Whether the user may write the file found as `fd`, as the kernel itself judges, ACLs included:
// 0, or the error. Through the descriptor needs faccessat2 (Linux 5.8), and a container's
// system-call filter that knows it: older ones answer EPERM for calls they do not know. Elsewhere
// the older call, made directly, since the C library's own tries faccessat2 again and falls back
// only where the kernel lacks it: it takes no flags and so judges by the real user, which for
// this program is the effective one. It is asked of the name under /proc, or without /proc of the
// name in the folder, which the identity check before the rename holds to this same file.
int mayWrite(int fd, const std::string& byDescriptor, const Folder& folder, const fs::path& path) {
  if (faccessat(fd, "", W_OK, AT_EACCESS | AT_EMPTY_PATH) == 0) {
    return 0;
  }
  if (errno != EINVAL && errno != ENOSYS && errno != EPERM) {
    return errno;
  }
  if (syscall(SYS_faccessat, AT_FDCWD, byDescriptor.c_str(), W_OK) == 0 ||
      (errno == ENOENT && syscall(SYS_faccessat, folderAt(folder), path.c_str(), W_OK) == 0)) {
    return 0;
  }
  return errno;
}
#endif

// Why what was found under a target's name in a folder with status `folder` may not be replaced,
// or null where it may: only a regular file is, as the shell's > would; never a device, a FIFO or
// a folder that happens to have the name, nor a file that someone else put in a shared folder to
// receive what we write.
const char* whyNotReplaceable(const struct stat& found, const struct stat& folder) {
  if (S_ISDIR(found.st_mode)) {
    return kFolder;
  }
  if (S_ISFIFO(found.st_mode)) {
    return kFifo;
  }
  if (S_ISSOCK(found.st_mode)) {
    return kSocket;
  }
  if (S_ISLNK(found.st_mode)) {
    return kReplacedMeanwhile;  // the walk found no link there: one took the name since
  }
  if (!S_ISREG(found.st_mode)) {
    return kDevice;
  }
  return sharedFolderAllows(found, folder) ? nullptr : kFileOfAnotherUser;
}

// Looks at the file `name` in `folder` once, through one descriptor that follows no link and
// opens nothing (opening a FIFO or a device could block or act), and takes everything from that
// same file: between looks by name, someone who may write the folder could swap in another whose
// ACL we would copy. Records what it found in `examined`, and of a file found, its status in
// `replaced` and its own permissions (set-ID bits aside) in `own`. False, the reason kept in
// `failure`, if it cannot be examined, or if what has the name may not be replaced: a file the
// user may not write is not, as the shell's > would not write it either.
bool examineTarget(const Folder& folder, const fs::path& name, ExaminedTarget& examined,
                   struct stat& replaced, Permissions& own, Failure& failure) {
  int writeCheck = 0;  // 0, or the error of the check that the user may write the file
  const fs::path path = nameIn(folder, name);
  struct stat here;
  if (!folderStatus(folder, here)) {
    noteSystemFailure(failure);
    return false;
  }
#if defined(__linux__) && defined(O_PATH)
  const int fd = retryOnInterrupt(
      [&] { return openat(folderAt(folder), path.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC); });
  examined.exists = fd >= 0;
  if (fd < 0) {
    if (errno != ENOENT) {
      noteSystemFailure(failure);
    }
    return errno == ENOENT;
  }
  // The ACL calls refuse a descriptor that opened nothing, but take it as a name under /proc.
  const std::string byDescriptor = procName(fd);
  bool looked = fstat(fd, &replaced) == 0;
  if (looked && S_ISREG(replaced.st_mode)) {
    writeCheck = mayWrite(fd, byDescriptor, folder, path);
    looked = readAcl(byDescriptor, kAccessAcl, own.acl) ||
             (errno == ENOENT && readAclOpened(folder, name, replaced, own.acl));
  }
  if (!looked) {
    noteSystemFailure(failure);
  }
  close(fd);
  if (!looked) {
    return false;
  }
#else
  examined.exists = fstatat(folderAt(folder), path.c_str(), &replaced, AT_SYMLINK_NOFOLLOW) == 0;
  if (!examined.exists) {
    if (errno != ENOENT) {
      noteSystemFailure(failure);
    }
    return errno == ENOENT;
  }
  writeCheck = faccessat(folderAt(folder), path.c_str(), W_OK, AT_EACCESS) == 0 ? 0 : errno;
#endif
  examined.device = static_cast<std::uint64_t>(replaced.st_dev);
  examined.inode = static_cast<std::uint64_t>(replaced.st_ino);
  own.mode = replaced.st_mode & 0777;
  if (const char* why = whyNotReplaceable(replaced, here)) {
    noteRefusal(failure, why);
    return false;
  }
  if (writeCheck != 0) {
    // A file nobody may write says so in plainer words than the system's.
    if ((replaced.st_mode & 0222) == 0) {
      noteRefusal(failure, kReadOnly);
    } else {
      noteSystemFailure(failure, writeCheck);
    }
    return false;
  }
  return true;
}

// Gives the new copy the owner and group of the file it replaces, where the system lets it: root
// may give both, an owner who belongs to the group may keep the group. Otherwise the copy is
// ours, as any file we write is, and the group it could not keep must lose its own rights
// rather than pass them to ours: with an ACL its entry is cleared, not the mask, which would
// also take the rights of the users and groups the ACL names.
bool giveOwner(int fd, const struct stat& replaced, Permissions& permissions) {
  if (fchown(fd, replaced.st_uid, replaced.st_gid) == 0) {
    return true;
  }
  if (errno != EPERM) {
    return false;
  }
  if (fchown(fd, static_cast<uid_t>(-1), replaced.st_gid) == 0) {
    return true;
  }
  if (errno != EPERM) {
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
  if (!examined.exists && !newFilePermissions(folder, wanted)) {
    noteSystemFailure(failure);
    return false;
  }
  // Apply: the owner first, since a group that cannot be kept narrows the rest, and the group
  // the copy ends up with decides what the input allows it.
  struct stat copy;
  if ((examined.exists && !giveOwner(fd, replaced, wanted)) || fstat(fd, &copy) != 0) {
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
  if (!setAcl(fd, wanted.acl)) {
    noteSystemFailure(failure);
    return false;
  }
#endif
  if (fchmod(fd, wanted.mode) != 0) {
    noteSystemFailure(failure);
    return false;
  }
  return true;
}
