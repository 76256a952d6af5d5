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

extern "C" void removeTemporaryAndEnd(int signal) {
  if (guarding) {
    unlink(guardedPath);
  }
  // The handler was reset to the default on entry, so this ends the program by the same signal
  // and a shell sees what happened.
  raise(signal);
}

// Installed once, at the first save. A signal that the program inherited as ignored stays
// ignored; the others end the program as they always did, removing a temporary first.
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

// The interrupting signals are held back while the guard and the file it names change together,
// so a signal never finds a file without its guard, nor a guard naming a file that is not ours.
sigset_t holdSignals() {
  sigset_t held;
  sigset_t previous;
  sigemptyset(&held);
  for (const int signal : kInterruptions) {
    sigaddset(&held, signal);
  }
  sigprocmask(SIG_BLOCK, &held, &previous);
  return previous;
}

void releaseSignals(const sigset_t& previous) {
  sigprocmask(SIG_SETMASK, &previous, nullptr);
}

int descriptor(NativeFile file) {
  return static_cast<int>(file);
}

}  // namespace

fs::path typedPath(const std::string& typedName) {
  return fs::path(typedName);
}

NativeFile createTemporary(const fs::path& path) {
  const std::string& name = path.native();
  if (name.size() >= sizeof guardedPath) {
    return kNoFile;
  }
  installHandlers();
  const sigset_t previous = holdSignals();
  const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd >= 0) {
    std::memcpy(guardedPath, name.c_str(), name.size() + 1);
    guarding = 1;
  }
  releaseSignals(previous);
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

void startWriteOut(NativeFile file, std::int64_t offset, std::int64_t length) {
#ifdef SYNC_FILE_RANGE_WRITE
  sync_file_range(descriptor(file), 0, offset, SYNC_FILE_RANGE_WAIT_BEFORE);
  sync_file_range(descriptor(file), offset, length, SYNC_FILE_RANGE_WRITE);
#else
  (void)file, (void)offset, (void)length;
#endif
}

void setFinalPermissions(NativeFile file, const fs::path& replaced) {
  struct stat existing;
  if (stat(replaced.c_str(), &existing) == 0 && S_ISREG(existing.st_mode)) {
    // Only root, or an owner who belongs to the group, may do this; otherwise the new file
    // simply stays ours, as any newly written file would be. Owner first: it clears set-id bits.
    const bool kept = fchown(descriptor(file), existing.st_uid, existing.st_gid) == 0 ||
                      fchown(descriptor(file), static_cast<uid_t>(-1), existing.st_gid) == 0;
    (void)kept;
    fchmod(descriptor(file), existing.st_mode & 07777);
    return;
  }
  const mode_t mask = umask(0);
  umask(mask);
  fchmod(descriptor(file), 0666 & ~mask);
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

bool replaceFile(const fs::path& temporary, const fs::path& target) {
  const sigset_t previous = holdSignals();
  const bool renamed = rename(temporary.c_str(), target.c_str()) == 0;
  if (renamed) {
    guarding = 0;
  }
  releaseSignals(previous);
  if (!renamed) {
    return false;
  }
  // The rename is an entry of the folder: flushing the folder makes it survive a power cut. It
  // has happened either way, so a folder that cannot be flushed does not undo the save.
  const fs::path folder = target.parent_path().empty() ? fs::path(".") : target.parent_path();
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    fsync(fd);
    close(fd);
  }
  return true;
}

void discardTemporary(const fs::path& temporary) {
  const sigset_t previous = holdSignals();
  unlink(temporary.c_str());
  guarding = 0;
  releaseSignals(previous);
}
