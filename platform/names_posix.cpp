// Where a name leads: looked at once where it lies, opened again only as what was looked at, and
// walked as the kernel walks a name, part by part from a folder held open.

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <utility>
#include <vector>

#include "platform/names.h"
#include "platform/posix_internal.h"

namespace fs = std::filesystem;

bool folderStatus(const Folder& folder, struct stat& status, Failure& failure) {
  const bool had = folder.handle != kNoFile ? fstat(descriptor(folder.handle), &status) == 0
                                            : stat(folder.path.c_str(), &status) == 0;
  if (!had) {
    noteSystemFailure(failure);
  }
  return had;
}

std::string procName(int fd) {
  return "/proc/self/fd/" + std::to_string(fd);
}

bool lookAt(const Folder& folder, const fs::path& name, Found& found, Failure& failure) {
  const fs::path path = nameIn(folder, name);
  if constexpr (kHoldsWhatItFinds) {
    found.fd = retryOnInterrupt(
        [&] { return openat(folderAt(folder), path.c_str(), kFindOnly | O_NOFOLLOW | O_CLOEXEC); });
    if (found.fd >= 0 && fstat(found.fd, &found.status) == 0) {
      return true;
    }
  } else if (fstatat(folderAt(folder), path.c_str(), &found.status, AT_SYMLINK_NOFOLLOW) == 0) {
    return true;
  }
  found.status = {};
  if (errno == ENOENT) {
    return true;
  }
  noteSystemFailure(failure);
  return false;
}

int reopen(const Folder& folder, const fs::path& name, const Found& found, int flags,
           const char* swapped, Failure& failure) {
  flags |= O_CLOEXEC;
  int fd =
      found.fd < 0 ? -1 : retryOnInterrupt([&] { return open(procName(found.fd).c_str(), flags); });
  const bool byName = fd < 0 && (found.fd < 0 || errno == ENOENT);
  if (byName) {
    fd = retryOnInterrupt(
        [&] { return openat(folderAt(folder), nameIn(folder, name).c_str(), flags | O_NOFOLLOW); });
  }
  // By name, a link in its place is refused (O_NOFOLLOW: ELOOP, or EMLINK on FreeBSD), and so is
  // any other file that took the name.
  const bool link = byName && fd < 0 && (errno == ELOOP || errno == EMLINK);
  struct stat opened;
  const struct stat& looked = found.status;
  const bool another =
      byName && fd >= 0 &&
      (fstat(fd, &opened) != 0 || opened.st_dev != looked.st_dev ||
       opened.st_ino != looked.st_ino || opened.st_ctim.tv_sec != looked.st_ctim.tv_sec ||
       opened.st_ctim.tv_nsec != looked.st_ctim.tv_nsec);
  if (link || another) {
    if (fd >= 0) {
      close(fd);
    }
    noteRefusal(failure, swapped);
    return -1;
  }
  if (fd < 0) {
    noteSystemFailure(failure);
  }
  return fd;
}

