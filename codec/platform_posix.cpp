#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "codec/permissions_posix.h"
#include "codec/platform.h"

namespace fs = std::filesystem;

#ifdef __APPLE__
#define st_mtim st_mtimespec
#define st_ctim st_ctimespec
#endif

// Files past 2 GiB on 32-bit systems: the build asks for 64-bit offsets, and this keeps it so.
static_assert(sizeof(off_t) == 8, "build with _FILE_OFFSET_BITS=64");

namespace {

// Every signal that ends the program by default and that a user, a terminal, a pipe or a limit
// sends: Ctrl-C and Ctrl-\, kill, a closed terminal or pipe, timers, a CPU-time limit. A crash
// (SIGSEGV and the like) ends a program whose state can no longer be trusted to clean up.
constexpr int kInterruptions[] = {SIGINT,  SIGQUIT, SIGTERM, SIGHUP,    SIGPIPE, SIGALRM,
                                  SIGUSR1, SIGUSR2, SIGXCPU, SIGVTALRM, SIGPROF};

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
    // Only a signal at its default, which would end the program: one inherited as ignored (as
    // under nohup) stays ignored, and one that already has a handler (a fuzzer's timer) keeps it.
    struct sigaction previous;
    if (sigaction(signal, nullptr, &previous) != 0 || (previous.sa_flags & SA_SIGINFO) != 0 ||
        previous.sa_handler != SIG_DFL) {
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

// Flushes a file, or a folder's entries, to the disk: with fsync, not fdatasync, which need not
// write the mode, owner and ACL just given to a new copy, so a power cut could bring back the new
// bytes with the temporary's private mode. On macOS fsync leaves them in the drive's cache, which
// may write them out of order; F_FULLFSYNC asks the drive itself to store them, where the file
// system supports that.
int flushToDisk(int fd) {
#ifdef F_FULLFSYNC
  if (fcntl(fd, F_FULLFSYNC) == 0) {
    return 0;
  }
  if (errno != ENOTSUP && errno != EINVAL && errno != ENOTTY) {
    return -1;  // the drive could not store it: as failed as any other flush
  }
#endif
  return fsync(fd);
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
  input.access = accessOf(fd, status);
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

NativeFile createTemporary(const fs::path& path, bool& nameTaken) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  nameTaken = fd < 0 && errno == EEXIST;
  return fd;
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

bool flushAndClose(NativeFile file) {
  const bool flushed = flushToDisk(descriptor(file)) == 0;
  const bool closed = close(descriptor(file)) == 0;
  return flushed && closed;
}

void closeNative(NativeFile file) {
  close(descriptor(file));
}

bool moveFile(const fs::path& from, const fs::path& to, const TargetIdentity& examined) {
  // Someone who may write the target's folder could have put another file under its name, or
  // taken it away, since its permissions were examined: the new copy would then replace a file
  // nobody looked at. That is checked here; only the moment between this check and the rename
  // remains, which no rename call can close for a file that is replaced.
  struct stat now;
  const bool exists = lstat(to.c_str(), &now) == 0;
  if (exists ? !examined.exists || static_cast<std::uint64_t>(now.st_dev) != examined.device ||
                   static_cast<std::uint64_t>(now.st_ino) != examined.inode
             : errno != ENOENT || examined.exists) {
    return false;
  }
  return rename(from.c_str(), to.c_str()) == 0;
}

// A rename is an entry of the folder: flushing the folder makes it survive a power cut.
void flushFolderOf(const fs::path& path) {
  const int fd = open(folderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    flushToDisk(fd);
    close(fd);
  }
}

void removeFile(const fs::path& path) {
  unlink(path.c_str());
}

void ignoreFileSizeLimit() {
  signal(SIGXFSZ, SIG_IGN);
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
