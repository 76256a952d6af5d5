#include "codec/output_file.h"

#include <random>

#include "codec/tuning.h"
#include "platform/interruptions.h"
#include "platform/names.h"
#include "platform/permissions.h"

namespace fs = std::filesystem;

namespace {

// A temporary is named `.NAME.kestrovane-N.tmp`, N below 10^9. NAME is cut so that the whole
// fits the 255 characters a name may have wherever the target's own name fits.
constexpr char kTemporaryMark[] = ".kestrovane-";
constexpr std::size_t kMostNameLength = 255 - 1 - (sizeof kTemporaryMark - 1) - 9 - 4;

// A new hidden file in the target's folder: in the same folder, the final move is a rename
// within one file system, which replaces the target in one step. It is guarded from the moment
// it exists, so an interruption never leaves it behind. Another name is tried only when the
// last one was taken: any other failure (no right to write there, say) would only repeat.
void createTemporaryFor(OutputFile& file) {
  std::random_device seed;
  std::mt19937_64 random(seed());
  bool nameTaken = true;
  for (int attempt = 0; attempt < 10 && nameTaken; ++attempt) {
    fs::path name = ".";
    name += file.target.filename().native().substr(0, kMostNameLength);
    name += kTemporaryMark + std::to_string(random() % 1000000000) + ".tmp";
    file.temporary = file.target.parent_path() / name;
    holdInterruptions();
    file.handle = createTemporary(file.temporary, nameTaken);
    if (file.handle != kNoFile && !guardTemporary(file.temporary)) {
      closeNative(file.handle);
      removeFile(file.temporary);
      file.handle = kNoFile;
    }
    releaseInterruptions();
  }
}

}  // namespace

void openSafeOutput(OutputFile& file, const std::string& name, std::string_view typedName,
                    const InputAccess& input) {
  file = OutputFile();
  file.input = input;
  const fs::path typed = typedPath(name);
  if (!typed.empty() && typedName.find('\0') == std::string_view::npos) {
    file.target = followOutputLinks(typed);
  }
  if (!file.target.empty() && mayWriteOutput(file.target)) {
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

void abandonSafeOutput(OutputFile& file) {
  file.failed = true;
}

bool commitSafeOutput(OutputFile& file) {
  bool saved = false;
  if (file.handle != kNoFile) {
    const bool complete =
        !file.failed && setFinalPermissions(file.handle, file.target, file.input, file.examined);
    const bool flushed = complete && flushAndClose(file.handle);
    if (!complete) {
      closeNative(file.handle);
    }
    holdInterruptions();
    saved = flushed && moveFile(file.temporary, file.target, file.examined);
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
