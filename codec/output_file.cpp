#include "codec/output_file.h"

#include <chrono>
#include <random>

#include "codec/tuning.h"
#include "platform/interruptions.h"
#include "platform/name_rules.h"
#include "platform/names.h"
#include "platform/permissions.h"
#include "platform/random_source.h"

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
  // A name need only differ from those there, which the exclusive creation checks: without
  // random bytes from the system, the clock will do. (std::random_device would end the program
  // where the system has none.)
  std::uint64_t seed = 0;
  if (!drawRandomBytes(&seed, sizeof seed)) {
    seed = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  }
  std::mt19937_64 random(seed);
  bool nameTaken = true;
  Failure tried;  // the last attempt's: where every name was taken, that one
  for (int attempt = 0; attempt < 10 && nameTaken; ++attempt) {
    file.temporary = ".";
    file.temporary += file.target.native().substr(0, kMostNameLength);
    file.temporary += kTemporaryMark + std::to_string(random() % 1000000000) + ".tmp";
    holdInterruptions();
    tried = Failure();
    file.handle = createTemporary(file.folder, file.temporary, nameTaken, tried);
    if (file.handle != kNoFile && !guardTemporary(file.folder, file.temporary)) {
      closeNative(file.handle);
      removeFile(file.folder, file.temporary);
      file.handle = kNoFile;
      noteRefusal(file.failure, kPathTooLong);
    }
    releaseInterruptions();
  }
  if (file.handle == kNoFile) {
    noteFailure(file.failure, tried);
  }
}

}  // namespace

void openSafeOutput(OutputFile& file, const std::string& name, std::string_view typedName,
                    const InputFile& input) {
  closeFolder(file.folder);
  file = OutputFile();
  file.input = input.access;
  file.blamed = name;
  if (typedName.find('\0') != std::string_view::npos) {
    file.blamed = typedName;
    noteRefusal(file.failure, kNulInName);
    return;
  }
  const fs::path typed = typedPath(name, file.failure);
  if (typed.empty()) {
    return;
  }
  // The folder that was listed is the folder written, whatever its name leads to by now; one
  // that was not there then is not looked for again.
  if (input.folderMissing) {
    file.failure = input.folderMissing;
    return;
  }
  Folder found;
  if (input.folder.path.empty()) {
    found = findFolderOf(typed, file.failure);
  }
  const Folder& folder = input.folder.path.empty() ? found : input.folder;
  if (!folder.path.empty()) {
    file.target = followLinks(folder, typed, file.folder, file.failure);
  }
  closeFolder(found);
  if (!file.target.empty() && mayWriteOutput(file.folder.path / file.target, file.failure)) {
    createTemporaryFor(file);
  }
}

void writeSafeOutput(OutputFile& file, const char* data, std::size_t size) {
  if (file.failure) {
    return;
  }
  if (!writeNative(file.handle, data, size, file.failure)) {
    return;
  }
  const std::int64_t before = file.written;
  file.written += static_cast<std::int64_t>(size);
  const std::int64_t step = before / kWriteOutStep * kWriteOutStep;
  if (file.written - step >= kWriteOutStep) {
    startWriteOut(file.handle, step, kWriteOutStep, file.failure);
  }
}

void abandonSafeOutput(OutputFile& file, const Failure& inputFailure, std::string_view inputName) {
  if (!file.failure) {
    file.blamed = inputName;
  }
  noteFailure(file.failure, inputFailure);
  // Never a save that was given up: an input that went wrong without a word still refuses it.
  noteRefusal(file.failure, kChangedAfterListing);
}

bool commitSafeOutput(OutputFile& file) {
  bool saved = false;
  if (file.handle != kNoFile) {
    const bool complete =
        !file.failure && setFinalPermissions(file.handle, file.folder, file.target, file.input,
                                             file.examined, file.failure);
    const bool flushed = complete && flushAndClose(file.handle, file.failure);
    if (!complete) {
      closeNative(file.handle);
    }
    holdInterruptions();
    saved =
        flushed && moveFile(file.folder, file.temporary, file.target, file.examined, file.failure);
    if (!saved) {
      removeFile(file.folder, file.temporary);
    }
    unguardTemporary();
    releaseInterruptions();
    // The move has happened either way, so a folder that cannot be flushed does not undo it.
    if (saved) {
      flushFolder(file.folder);
    }
  }
  closeFolder(file.folder);
  file.handle = kNoFile;
  return saved;
}
