// The input: opened once, read forward and at offsets, and compared with what its open saw.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/input_file.h"
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

bool namesNothing(int error) {
  return error == ENOENT || error == ENOTDIR;
}

// Whether a name that could not be opened with `error` still names a regular file: one the user
// may not read, say. A name that names nothing lists as empty.
bool namesUnopenedFile(const fs::path& path, int error) {
  if (namesNothing(error)) {
    return false;
  }
  struct stat status;
  if (stat(path.c_str(), &status) != 0) {
    return !namesNothing(errno);
  }
  return S_ISREG(status.st_mode);
}

}  // namespace

void openInput(InputFile& input, const fs::path& path) {
  closeInput(input);
  // Not blocking: opening a pipe for reading would otherwise wait for a writer.
  const int fd = retryOnInterrupt(
      [&] { return open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC); });
  if (fd < 0) {
    const int error = errno;
    if (namesUnopenedFile(path, error)) {
      noteSystemFailure(input.failure, "open", error);
    }
    return;
  }
  struct stat status;
  if (fstat(fd, &status) != 0) {
    noteSystemFailure(input.failure, "examine");
  }
  if (input.failure || !S_ISREG(status.st_mode)) {
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
  const ssize_t got = retryOnInterrupt([&] { return read(descriptor(input.handle), into, size); });
  if (got < 0) {
    noteSystemFailure(input.failure, "read");
  }
  return got > 0 ? static_cast<std::size_t>(got) : 0;
}

bool inputUnchanged(InputFile& input) {
  struct stat status;
  if (input.handle == kNoFile) {
    return true;
  }
  if (fstat(descriptor(input.handle), &status) != 0) {
    noteSystemFailure(input.failure, "examine");
    return false;
  }
  if (static_cast<std::uint64_t>(status.st_dev) != input.device ||
      static_cast<std::uint64_t>(status.st_ino) != input.inode || status.st_size != input.size ||
      fileTime(status.st_mtim) != input.modified || fileTime(status.st_ctim) != input.changed) {
    noteRefusal(input.failure, "examine", kChangedAfterListing);
    return false;
  }
  return true;
}

std::size_t readInputAt(InputFile& input, std::int64_t offset, char* into, std::size_t size) {
  std::size_t done = 0;
  while (input.handle != kNoFile && done < size) {
    const auto at = static_cast<off_t>(offset + static_cast<std::int64_t>(done));
    const ssize_t got = retryOnInterrupt(
        [&] { return pread(descriptor(input.handle), into + done, size - done, at); });
    if (got < 0) {
      noteSystemFailure(input.failure, "read");
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
