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
#include "platform/names.h"

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
    printShown(std::string_view(block.data() + filled, got));
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
// saved as something the user never saw.
bool stillAsListed(const ProgramState& state) {
  return !state.inputFile.unreadable && inputUnchanged(state.inputFile) &&
         state.shownCount == state.inputFile.size;
}

// A block's bytes are no longer those the listing showed, though the file's size and times may
// be: the save is refused, and nothing more of its coded form is shown.
void abandonChangedInput(ProgramState& state) {
  abandonSafeOutput(state.outputFile);
}

// The system gave no random bytes for the digests' key: the save is refused. A fixed key would
// let whoever knows the program choose a change that the digests miss.
void abandonWithoutKey(ProgramState& state) {
  abandonSafeOutput(state.outputFile);
}

// Creates the new copy, unless the save is refused before it begins: for want of a key, or for
// an input whose size or times are no longer what its listing saw, the cheap first look.
bool startSave(ProgramState& state, const std::string& outName, std::string_view typedName) {
  if (state.keyState != KeyState::drawn) {
    abandonWithoutKey(state);
    return false;
  }
  if (!stillAsListed(state)) {
    abandonSafeOutput(state.outputFile);
    return false;
  }
  openSafeOutput(state.outputFile, outName, typedName, state.inputFile.access);
  return true;
}

// The coded form starts with the input's last byte, so the input is coded from its end
// backwards, a block at a time: a few system calls per block rather than one per byte. The
// blocks are the listing's, the partial one at the end first, and each is coded only if its
// digest is the one the listing took. A block that cannot be read whole or that differs, or a
// file that changed while it was read, abandons the output, so only the coded form of what was
// listed ever replaces a file.
void writeCodedForm(ProgramState& state, std::vector<char>& block) {
  std::vector<char> coded(block.size());
  state.fileLength = state.shownCount;
  state.position = 0;
  for (auto index = static_cast<std::int64_t>(state.listedDigests.size()); index-- > 0;) {
    const std::int64_t start = index * kBlockSize;
    const auto size = static_cast<std::size_t>(std::min(kBlockSize, state.fileLength - start));
    if (readInputAt(state.inputFile, start, block.data(), size) != size) {
      abandonSafeOutput(state.outputFile);
      break;
    }
    if (digestBlock(state.digestKey, block.data(), size) !=
        state.listedDigests[static_cast<std::size_t>(index)]) {
      abandonChangedInput(state);
      break;
    }
    codeBlock(block.data(), size, coded.data());
    printShown(std::string_view(coded.data(), size));
    writeSafeOutput(state.outputFile, coded.data(), size);
    state.position = state.fileLength - start;
  }
  endShown();
  if (!stillAsListed(state)) {
    abandonSafeOutput(state.outputFile);
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
  openInput(state.inputFile, typedPath(typedName));
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
    writeCodedForm(state, block);
  }
  if (encoding) {
    state.doneFlag = 0;
  }
  // The input is closed before the output replaces it: it may be the same file.
  closeInput(state.inputFile);
  print(commitSafeOutput(state.outputFile) ? texts.saved : texts.notSaved);
  printShown(outName);
  endShown();
  printLine(texts.closingPrompt);
  readAnswer(state.pauseKey);
}
