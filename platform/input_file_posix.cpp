// The input: opened once, read forward and at offsets, and compared with what its open saw.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/input_file.h"
#include "platform/names.h"
#include "platform/posix_internal.h"

namespace fs = std::filesystem;

#ifdef __APPLE__
#define st_mtim st_mtimespec
#define st_ctim st_ctimespec
#endif

// Files past 2 GiB on 32-bit systems: the build asks for 64-bit offsets, and this keeps it so.
static_assert(sizeof(off_t) == 8, "build with _FILE_OFFSET_BITS=64");

namespace {

// A file time in nanoseconds, as precise as the file system keeps it.
std::int64_t fileTime(const struct timespec& time) {
  return static_cast<std::int64_t>(time.tv_sec) * 1000000000 + time.tv_nsec;
}

// The file's identity and version, as `status` says.
void recordVersion(InputFile& input, const struct stat& status) {
  input.device = static_cast<std::uint64_t>(status.st_dev);
  input.inode = static_cast<std::uint64_t>(status.st_ino);
  input.size = status.st_size;
  input.modified = fileTime(status.st_mtim);
  input.changed = fileTime(status.st_ctim);
}

bool namesNothing(int error) {
  return error == ENOENT || error == ENOTDIR;
}

// Looks at the file `name` in `folder`, its links already followed, without opening it for
// reading: a FIFO or a device opened to be looked at could block, or act (a serial port's board
// resets, a tape rewinds). Through a descriptor that only finds the file (O_PATH), left in
// `found`, or where the system has none, by name (-1); a link put there since is not followed.
// False where there is nothing to look at; where that is not because the name names nothing,
// the failure is kept.
bool lookAtInput(const Folder& folder, const fs::path& name, struct stat& status, int& found,
                 Failure& failure) {
  const fs::path path = nameIn(folder, name);
#ifdef O_PATH
  found = retryOnInterrupt(
      [&] { return openat(folderAt(folder), path.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC); });
  if (found >= 0 && fstat(found, &status) != 0) {
    noteSystemFailure(failure);
    return false;
  }
  const bool looked = found >= 0;
#else
  found = -1;
  const bool looked = fstatat(folderAt(folder), path.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0;
#endif
  if (!looked && !namesNothing(errno)) {
    noteSystemFailure(failure);
  }
  return looked;
}

// Opens for reading the regular file looked at as `status`, never another that took its name
// since: through its descriptor's name under /proc, or where /proc is missing, by its name, as
// long as that still leads to the same file, and never through a link put there since. -1 where it
// cannot, the reason kept in `failure`.
int openLooked(const Folder& folder, const fs::path& name, int found, const struct stat& status,
               Failure& failure) {
  // Not blocking, should another file stand there: opening a pipe would wait for a writer.
  constexpr int kRead = O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
  int fd = found < 0 ? -1 : retryOnInterrupt([&] { return open(procName(found).c_str(), kRead); });
  if (fd < 0 && (found < 0 || errno == ENOENT)) {
    fd = retryOnInterrupt(
        [&] { return openat(folderAt(folder), nameIn(folder, name).c_str(), kRead | O_NOFOLLOW); });
    struct stat opened;
    if ((fd < 0 && errno == ELOOP) ||
        (fd >= 0 && (fstat(fd, &opened) != 0 || opened.st_dev != status.st_dev ||
                     opened.st_ino != status.st_ino))) {
      if (fd >= 0) {
        close(fd);
      }
      noteRefusal(failure, kChangedAfterListing);
      return -1;
    }
  }
  if (fd < 0) {
    noteSystemFailure(failure);
  }
  return fd;
}

}  // namespace

void openInput(InputFile& input, const fs::path& path) {
  closeInput(input);
  input.folder = findFolderOf(path, input.folderMissing);
  // The file's own name may be a link too, followed by the same rules as those on the way to it.
  Folder lying;
  Failure walk = input.folderMissing;
  const fs::path name = input.folder.path.empty()
                            ? fs::path()
                            : followLinks(input.folder, path.filename(), lying, walk);
  if (name.empty()) {
    // Names that lead nowhere, and a folder, list as empty, as a missing file does; a walk that
    // failed otherwise, or was refused, must keep the input from being saved as empty.
    if (!namesNothing(walk.systemError) && !refusedFor(walk, kFolder)) {
      input.failure = walk;
    }
    closeFolder(lying);
    return;
  }
  struct stat status;
  int found = -1;
  const int fd = lookAtInput(lying, name, status, found, input.failure) && S_ISREG(status.st_mode)
                     ? openLooked(lying, name, found, status, input.failure)
                     : -1;
  if (found >= 0) {
    close(found);
  }
  closeFolder(lying);
  if (fd < 0) {
    return;
  }
  input.handle = fd;
  recordVersion(input, status);
  input.access = accessOf(fd, status);
}

std::size_t readInput(InputFile& input, char* into, std::size_t size) {
  if (input.handle == kNoFile) {
    return 0;
  }
  const ssize_t got = retryOnInterrupt([&] { return read(descriptor(input.handle), into, size); });
  if (got < 0) {
    noteSystemFailure(input.failure);
  }
  return got > 0 ? static_cast<std::size_t>(got) : 0;
}

bool inputUnchanged(InputFile& input) {
  struct stat status;
  if (input.handle == kNoFile) {
    return true;
  }
  if (fstat(descriptor(input.handle), &status) != 0) {
    noteSystemFailure(input.failure);
    return false;
  }
  InputFile now;
  recordVersion(now, status);
  return sameVersion(input, now);
}

std::size_t readInputAt(InputFile& input, std::int64_t offset, char* into, std::size_t size) {
  std::size_t done = 0;
  while (input.handle != kNoFile && done < size) {
    const auto at = static_cast<off_t>(offset + static_cast<std::int64_t>(done));
    const ssize_t got = retryOnInterrupt(
        [&] { return pread(descriptor(input.handle), into + done, size - done, at); });
    if (got < 0) {
      noteSystemFailure(input.failure);
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
  closeFolder(input.folder);
  input = InputFile();
}
