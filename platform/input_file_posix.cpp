// The input: opened once, read forward and at offsets, and compared with what its open saw.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/input_file.h"
#include "platform/names.h"
#include "platform/posix_internal.h"

namespace fs = std::filesystem;

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

}  // namespace

void openInput(InputFile& input, const fs::path& path) {
  closeInput(input);
  input.folder = findFolderOf(path, input.folderMissing);
  // The file's own name may be a link too, followed by the same rules as those on the way to it.
  Folder lying;
  Found found;
  Failure walk = input.folderMissing;
  const fs::path name = input.folder.path.empty()
                            ? fs::path()
                            : findFile(input.folder, path.filename(), lying, found, walk);
  if (name.empty()) {
    // Names that lead nowhere, and a folder, list as empty, as a missing file does; a walk that
    // failed otherwise, or was refused, must keep the input from being saved as empty.
    if (walk.systemError != ENOENT && walk.systemError != ENOTDIR && !refusedFor(walk, kFolder)) {
      input.failure = walk;
    }
    return;
  }
  // Only a regular file is opened: anything else was looked at without being opened (a FIFO or a
  // device opened could block, or act: a serial port's board resets, a tape rewinds), and lists
  // as empty. Not blocking, should another file take its name meanwhile.
  const int fd = S_ISREG(found.status.st_mode)
                     ? reopen(lying, name, found, O_RDONLY | O_NONBLOCK | O_NOCTTY,
                              kChangedAfterListing, input.failure)
                     : -1;
  closeFolder(lying);
  if (fd < 0) {
    return;
  }
  input.handle = fd;
  recordVersion(input, found.status);
  input.access = accessOf(fd, found.status);
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
  if (input.handle == kNoFile) {
    return 0;
  }
  return moveAll(size, input.failure, [&](std::size_t done) {
    return pread(descriptor(input.handle), into + done, size - done,
                 static_cast<off_t>(offset + static_cast<std::int64_t>(done)));
  });
}

void closeInput(InputFile& input) {
  if (input.handle != kNoFile) {
    close(descriptor(input.handle));
  }
  closeFolder(input.folder);
  input = InputFile();
}
