// Access ACLs: read, written, limited, and what an input's own ACL lets its group read.

#include <sys/stat.h>
#ifdef __linux__
#include <sys/xattr.h>
#endif

#include <cerrno>
#include <utility>
#include <vector>

#include "platform/posix_internal.h"

namespace fs = std::filesystem;

#ifdef __linux__
namespace {

bool noAclHere(int error) {
  return error == ENODATA || error == EOPNOTSUPP || error == ENOTSUP;
}

// Keeps the `size` bytes an ACL read gave, none where the file has no ACL. False on any other
// failure of the read.
bool keepAcl(ssize_t size, std::vector<char>& acl) {
  const bool read = size >= 0 || noAclHere(errno);
  acl.resize(size > 0 ? static_cast<std::size_t>(size) : 0);
  return read;
}

constexpr std::size_t kMostAclSize = 65536;  // the largest value an extended attribute may have

}  // namespace

bool readAcl(const fs::path& path, const char* name, std::vector<char>& acl) {
  acl.resize(kMostAclSize);
  return keepAcl(getxattr(path.c_str(), name, acl.data(), acl.size()), acl);
}

bool readAcl(int fd, const char* name, std::vector<char>& acl) {
  acl.resize(kMostAclSize);
  return keepAcl(fgetxattr(fd, name, acl.data(), acl.size()), acl);
}

unsigned aclField(const std::vector<char>& acl, std::size_t at) {
  return static_cast<unsigned char>(acl[at]) | static_cast<unsigned char>(acl[at + 1]) << 8;
}

std::size_t aclEntryAt(const std::vector<char>& acl, unsigned tag) {
  for (std::size_t at = kAclHeader; at + kAclEntry <= acl.size(); at += kAclEntry) {
    if (aclField(acl, at) == tag) {
      return at;
    }
  }
  return 0;
}

bool setAcl(int fd, const std::vector<char>& acl) {
  if (acl.size() > kAclHeader + 3 * kAclEntry) {
    return fsetxattr(fd, kAccessAcl, acl.data(), acl.size(), 0) == 0;
  }
  return fremovexattr(fd, kAccessAcl) == 0 || noAclHere(errno);
}
#endif

void limitTo(Permissions& permissions, mode_t most) {
  permissions.mode &= most | ~0777u;
#ifdef __linux__
  std::vector<char>& acl = permissions.acl;
  if (acl.empty()) {
    return;
  }
  std::size_t groupClass = aclEntryAt(acl, kAclMask);
  if (groupClass == 0) {
    groupClass = aclEntryAt(acl, kAclGroupObject);
  }
  // An entry's rights sit in the mode's bits at `shift`: 6 the owner's, 3 the group's, 0 others'.
  const std::pair<std::size_t, unsigned> classes[] = {
      {aclEntryAt(acl, kAclUserObject), 6}, {groupClass, 3}, {aclEntryAt(acl, kAclOther), 0}};
  for (const auto& [at, shift] : classes) {
    if (at != 0) {
      const unsigned rights = aclField(acl, at + 2) & (most >> shift) & 7;
      acl[at + 2] = static_cast<char>(rights);
      permissions.mode = (permissions.mode & ~(7u << shift)) | rights << shift;
    }
  }
#endif
}

InputAccess accessOf(int fd, const struct stat& status) {
  InputAccess access;
  access.permissions = status.st_mode & 0777;
  access.group = static_cast<std::int64_t>(status.st_gid);
#ifdef __linux__
  std::vector<char> acl;
  if (!readAcl(fd, kAccessAcl, acl)) {
    access.permissions &= ~070u;
  }
  const std::size_t group = aclEntryAt(acl, kAclGroupObject);
  const std::size_t mask = aclEntryAt(acl, kAclMask);
  if (group != 0 && mask != 0) {
    const unsigned rights = aclField(acl, group + 2) & aclField(acl, mask + 2) & 7;
    access.permissions = (access.permissions & ~070u) | rights << 3;
  }
#else
  (void)fd;
#endif
  return access;
}
