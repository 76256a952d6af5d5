// The folder a name lies in, and where a name leads: each walked as the kernel walks a name,
// part by part from a folder held open.

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

#include "platform/names.h"
#include "platform/posix_internal.h"

namespace fs = std::filesystem;

namespace {

// As many links as the system itself follows in one name.
constexpr int kMostLinks = 40;

}  // namespace

bool folderStatus(const Folder& folder, struct stat& status) {
  return folder.handle != kNoFile ? fstat(descriptor(folder.handle), &status) == 0
                                  : stat(folder.path.c_str(), &status) == 0;
}

std::string procName(int fd) {
  return "/proc/self/fd/" + std::to_string(fd);
}

namespace {

// The parts of a name, the next one last.
std::vector<fs::path> partsOf(const fs::path& name) {
  std::vector<fs::path> parts(name.begin(), name.end());
  std::reverse(parts.begin(), parts.end());
  return parts;
}

// Holds the folder a walk starts from instead of `folder`: the root, or the current folder.
bool startAt(Folder& folder, bool root) {
  const char* const name = root ? "/" : ".";
#ifdef O_PATH
  const int fd = retryOnInterrupt([&] { return open(name, O_PATH | O_DIRECTORY | O_CLOEXEC); });
#else
  const int fd = retryOnInterrupt([&] { return open(name, O_RDONLY | O_DIRECTORY | O_CLOEXEC); });
  if (fd < 0 && errno == EACCES) {
    closeFolder(folder);
    folder.path = name;
    return true;
  }
#endif
  if (fd < 0) {
    return false;
  }
  closeFolder(folder);
  folder = Folder{fd, name};
  return true;
}

// Looks at `part` of `folder` as it is, a link as the link, and opens nothing that could block or
// act: its status, and where the system can open a file only to find it (O_PATH), a descriptor
// of that very file in `fd`, else -1.
bool lookAt(const Folder& folder, const fs::path& part, struct stat& status, int& fd) {
  const fs::path name = nameIn(folder, part);
#ifdef O_PATH
  fd = retryOnInterrupt(
      [&] { return openat(folderAt(folder), name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC); });
  return fd >= 0 && fstat(fd, &status) == 0;
#else
  fd = -1;
  return fstatat(folderAt(folder), name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0;
#endif
}

// Moves `folder` into its subfolder `part`, looked at as `fd`, which it then owns: held by that
// descriptor, or else opened for reading, where a link in its place is refused. Where it may not
// be read, it is known by its path alone, and the steps in it go by name, as they always did.
bool enter(Folder& folder, const fs::path& part, int& fd) {
#ifndef O_PATH
  fd = retryOnInterrupt([&] {
    return openat(folderAt(folder), nameIn(folder, part).c_str(),
                  O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  });
  if (fd < 0 && errno != EACCES) {
    return false;
  }
#endif
  const fs::path path = folder.path / part;
  closeFolder(folder);
  folder = Folder{fd >= 0 ? fd : kNoFile, path};
  fd = -1;
  return true;
}

// Follows the link `part` of `folder`, looked at as `status` and `fd`: the parts of its text go
// before those left, from the root where it is absolute. Refused, the reason kept, where someone
// else planted it in a shared folder to make us read or write where they chose.
bool followLink(Folder& folder, const fs::path& part, const struct stat& status, int fd,
                std::vector<fs::path>& left, Failure& failure) {
  struct stat here;
  if (!folderStatus(folder, here)) {
    noteSystemFailure(failure);
    return false;
  }
  if (!sharedFolderAllows(status, here)) {
    noteRefusal(failure, kLinkOfAnotherUser);
    return false;
  }
  char text[PATH_MAX];
  const ssize_t size =
      fd >= 0 ? readlinkat(fd, "", text, sizeof text)
              : readlinkat(folderAt(folder), nameIn(folder, part).c_str(), text, sizeof text);
  if (size == static_cast<ssize_t>(sizeof text)) {
    errno = ENAMETOOLONG;
  }
  const fs::path to(std::string(text, size > 0 ? static_cast<std::size_t>(size) : 0));
  if (size <= 0 || size == static_cast<ssize_t>(sizeof text) ||
      (to.is_absolute() && !startAt(folder, true))) {
    noteSystemFailure(failure);
    return false;
  }
  const std::vector<fs::path> parts = partsOf(to.relative_path());
  left.insert(left.end(), parts.begin(), parts.end());
  return true;
}

// Walks the parts `left` (the next one last) from `folder`, as the system itself walks a name:
// each link on the way, in the folders as at the end, is followed, and `..` is the parent of the
// folder reached. Ends holding the folder the last part lies in, and returns that part in
// `last`: empty where the name ends in a folder; a dangling link gives the file it names. Fails,
// the reason kept, where the system would not walk it: a loop or more than 40 links, a part
// before others that is no folder, or a link refused by the shared-folder rule.
bool walk(Folder& folder, std::vector<fs::path> left, fs::path& last, Failure& failure) {
  int hops = 0;
  last.clear();
  bool going = true;
  while (going && !left.empty()) {
    const fs::path part = left.back();
    left.pop_back();
    if (part.empty() || part == ".") {
      continue;
    }
    struct stat status;
    int fd = -1;
    if (!lookAt(folder, part, status, fd)) {
      // A last part that is not there yet is the file to be created.
      if (errno == ENOENT && left.empty()) {
        last = part;
      } else {
        noteSystemFailure(failure);
        going = false;
      }
    } else if (S_ISLNK(status.st_mode)) {
      if (++hops > kMostLinks) {
        noteSystemFailure(failure, ELOOP);
      }
      going = hops <= kMostLinks && followLink(folder, part, status, fd, left, failure);
    } else if (left.empty()) {
      last = part;
    } else if (!S_ISDIR(status.st_mode)) {
      // A part that more parts follow, a ".." or the empty part after a trailing slash among
      // them, must be a folder: the kernel refuses "none/.." and "file/..", and a link to "s/"
      // leads to a folder, never to a file that could be written.
      noteSystemFailure(failure, ENOTDIR);
      going = false;
    } else if (!enter(folder, part, fd)) {
      noteSystemFailure(failure);
      going = false;
    }
    if (fd >= 0) {
      close(fd);
    }
  }
  return going;
}

}  // namespace

Folder findFolderOf(const fs::path& path, Failure& failure) {
  Folder folder;
  fs::path last;
  // The "." after the folders makes each of them one that more parts follow: a folder.
  if (!startAt(folder, path.has_root_directory())) {
    noteSystemFailure(failure);
  } else if (!walk(folder, partsOf(path.parent_path().relative_path() / "."), last, failure)) {
    closeFolder(folder);
  }
  return folder;
}

fs::path followLinks(const Folder& folder, const fs::path& name, Folder& into, Failure& failure) {
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
  const bool walked = walk(into, partsOf(name.filename()), last, failure);
  if (walked && last.empty()) {
    noteRefusal(failure, kFolder);  // a link whose text ends in a slash, say
  }
  if (!walked || last.empty()) {
    closeFolder(into);
    return {};
  }
  return last;
}
