#include "codec/file_coder.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "app/console.h"
#include "app/terminal_filter.h"
#include "codec/block_digest.h"
#include "codec/code_char.h"
#include "codec/output_file.h"
#include "codec/output_name.h"
#include "codec/tuning.h"
#include "platform/input_file.h"
#include "platform/name_rules.h"

namespace {

// The two directions differ only in these texts and in where their names go. They stand here
// side by side, one record a direction, rather than at the lines that print them: one procedure
// prints both.
struct DirectionTexts {
  const char* namePrompt;
  const char* extension;
  const char* question;
  const char* caption;
  const char* saved;
  const char* notSaved;
  const char* closingPrompt;
};

constexpr DirectionTexts kEncoding = {
    "Please enter the name of the file you want to encode:",
    "enc",
    "Do you want to encode this file? Y/N",
    "   Encoded Output:",
    "\nYour encoded file has been saved as: ",
    "\nYour encoded file could not be saved as: ",
    "\n\nPress any Key and then Enter to return to main menu",
};

constexpr DirectionTexts kDecoding = {
    "Please enter the name of the file you want to decode",
    "txt",
    "Do you want to decode this file? Y/N",
    "  Decoded output :",
    "\nYour decoded file has been saved as: ",
    "\nYour decoded file could not be saved as: ",
    "\n\nPress any Key and then Enter to exit",
};

// Shows the whole input under the listing caption, counts its characters, and keeps a digest of
// each block of what it showed. The blocks are counted from the file's start, as the coding reads
// them, whatever lengths the reads return.
void listInput(ProgramState& state, std::vector<char>& block) {
  state.shownCount = 0;
  state.listedDigests.clear();
  std::size_t filled = 0;
  while (const std::size_t got =
             readInput(state.inputFile, block.data() + filled, block.size() - filled)) {
    printFileText(std::string_view(block.data() + filled, got));
    state.shownCount += static_cast<std::int64_t>(got);
    filled += got;
    if (filled == block.size()) {
      state.listedDigests.push_back(digestBlock(state.digestKey, block.data(), filled));
      filled = 0;
    }
  }
  if (filled > 0) {
    state.listedDigests.push_back(digestBlock(state.digestKey, block.data(), filled));
  }
  endShown();
  printLine("");
}

// Whether the input is still exactly what the listing showed: a file that could not be read, or
// that changed since it was opened (written to, grown, cut, or overwritten in place), would be
// saved as something the user never saw. Where it is not, the input's failure says why.
bool stillAsListed(ProgramState& state) {
  InputFile& input = state.inputFile;
  if (input.failure || !inputUnchanged(input)) {
    return false;
  }
  if (state.shownCount != input.size) {
    noteRefusal(input.failure, kChangedAfterListing);
    return false;
  }
  return true;
}

// Gives up the save for what went wrong with the input, whose name is the one typed.
void abandonForInput(ProgramState& state, const std::string& typedName) {
  abandonSafeOutput(state.outputFile, state.inputFile.failure, typedName);
}

// Creates the new copy, unless the save is refused before it begins, its reason kept: for want
// of a key for the digests, as a fixed key would let whoever knows the program choose a change
// that they miss, or for an input whose size or times are no longer what its listing saw.
bool startSave(ProgramState& state, const std::string& outName, const std::string& typedName) {
  if (state.keyState != KeyState::drawn) {
    noteRefusal(state.inputFile.failure, kNoDigestKey);
  }
  if (!stillAsListed(state)) {
    state.outputFile = OutputFile();  // no copy is started, and none from before is told of
    abandonForInput(state, typedName);
    return false;
  }
  openSafeOutput(state.outputFile, outName, typedName, state.inputFile);
  return true;
}

// The coded form starts with the input's last byte, so the input is coded from its end
// backwards, a block at a time: a few system calls per block rather than one per byte. The
// blocks are the listing's, the partial one at the end first, and each is coded only if its
// digest is the one the listing took. A block that cannot be read whole or that differs, or a
// file that changed while it was read, abandons the output, so only the coded form of what was
// listed ever replaces a file.
void writeCodedForm(ProgramState& state, const std::string& typedName, std::vector<char>& block) {
  std::vector<char> coded(block.size());
  state.fileLength = state.shownCount;
  state.position = 0;
  for (auto index = static_cast<std::int64_t>(state.listedDigests.size()); index-- > 0;) {
    const std::int64_t start = index * kBlockSize;
    const auto size = static_cast<std::size_t>(std::min(kBlockSize, state.fileLength - start));
    if (readInputAt(state.inputFile, start, block.data(), size) != size) {
      noteRefusal(state.inputFile.failure, kChangedAfterListing);
      abandonForInput(state, typedName);
      break;
    }
    if (digestBlock(state.digestKey, block.data(), size) !=
        state.listedDigests[static_cast<std::size_t>(index)]) {
      noteRefusal(state.inputFile.failure, kChangedAfterListing);
      abandonForInput(state, typedName);
      break;
    }
    codeBlock(block.data(), size, coded.data());
    printFileText(std::string_view(coded.data(), size));
    writeSafeOutput(state.outputFile, coded.data(), size);
    state.position = state.fileLength - start;
  }
  endShown();
  if (!stillAsListed(state)) {
    abandonForInput(state, typedName);
  }
}

}  // namespace

void codeFile(ProgramState& state, Direction direction) {
  const bool encoding = direction == Direction::encode;
  const DirectionTexts& texts = encoding ? kEncoding : kDecoding;
  std::string& typedName = encoding ? state.sourceName : state.targetName;
  std::string& outName = encoding ? state.targetName : state.sourceName;
  std::vector<char> block(kBlockSize);

  printLine(texts.namePrompt);
  readName(typedName, kMaxNameLength);
  // Bytes are read as they are, so decoding restores a file exactly on every platform.
  // A name that names no file lists as empty; the output's own name then says why it is not saved.
  Failure unnamed;
  openInput(state.inputFile, typedPath(typedName, unnamed));
  outName = outputName(typedName, ".", texts.extension);

  // One key for the whole run, drawn at its first file operation. Without one the save is refused,
  // so digests taken with none are never compared.
  if (state.keyState == KeyState::notDrawn) {
    state.keyState = drawDigestKey(state.digestKey) ? KeyState::drawn : KeyState::unavailable;
  }
  printLine("The file currently contains:");
  listInput(state, block);

  printLine(texts.question);
  readAnswer(state.answer);
  if (!isYes(state.answer)) {
    state.doneFlag = 0;
    closeInput(state.inputFile);
    return;
  }
  if (state.shownCount == 0) {
    printLine("This File doesn't appear to contain anything! Are SURE you want to continue Y/n");
    readAnswer(state.answer);
    if (!isYes(state.answer)) {
      closeInput(state.inputFile);
      return;
    }
  }

  // A refused save creates nothing and shows nothing coded: the earlier output stays as it was.
  const bool started = startSave(state, outName, typedName);
  printLine(texts.caption);
  if (started) {
    writeCodedForm(state, typedName, block);
  }
  if (encoding) {
    state.doneFlag = 0;
  }
  // The input is closed before the output replaces it: it may be the same file.
  closeInput(state.inputFile);
  const bool saved = commitSafeOutput(state.outputFile);
  print(saved ? texts.saved : texts.notSaved);
  printShown(outName);
  endShown();
  if (!saved) {
    printRefusal(state.outputFile.blamed, failureReason(state.outputFile.failure));
  }
  printLine(texts.closingPrompt);
  readAnswer(state.pauseKey);
}
