#include "codec/output_file.h"

#include <random>
#include <system_error>

#include "codec/tuning.h"

namespace fs = std::filesystem;

std::string outputName(std::string_view typedName, std::string_view stopChars,
                       std::string_view extension) {
  std::string name(typedName.substr(0, typedName.find_first_of(stopChars)));
  name += '.';
  name += extension;
  return name;
}

namespace {

// As many links as the system itself follows in one name.
constexpr int kMostLinks = 40;

// A temporary's name is the target's with 26 more characters; a name may have 255.
constexpr std::size_t kMostNameLength = 255 - 26;

// The file a name finally stands for. A link, or a chain of them, is followed to the file it
// names, which is then replaced while the link stays a link; a dangling link creates the file it
// names. Empty where the system would not follow the chain either: a loop, too many links, or a
// link that someone else planted in a shared folder to make us write where they chose.
fs::path followLinks(fs::path path) {
  std::error_code ec;
  for (int hops = 0;; ++hops) {
    if (!fs::is_symlink(fs::symlink_status(path, ec))) {
      return path;
    }
    if (hops == kMostLinks || !mayFollowLink(path)) {
      return {};
    }
    const fs::path to = fs::read_symlink(path, ec);
    if (ec) {
      return {};
    }
    path = to.is_absolute() ? to : path.parent_path() / to;
  }
}

// A new hidden file in the target's folder: in the same folder, the final move is a rename
// within one file system, which replaces the target in one step. It is guarded from the moment
// it exists, so an interruption never leaves it behind.
void createTemporaryFor(OutputFile& file) {
  std::random_device seed;
  std::mt19937_64 random(seed());
  for (int attempt = 0; attempt < 10 && file.handle == kNoFile; ++attempt) {
    fs::path name = ".";
    name += file.target.filename().native().substr(0, kMostNameLength);
    name += ".kestrovane-" + std::to_string(random() % 1000000000) + ".tmp";
    file.temporary = file.target.parent_path() / name;
    holdInterruptions();
    file.handle = createTemporary(file.temporary);
    if (file.handle != kNoFile && !guardTemporary(file.temporary)) {
      closeNative(file.handle);
      removeFile(file.temporary);
      file.handle = kNoFile;
    }
    releaseInterruptions();
  }
}

}  // namespace

void openSafeOutput(OutputFile& file, const std::string& name) {
  file = OutputFile();
  const fs::path typed = typedPath(name);
  if (!typed.empty()) {
    file.target = followLinks(typed);
  }
  if (!file.target.empty()) {
    createTemporaryFor(file);
  }
  file.failed = file.handle == kNoFile;
}

void writeSafeOutput(OutputFile& file, const char* data, std::size_t size) {
  if (file.failed) {
    return;
  }
  if (!writeNative(file.handle, data, size)) {
    file.failed = true;
    return;
  }
  const std::int64_t before = file.written;
  file.written += static_cast<std::int64_t>(size);
  const std::int64_t step = before / kWriteOutStep * kWriteOutStep;
  if (file.written - step >= kWriteOutStep && !startWriteOut(file.handle, step, kWriteOutStep)) {
    file.failed = true;
  }
}

bool commitSafeOutput(OutputFile& file) {
  bool saved = false;
  if (file.handle != kNoFile) {
    bool flushed = false;
    if (file.failed) {
      closeNative(file.handle);
    } else if (!setFinalPermissions(file.handle, file.target)) {
      closeNative(file.handle);
    } else {
      flushed = flushAndClose(file.handle);
    }
    holdInterruptions();
    saved = flushed && moveFile(file.temporary, file.target);
    if (!saved) {
      removeFile(file.temporary);
    }
    unguardTemporary();
    releaseInterruptions();
    // The move has happened either way, so a folder that cannot be flushed does not undo it.
    if (saved) {
      flushFolderOf(file.target);
    }
  }
  file = OutputFile();
  return saved;
}
