#include <fcntl.h>
#include <limits.h>
#include <setjmp.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "codec/code_char.h"
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

// The input is mapped a window at a time: large enough that mapping costs little, small enough
// that the memory it takes stays flat whatever the file's size.
constexpr std::int64_t kViewSize = 2 * 1024 * 1024;
#ifdef MAP_POPULATE
constexpr int kPrefault = MAP_POPULATE;  // one call maps the window's pages, not a fault each
#else
constexpr int kPrefault = 0;
#endif

// Reading a mapped page that a shrinking file no longer holds raises SIGBUS. While a window is
// read, the handler jumps back to the reader, which then fails the coding instead of crashing.
sigjmp_buf shrunkFile;
volatile sig_atomic_t readingView = 0;

extern "C" void returnFromShrunkFile(int signal) {
  if (readingView) {
    siglongjmp(shrunkFile, 1);
  }
  // Any other bus error is a fault of the program: the faulting access, repeated on return, now
  // ends it as it always would have.
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = SIG_DFL;
  sigaction(signal, &action, nullptr);
}

bool installBusErrorHandler() {
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = returnFromShrunkFile;
  // Not held back while handled: the jump out of the handler then leaves the signal mask as it
  // was, and setting the jump point need not save the mask, a system call per block.
  action.sa_flags = SA_NODEFER;
  sigemptyset(&action.sa_mask);
  return sigaction(SIGBUS, &action, nullptr) == 0;
}

void unmapView(InputFile& input) {
  if (input.view != nullptr) {
    munmap(const_cast<char*>(input.view), input.viewLength);
    input.view = nullptr;
  }
}

// The walk goes backwards, so a new window ends where the wanted range ends.
bool mapViewEndingAt(InputFile& input, std::int64_t end) {
  unmapView(input);
  const std::int64_t page = sysconf(_SC_PAGESIZE);
  const std::int64_t start = std::max<std::int64_t>(0, end - kViewSize) / page * page;
  const auto length = static_cast<std::size_t>(end - start);
  void* view =
      mmap(nullptr, length, PROT_READ, MAP_PRIVATE | kPrefault, descriptor(input.handle), start);
  if (view == MAP_FAILED) {
    return false;
  }
  input.view = static_cast<const char*>(view);
  input.viewOffset = start;
  input.viewLength = length;
  return true;
}

bool codeFromView(const InputFile& input, std::int64_t offset, std::size_t size, char* out) {
  static const bool handled = installBusErrorHandler();
  if (!handled) {
    return false;
  }
  if (sigsetjmp(shrunkFile, 0) != 0) {
    readingView = 0;
    return false;
  }
  readingView = 1;
  codeBlock(input.view + (offset - input.viewOffset), size, out);
  readingView = 0;
  return true;
}

// Where a file cannot be mapped, its bytes are read, then coded.
bool codeFromRead(InputFile& input, std::int64_t offset, std::size_t size, char* out) {
  input.buffer.resize(size);
  std::size_t done = 0;
  while (done < size) {
    const ssize_t got = pread(descriptor(input.handle), input.buffer.data() + done, size - done,
                              offset + static_cast<std::int64_t>(done));
    if (got < 0 && errno == EINTR) {
      continue;
    }
    if (got <= 0) {
      return false;
    }
    done += static_cast<std::size_t>(got);
  }
  codeBlock(input.buffer.data(), size, out);
  return true;
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

std::int64_t inputSize(InputFile& input) {
  struct stat status;
  if (input.handle == kNoFile || fstat(descriptor(input.handle), &status) != 0) {
    return 0;
  }
  return status.st_size;
}

bool codeInputRange(InputFile& input, std::int64_t offset, std::size_t size, char* out) {
  const std::int64_t end = offset + static_cast<std::int64_t>(size);
  const bool inView = input.view != nullptr && offset >= input.viewOffset &&
                      end <= input.viewOffset + static_cast<std::int64_t>(input.viewLength);
  if (inView || mapViewEndingAt(input, end)) {
    return codeFromView(input, offset, size, out);
  }
  return codeFromRead(input, offset, size, out);
}

void closeInput(InputFile& input) {
  unmapView(input);
  if (input.handle != kNoFile) {
    close(descriptor(input.handle));
  }
  input = InputFile();
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
