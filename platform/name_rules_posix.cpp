// Names as typed: the bytes, all read, folders ending at `/`.

#include "platform/name_rules.h"

namespace fs = std::filesystem;

fs::path typedPath(const std::string& typedName, Failure& failure) {
  if (typedName.find('\0') != std::string::npos) {
    noteRefusal(failure, kNulInName);
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

std::string nameForErrors(std::string_view typedName) {
  return std::string(typedName);
}

// A name means only the file it names: no devices by name, no streams of a file.
bool mayWriteOutput(const fs::path&, Failure&) {
  return true;
}
