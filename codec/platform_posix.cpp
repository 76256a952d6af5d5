#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/xattr.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iterator>
#include <system_error>
#include <vector>

#include "codec/platform.h"

namespace fs = std::filesystem;

#ifdef __APPLE__
#define st_mtim st_mtimespec
#define st_ctim st_ctimespec
#endif

// Files past 2 GiB on 32-bit systems: the build asks for 64-bit offsets, and this keeps it so.
static_assert(sizeof(off_t) == 8, "build with _FILE_OFFSET_BITS=64");

namespace {

constexpr int kInterruptions[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};

// What the signal handler may touch: a fixed buffer and a flag, never an allocated string.
char guardedPath[PATH_MAX];
volatile sig_atomic_t guarding = 0;

sigset_t beforeHold;

extern "C" void removeTemporaryAndEnd(int signal) {
  if (guarding) {
    unlink(guardedPath);
  }
  // The handler was reset to the default on entry, so this ends the program by the same signal
  // and a shell sees what happened.
  raise(signal);
}

void installHandlers() {
  static bool installed = false;
  if (installed) {
    return;
  }
  installed = true;
  for (const int signal : kInterruptions) {
    struct sigaction previous;
    if (sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) {
      continue;
    }
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = removeTemporaryAndEnd;
    action.sa_flags = SA_RESETHAND | SA_RESTART;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
  }
}

int descriptor(NativeFile file) {
  return static_cast<int>(file);
}

// A file time in nanoseconds, as precise as the file system keeps it.
std::int64_t fileTime(const struct timespec& time) {
  return static_cast<std::int64_t>(time.tv_sec) * 1000000000 + time.tv_nsec;
}

fs::path folderOf(const fs::path& path) {
  return path.parent_path().empty() ? fs::path(".") : path.parent_path();
}

// Flushes a file's data, or with `entries` a folder's entries, to the disk. On macOS fsync
// leaves them in the drive's cache, which may write them out of order; F_FULLFSYNC asks the
// drive itself to store them, where the file system supports that.
int flushToDisk(int fd, bool entries) {
#ifdef F_FULLFSYNC
  if (fcntl(fd, F_FULLFSYNC) == 0) {
    return 0;
  }
  if (errno != ENOTSUP && errno != EINVAL && errno != ENOTTY) {
    return -1;  // the drive could not store it: as failed as any other flush
  }
#endif
#if defined(_POSIX_SYNCHRONIZED_IO) && _POSIX_SYNCHRONIZED_IO > 0
  if (!entries) {
    return fdatasync(fd);
  }
#endif
  (void)entries;
  return fsync(fd);
}

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

bool noAclHere(int error) {
  return error == ENODATA || error == EOPNOTSUPP || error == ENOTSUP;
}

// An ACL of `path`, of the file a link names with `followLink`, else of the link itself; empty
// where there is none.
bool readAcl(const fs::path& path, const char* name, bool followLink, std::vector<char>& acl) {
  acl.resize(65536);  // the largest value an extended attribute may have
  const auto get = followLink ? getxattr : lgetxattr;
  const ssize_t size = get(path.c_str(), name, acl.data(), acl.size());
  acl.resize(size > 0 ? static_cast<std::size_t>(size) : 0);
  return size >= 0 || noAclHere(errno);
}

unsigned aclField(const std::vector<char>& acl, std::size_t at) {
  return static_cast<unsigned char>(acl[at]) | static_cast<unsigned char>(acl[at + 1]) << 8;
}

// What creating a file with `mode` makes of a folder's default ACL, as the kernel does it: the
// owner's, the mask's (or the group's, without a mask) and the others' entries are limited by the
// mode, and the file's mode comes from them; named users and groups stay as they are. Returns
// that mode; `acl` becomes the file's ACL.
mode_t limitByCreateMode(std::vector<char>& acl, mode_t mode) {
  // An entry's rights sit in the mode's bits at `shift`: 6 the owner's, 3 the group's, 0 others'.
  const auto limit = [&acl, &mode](std::size_t at, unsigned shift) {
    const unsigned rights = aclField(acl, at + 2) & (mode >> shift) & 7;
    acl[at + 2] = static_cast<char>(rights);
    mode = (mode & ~(7u << shift)) | rights << shift;
  };
  std::size_t groupAt = 0;
  std::size_t maskAt = 0;
  for (std::size_t at = kAclHeader; at + kAclEntry <= acl.size(); at += kAclEntry) {
    switch (aclField(acl, at)) {
      case kAclUserObject:
        limit(at, 6);
        break;
      case kAclOther:
        limit(at, 0);
        break;
      case kAclGroupObject:
        groupAt = at;
        break;
      case kAclMask:
        maskAt = at;
        break;
      default:
        break;
    }
  }
  if (maskAt != 0 || groupAt != 0) {
    limit(maskAt != 0 ? maskAt : groupAt, 3);
  }
  return mode;
}

// Gives the open file exactly the access ACL `acl`, or none if it is empty or says no more than
// the mode (owner, group and others alone). A file system without ACLs has none to give.
bool setAcl(int fd, const std::vector<char>& acl) {
  if (acl.size() > kAclHeader + 3 * kAclEntry) {
    return fsetxattr(fd, kAccessAcl, acl.data(), acl.size(), 0) == 0;
  }
  return fremovexattr(fd, kAccessAcl) == 0 || noAclHere(errno);
}
#endif

// The mode, and on Linux the access ACL, that a new file created in `folder` gets.
bool newFilePermissions(const fs::path& folder, mode_t& mode, std::vector<char>& acl) {
  mode = 0666;
#ifdef __linux__
  if (!readAcl(folder, kDefaultAcl, true, acl)) {
    return false;
  }
  if (!acl.empty()) {
    mode = limitByCreateMode(acl, mode);  // with a default ACL, the umask does not apply
    return true;
  }
#else
  (void)folder, (void)acl;
#endif
  // The umask can only be read by setting it: it is put back at once.
  const mode_t umaskValue = umask(0);
  umask(umaskValue);
  mode &= ~umaskValue;
  return true;
}

}  // namespace

