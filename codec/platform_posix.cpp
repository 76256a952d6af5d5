#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "codec/platform.h"

namespace fs = std::filesystem;

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

}  // namespace

fs::path typedPath(const std::string& typedName) {
  return fs::path(typedName);
}

void openInput(InputFile& input, const fs::path& path) {
  closeInput(input);
  // Not blocking: opening a pipe for reading would otherwise wait for a writer.
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  struct stat status;
  if (fd >= 0 && fstat(fd, &status) == 0 && S_ISREG(status.st_mode)) {
    input.handle = fd;
  } else if (fd >= 0) {
    close(fd);
  }
}

std::size_t readInput(InputFile& input, char* into, std::size_t size) {
  if (input.handle == kNoFile) {
    return 0;
  }
  ssize_t got;
  do {
    got = read(descriptor(input.handle), into, size);
  } while (got < 0 && errno == EINTR);
  return got > 0 ? static_cast<std::size_t>(got) : 0;
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

std::int64_t inputSize(InputFile& input) {
  struct stat status;
  if (input.handle == kNoFile || fstat(descriptor(input.handle), &status) != 0) {
    return 0;
  }
  return status.st_size;
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

void startWriteOut(NativeFile file, std::int64_t offset, std::int64_t length) {
#ifdef SYNC_FILE_RANGE_WRITE
  sync_file_range(descriptor(file), 0, offset, SYNC_FILE_RANGE_WAIT_BEFORE);
  sync_file_range(descriptor(file), offset, length, SYNC_FILE_RANGE_WRITE);
#else
  (void)file, (void)offset, (void)length;
#endif
}

bool setFinalPermissions(NativeFile file, const fs::path& replaced) {
  struct stat existing;
  if (stat(replaced.c_str(), &existing) == 0 && S_ISREG(existing.st_mode)) {
    // Only root, or an owner who belongs to the group, may do this; otherwise the new file
    // simply stays ours, as any newly written file would be. Owner first: it clears set-id bits.
    const bool kept = fchown(descriptor(file), existing.st_uid, existing.st_gid) == 0 ||
                      fchown(descriptor(file), static_cast<uid_t>(-1), existing.st_gid) == 0;
    (void)kept;
    return fchmod(descriptor(file), existing.st_mode & 07777) == 0;
  }
  const mode_t mask = umask(0);
  umask(mask);
  return fchmod(descriptor(file), 0666 & ~mask) == 0;
}

bool flushAndClose(NativeFile file) {
#if defined(_POSIX_SYNCHRONIZED_IO) && _POSIX_SYNCHRONIZED_IO > 0
  const bool flushed = fdatasync(descriptor(file)) == 0;
#else
  const bool flushed = fsync(descriptor(file)) == 0;
#endif
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
  const fs::path folder = path.parent_path().empty() ? fs::path(".") : path.parent_path();
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    fsync(fd);
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

// ---- Names: on POSIX a name means only the file it names.

std::size_t folderPartLength(std::string_view typedName) {
  const std::size_t slash = typedName.rfind('/');
  return slash == std::string_view::npos ? 0 : slash + 1;
}

bool mayWriteOutput(const fs::path&) {
  return true;
}