int openFolder(const Folder& folder) {
  return retryOnInterrupt([&] {
    return openat(folderAt(folder), nameIn(folder, ".").c_str(),
                  O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  });
}

namespace {

// As many links as the system itself follows in one name.
constexpr int kMostLinks = 40;

// The parts of a name, the next one last.
std::vector<fs::path> partsOf(const fs::path& name) {
  std::vector<fs::path> parts(name.begin(), name.end());
  std::reverse(parts.begin(), parts.end());
  return parts;
}

// Holds the folder `name`, found from `at` and known as `path`, instead of `folder`: by `fd`, the
// descriptor that found it, or else opened only to be found, or where the build cannot, for
// reading, never through a link. Where it may not be read, it is known by its path alone, and the
// steps in it go by name, as they always did.
bool hold(Folder& folder, int at, const fs::path& name, fs::path path, int fd, Failure& failure) {
  if (fd < 0) {
    fd = retryOnInterrupt([&] {
      return openat(at, name.c_str(), kFindOnly | O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    });
    if (fd < 0 && errno != EACCES) {
      noteSystemFailure(failure);
      return false;
    }
  }
  closeFolder(folder);
  folder = Folder{fd >= 0 ? fd : kNoFile, std::move(path)};
  return true;
}

// Holds the folder a walk starts from instead of `folder`: the root, or the current folder.
bool startAt(Folder& folder, bool root, Failure& failure) {
  const char* const name = root ? "/" : ".";
  return hold(folder, AT_FDCWD, name, name, -1, failure);
}

// Follows the link `part` of `folder`, found as `found`: the parts of its text go before those
// left, from the root where it is absolute. Refused, the reason kept, where someone else planted
// it in a shared folder to make us read or write where they chose.
bool followLink(Folder& folder, const fs::path& part, const Found& found,
                std::vector<fs::path>& left, Failure& failure) {
  struct stat here;
  if (!folderStatus(folder, here, failure)) {
    return false;
  }
  if (!sharedFolderAllows(found.status, here)) {
    noteRefusal(failure, kLinkOfAnotherUser);
    return false;
  }
  char text[PATH_MAX];
  const ssize_t size =
      found.fd >= 0 ? readlinkat(found.fd, "", text, sizeof text)
                    : readlinkat(folderAt(folder), nameIn(folder, part).c_str(), text, sizeof text);
  if (size < 0 || size == static_cast<ssize_t>(sizeof text)) {
    noteSystemFailure(failure, size < 0 ? errno : ENAMETOOLONG);
    return false;
  }
  const fs::path to(std::string(text, static_cast<std::size_t>(size)));
  if (to.is_absolute() && !startAt(folder, true, failure)) {
    return false;
  }
  const std::vector<fs::path> parts = partsOf(to.relative_path());
  left.insert(left.end(), parts.begin(), parts.end());
  return true;
}

// Walks the parts `left` (the next one last) from `folder`, as the system itself walks a name:
// each link on the way, in the folders as at the end, is followed, and `..` is the parent of the
// folder reached. Ends holding the folder the last part lies in, and returns that part in
// `last`, and what it is in `found`: `last` is empty where the name ends in `.` (or a link's
// text in a slash), and a name not there yet (a dangling link's too) is found as nothing. Fails,
// the reason kept, where the system would not walk it: a loop or more than 40 links, a part before
// others that is no folder, or a link refused by the shared-folder rule.
bool walk(Folder& folder, std::vector<fs::path> left, fs::path& last, Found& found,
          Failure& failure) {
  int hops = 0;
  last.clear();
  while (!left.empty()) {
    const fs::path part = left.back();
    left.pop_back();
    if (part.empty() || part == ".") {
      continue;
    }
    found = Found();
    if (!lookAt(folder, part, found, failure)) {
      return false;
    }
    if (found.status.st_mode == 0 && !left.empty()) {
      noteSystemFailure(failure, ENOENT);
      return false;
    }
    if (S_ISLNK(found.status.st_mode)) {
      if (++hops > kMostLinks) {
        noteSystemFailure(failure, ELOOP);
        return false;
      }
      if (!followLink(folder, part, found, left, failure)) {
        return false;
      }
    } else if (left.empty()) {
      last = part;  // a last part that is not there yet is the file to be created
      return true;
    } else if (!S_ISDIR(found.status.st_mode)) {
      // A part that more parts follow, a ".." or the empty part after a trailing slash among
      // them, must be a folder: the kernel refuses "none/.." and "file/..", and a link to "s/"
      // leads to a folder, never to a file that could be written.
      noteSystemFailure(failure, ENOTDIR);
      return false;
    } else if (!hold(folder, folderAt(folder), nameIn(folder, part), folder.path / part,
                     std::exchange(found.fd, -1), failure)) {
      return false;
    }
  }
  found = Found();
  return true;
}

}  // namespace

Folder findFolderOf(const fs::path& path, Failure& failure) {
  Folder folder;
  fs::path last;
  Found found;
  // The "." after the folders makes each of them one that more parts follow: a folder.
  if (!startAt(folder, path.has_root_directory(), failure) ||
      !walk(folder, partsOf(path.parent_path().relative_path() / "."), last, found, failure)) {
    closeFolder(folder);
  }
  return folder;
}

fs::path findFile(const Folder& folder, const fs::path& name, Folder& into, Found& found,
                  Failure& failure) {
  // A descriptor of its own: the input, which holds the folder it was given, is closed first.
  closeFolder(into);
  const int fd =
      folder.handle == kNoFile ? -1 : fcntl(descriptor(folder.handle), F_DUPFD_CLOEXEC, 0);
  if (folder.handle != kNoFile && fd < 0) {
    noteSystemFailure(failure);
    return {};
  }
  into = Folder{fd >= 0 ? fd : kNoFile, folder.path};
  fs::path last;
  const bool walked = walk(into, partsOf(name.filename()), last, found, failure);
  if (walked && last.empty()) {
    noteRefusal(failure, kFolder);  // a link whose text ends in a slash, say
  }
  if (!walked || last.empty()) {
    closeFolder(into);
    return {};
  }
  return last;
}

fs::path followLinks(const Folder& folder, const fs::path& name, Folder& into, Failure& failure) {
  Found found;
  return findFile(folder, name, into, found, failure);
}