fs::path typedPath(const std::string& typedName) {
  if (typedName.find('\0') != std::string::npos) {
    return {};
  }
  return fs::path(typedName);
}

std::size_t folderPartLength(std::string_view typedName) {
  const std::size_t slash = typedName.rfind('/');
  return slash == std::string_view::npos ? 0 : slash + 1;
}

std::size_t nameLengthAsRead(std::string_view typedName) {
  return typedName.size();
}

// A name means only the file it names: no devices by name, no streams of a file.
bool mayWriteOutput(const fs::path&) {
  return true;
}

void openInput(InputFile& input, const fs::path& path) {
  closeInput(input);
  // Not blocking: opening a pipe for reading would otherwise wait for a writer.
  int fd;
  do {
    fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  struct stat status;
  if (fd < 0) {
    // A name that exists but cannot be opened is not an empty file; one that names nothing is.
    input.unreadable = errno != ENOENT && errno != ENOTDIR &&
                       (stat(path.c_str(), &status) != 0 ? errno != ENOENT && errno != ENOTDIR
                                                         : S_ISREG(status.st_mode));
    return;
  }
  if (fstat(fd, &status) != 0) {
    input.unreadable = true;
  }
  if (input.unreadable || !S_ISREG(status.st_mode)) {
    close(fd);
    return;
  }
  input.handle = fd;
  input.device = static_cast<std::uint64_t>(status.st_dev);
  input.inode = static_cast<std::uint64_t>(status.st_ino);
  input.size = status.st_size;
  input.modified = fileTime(status.st_mtim);
  input.changed = fileTime(status.st_ctim);
  input.permissions = status.st_mode & 07777;
}

std::size_t readInput(InputFile& input, char* into, std::size_t size) {
  if (input.handle == kNoFile) {
    return 0;
  }
  ssize_t got;
  do {
    got = read(descriptor(input.handle), into, size);
  } while (got < 0 && errno == EINTR);
  if (got < 0) {
    input.unreadable = true;
  }
  return got > 0 ? static_cast<std::size_t>(got) : 0;
}

bool inputUnchanged(const InputFile& input) {
  struct stat status;
  if (input.handle == kNoFile) {
    return true;
  }
  return fstat(descriptor(input.handle), &status) == 0 &&
         static_cast<std::uint64_t>(status.st_dev) == input.device &&
         static_cast<std::uint64_t>(status.st_ino) == input.inode && status.st_size == input.size &&
         fileTime(status.st_mtim) == input.modified && fileTime(status.st_ctim) == input.changed;
}

std::size_t readInputAt(InputFile& input, std::int64_t offset, char* into, std::size_t size) {
  std::size_t done = 0;
  while (input.handle != kNoFile && done < size) {
    const ssize_t got = pread(descriptor(input.handle), into + done, size - done,
                              static_cast<off_t>(offset + static_cast<std::int64_t>(done)));
    if (got < 0 && errno == EINTR) {
      continue;
    }
    if (got <= 0) {
      break;
    }
    done += static_cast<std::size_t>(got);
  }
  return done;
}

void closeInput(InputFile& input) {
  if (input.handle != kNoFile) {
    close(descriptor(input.handle));
  }
  input = InputFile();
}

NativeFile createTemporary(const fs::path& path) {
  return open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
}

bool writeNative(NativeFile file, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t written = write(descriptor(file), data, size);
    if (written < 0 && errno == EINTR) {
      continue;
    }
    if (written <= 0) {
      return false;
    }
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

bool startWriteOut(NativeFile file, std::int64_t offset, std::int64_t length) {
#ifdef SYNC_FILE_RANGE_WRITE
  // Linux reports a failed write-back once to each open file: an error that a wait got and
  // dropped would never reach the final flush, which would then succeed on data not on the disk.
  const int fd = descriptor(file);
  if ((offset > 0 && sync_file_range(fd, 0, offset, SYNC_FILE_RANGE_WAIT_BEFORE) != 0) ||
      sync_file_range(fd, offset, length, SYNC_FILE_RANGE_WRITE) != 0) {
    return errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP || errno == ESPIPE;
  }
#else
  (void)file, (void)offset, (void)length;
#endif
  return true;
}

namespace {

// As many links as the system itself follows in one name.
constexpr int kMostLinks = 40;

}  // namespace

// The file a name finally stands for, found as the system itself walks a name: each link on the
// way, in the folders as at the end, is followed, so the file it names is replaced and the link
// stays a link, and a dangling link creates the file it names. Empty where the system would not
// follow either: a loop or more than 40 links, or a link that someone else planted in a shared
// folder to make us write where they chose.
fs::path followOutputLinks(const fs::path& name) {
  std::vector<fs::path> left(name.begin(), name.end());
  std::reverse(left.begin(), left.end());  // the next part of the name is last
  fs::path walked;                         // what the name leads to so far, without links
  int hops = 0;
  std::error_code ec;
  while (!left.empty()) {
    const fs::path part = left.back();
    left.pop_back();
    if (part.empty() || part == ".") {
      continue;
    }
    // `walked` holds no link, so its parent is where ".." really leads.
    if (part == ".." && walked.has_relative_path() && walked.filename() != "..") {
      walked = walked.parent_path();
      continue;
    }
    const fs::path next = walked / part;
    if (!fs::is_symlink(fs::symlink_status(next, ec))) {
      walked = next;
      continue;
    }
    if (++hops > kMostLinks || !mayUseInSharedFolder(next)) {
      return {};
    }
    const fs::path to = fs::read_symlink(next, ec);
    if (ec) {
      return {};
    }
    if (to.is_absolute()) {
      walked.clear();
    }
    left.insert(left.end(), std::make_reverse_iterator(to.end()),
                std::make_reverse_iterator(to.begin()));
  }
  return walked;
}

bool mayUseInSharedFolder(const fs::path& path) {
  struct stat status;
  struct stat folderStatus;
  if (lstat(path.c_str(), &status) != 0 || stat(folderOf(path).c_str(), &folderStatus) != 0) {
    return false;
  }
  const bool shared = (folderStatus.st_mode & S_ISVTX) && (folderStatus.st_mode & S_IWOTH);
  return !shared || status.st_uid == geteuid() || status.st_uid == folderStatus.st_uid;
}

bool setFinalPermissions(NativeFile file, const fs::path& target) {
  const int fd = descriptor(file);
  struct stat existing;
  mode_t mode;
  std::vector<char> acl;
  if (lstat(target.c_str(), &existing) == 0) {
    // Only a file the user may write is replaced, as the shell's > would; never a device, a
    // FIFO or a folder that happens to have the name, nor a file that someone else put in a
    // shared folder to receive what we write.
    if (!S_ISREG(existing.st_mode) || faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0 ||
        !mayUseInSharedFolder(target)) {
      return false;
    }
    mode = existing.st_mode & 0777;
    // Only root, or an owner who belongs to the group, may keep them; otherwise the new file
    // is ours, as any file we write is, and a group it could not keep gets no rights.
    if (fchown(fd, existing.st_uid, existing.st_gid) != 0) {
      if (errno != EPERM) {
        return false;
      }
      if (fchown(fd, static_cast<uid_t>(-1), existing.st_gid) != 0) {
        if (errno != EPERM) {
          return false;
        }
        mode &= ~070u;
      }
    }
#ifdef __linux__
    if (!readAcl(target, kAccessAcl, false, acl)) {
      return false;
    }
#endif
  } else if (errno != ENOENT || !newFilePermissions(folderOf(target), mode, acl)) {
    return false;
  }
#ifdef __linux__
  if (!setAcl(fd, acl)) {
    return false;
  }
#endif
  return fchmod(fd, mode) == 0;
}

bool flushAndClose(NativeFile file) {
  const bool flushed = flushToDisk(descriptor(file), false) == 0;
  const bool closed = close(descriptor(file)) == 0;
  return flushed && closed;
}

void closeNative(NativeFile file) {
  close(descriptor(file));
}

bool moveFile(const fs::path& from, const fs::path& to) {
  return rename(from.c_str(), to.c_str()) == 0;
}

// A rename is an entry of the folder: flushing the folder makes it survive a power cut.
void flushFolderOf(const fs::path& path) {
  const int fd = open(folderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    flushToDisk(fd, true);
    close(fd);
  }
}

void removeFile(const fs::path& path) {
  unlink(path.c_str());
}

void holdInterruptions() {
  sigset_t held;
  sigemptyset(&held);
  for (const int signal : kInterruptions) {
    sigaddset(&held, signal);
  }
  sigprocmask(SIG_BLOCK, &held, &beforeHold);
}

void releaseInterruptions() {
  sigprocmask(SIG_SETMASK, &beforeHold, nullptr);
}

bool guardTemporary(const fs::path& temporary) {
  const std::string& name = temporary.native();
  if (name.size() >= sizeof guardedPath) {
    return false;
  }
  installHandlers();
  std::memcpy(guardedPath, name.c_str(), name.size() + 1);
  guarding = 1;
  return true;
}

void unguardTemporary() {
  guarding = 0;
}
