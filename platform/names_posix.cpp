// Typed names, where their folders end, and where an output name leads: its links followed as
// the kernel follows them.

#include <algorithm>
#include <cerrno>
#include <iterator>
#include <system_error>
#include <vector>

#include "platform/names.h"
#include "platform/posix_internal.h"

namespace fs = std::filesystem;

namespace {

// As many links as the system itself follows in one name.
constexpr int kMostLinks = 40;

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
bool mayWriteOutput(const fs::path&, Failure&) {
  return true;
}

// The file a name finally stands for, found as the system itself walks a name: each link on the
// way, in the folders as at the end, is followed, so the file it names is replaced and the link
// stays a link, and a dangling link creates the file it names. Empty where the system would not
// follow either: a loop or more than 40 links, a part before others that is no folder, or a link
// that someone else planted in a shared folder to make us write where they chose.
fs::path followOutputLinks(const fs::path& name, Failure& failure) {
  std::vector<fs::path> left(name.begin(), name.end());
  std::reverse(left.begin(), left.end());  // the next part of the name is last
  fs::path walked;                         // what the name leads to so far, without links
  int hops = 0;
  std::error_code ec;
  while (!left.empty()) {
    const fs::path part = left.back();
    left.pop_back();
    if (part.empty() || part == ".") {
      continue;
    }
    const fs::path next = walked / part;
    const fs::file_status status = fs::symlink_status(next, ec);
    if (!fs::is_symlink(status)) {
      // A part that more parts follow, a ".." or the empty part after a trailing slash among
      // them, must be a folder: the kernel refuses "none/.." and "file/..", and a link to "s/"
      // leads to a folder, never to a file that could be written.
      if (!left.empty() && !fs::is_directory(status)) {
        noteSystemFailure(failure, "walk", ec ? ec.value() : fs::exists(status) ? ENOTDIR : ENOENT);
        return {};
      }
      walked = next;
      continue;
    }
    if (++hops > kMostLinks) {
      noteSystemFailure(failure, "walk", ELOOP);
      return {};
    }
    if (!mayUseInSharedFolder(next)) {
      noteRefusal(failure, "walk", kLinkOfAnotherUser);
      return {};
    }
    const fs::path to = fs::read_symlink(next, ec);
    if (ec) {
      noteSystemFailure(failure, "walk", ec.value());
      return {};
    }
    if (to.is_absolute()) {
      walked.clear();
    }
    left.insert(left.end(), std::make_reverse_iterator(to.end()),
                std::make_reverse_iterator(to.begin()));
  }
  if (walked.empty()) {
    noteSystemFailure(failure, "walk", ENOENT);
  }
  return walked;
}
