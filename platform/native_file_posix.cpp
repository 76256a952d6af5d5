// The new copy's own file: created privately, written, written out, flushed and moved into place.

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/native_file.h"
#include "platform/posix_internal.h"

namespace fs = std::filesystem;

namespace {

// Flushes a file, or a folder's entries, to the disk: with fsync, not fdatasync, which need not
// write the mode, owner and ACL just given to a new copy, so a power cut could bring back the new
// bytes with the temporary's private mode. macOS's fsync leaves them in the drive's cache, which
// may write them out of order: F_FULLFSYNC asks the drive, where the file system can.
int flushToDisk(int fd) {
#ifdef F_FULLFSYNC
  const int stored = fcntl(fd, F_FULLFSYNC);
  if (stored == 0 || (errno != ENOTSUP && errno != EINVAL && errno != ENOTTY)) {
    return stored;
  }
#endif
  return fsync(fd);
}

// Whether `name` in `folder` still names what `examined` found there: the same file, or still
// nothing.
bool stillAsExamined(const Folder& folder, const fs::path& name, const ExaminedTarget& examined,
                     Failure& failure) {
  Found now;
  if (!lookAt(folder, name, now, failure)) {
    return false;
  }
  const bool exists = now.status.st_mode != 0;
  if (exists != examined.exists ||
      (exists && (static_cast<std::uint64_t>(now.status.st_dev) != examined.device ||
                  static_cast<std::uint64_t>(now.status.st_ino) != examined.inode))) {
    noteRefusal(failure, kReplacedMeanwhile);
    return false;
  }
  return true;
}

// Renames `from` to `to` in the folder `at` unless something has that name, in one step.
int renameUnlessTaken(int at, const char* from, const char* to) {
#if defined(KESTROVANE_LINUX_CALLS) && defined(RENAME_NOREPLACE)
  return renameat2(at, from, at, to, RENAME_NOREPLACE);
#elif defined(RENAME_EXCL)
  return renameatx_np(at, from, at, to, RENAME_EXCL);  // macOS
#else
  (void)at, (void)from, (void)to;
  errno = ENOSYS;
  return -1;
#endif
}

}  // namespace

void closeFolder(Folder& folder) {
  if (folder.handle != kNoFile) {
    close(descriptor(folder.handle));
  }
  folder = Folder();
}

NativeFile createTemporary(const Folder& folder, const fs::path& name, bool& nameTaken,
                           Failure& failure) {
  const int fd = retryOnInterrupt([&] {
    return openat(folderAt(folder), nameIn(folder, name).c_str(),
                  O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  });
  nameTaken = fd < 0 && errno == EEXIST;
  if (fd < 0) {
    noteSystemFailure(failure);
  }
  return fd;
}

bool writeNative(NativeFile file, const char* data, std::size_t size, Failure& failure) {
  const std::size_t written = moveAll(size, failure, [&](std::size_t done) {
    return write(descriptor(file), data + done, size - done);
  });
  if (written < size) {
    noteSystemFailure(failure, EIO);  // nothing written, and no error of its own
  }
  return written == size;
}

bool startWriteOut(NativeFile file, std::int64_t offset, std::int64_t length, Failure& failure) {
#ifdef SYNC_FILE_RANGE_WRITE
  // Linux reports a failed write-back once to each open file: an error that a wait got and
  // dropped would never reach the final flush, which would then succeed on data not on the disk.
  const int fd = descriptor(file);
  if ((offset > 0 && sync_file_range(fd, 0, offset, SYNC_FILE_RANGE_WAIT_BEFORE) != 0) ||
      sync_file_range(fd, offset, length, SYNC_FILE_RANGE_WRITE) != 0) {
    if (errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP || errno == ESPIPE) {
      return true;
    }
    noteSystemFailure(failure);
    return false;
  }
#else
  (void)file, (void)offset, (void)length, (void)failure;
#endif
  return true;
}

bool flushAndClose(NativeFile file, Failure& failure) {
  const bool flushed = flushToDisk(descriptor(file)) == 0;
  if (!flushed) {
    noteSystemFailure(failure);  // the flush's failure is the one to tell
  }
  const bool closed = close(descriptor(file)) == 0;
  if (!closed) {
    noteSystemFailure(failure);
  }
  return flushed && closed;
}

void closeNative(NativeFile file) {
  close(descriptor(file));
}

bool moveFile(const Folder& folder, const fs::path& from, const fs::path& to,
              const ExaminedTarget& examined, Failure& failure) {
  const fs::path source = nameIn(folder, from);
  const fs::path target = nameIn(folder, to);
  // Where the target was free when examined, the rename itself refuses whatever took its name
  // since.
  if (!examined.exists) {
    if (renameUnlessTaken(folderAt(folder), source.c_str(), target.c_str()) == 0) {
      return true;
    }
    if (errno == EEXIST) {
      noteRefusal(failure, kReplacedMeanwhile);
      return false;
    }
    // Unless it failed only for want of such a rename: an older kernel, a file system that has
    // none (NFS, older FUSE ones), or a container's filter that does not know the call.
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP && errno != EPERM) {
      noteSystemFailure(failure);
      return false;
    }
  }
  // Someone who may write the target's folder could have put another file under its name, or
  // taken it away, since its permissions were examined: the new copy would then replace a file
  // nobody looked at. That is checked here; only the moment between this check and the rename
  // remains, which no rename call can close for a file that is replaced.
  if (!stillAsExamined(folder, to, examined, failure)) {
    return false;
  }
  if (renameat(folderAt(folder), source.c_str(), folderAt(folder), target.c_str()) != 0) {
    noteSystemFailure(failure);
    return false;
  }
  return true;
}

// A rename is an entry of the folder: flushing the folder makes it survive a power cut. The
// descriptor that holds it may open nothing, and so not be flushed: the folder is opened again.
void flushFolder(const Folder& folder) {
  const int fd = openFolder(folder);
  if (fd >= 0) {
    flushToDisk(fd);
    close(fd);
  }
}

void removeFile(const Folder& folder, const fs::path& name) {
  unlinkat(folderAt(folder), nameIn(folder, name).c_str(), 0);
}
