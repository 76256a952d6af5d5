#include "codec/file_coder.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "app/console.h"
#include "codec/code_char.h"
#include "codec/output_file.h"
#include "codec/platform.h"
#include "codec/tuning.h"

namespace {

// Shows the whole input under the listing caption and counts its characters.
void listInput(ProgramState& state, std::vector<char>& block) {
  state.shownCount = 0;
  while (const std::size_t got = readInput(state.inputFile, block.data(), block.size())) {
    print(std::string_view(block.data(), got));
    state.shownCount += static_cast<std::int64_t>(got);
  }
  printLine("");
}

// The coded form starts with the input's last byte, so the input is coded from its end
// backwards, a block at a time: a few system calls per block rather than one per byte. A block
// the file no longer holds (it shrank meanwhile) fails the output, so an incomplete coded form
// never replaces a file.
void writeCodedForm(ProgramState& state, std::vector<char>& block) {
  std::vector<char> coded(block.size());
  state.fileLength = inputSize(state.inputFile);
  // A size that cannot be read, or less than the listing showed (a file of /proc says 0), would
  // make an empty or cut copy of a file that had text.
  if (state.fileLength < state.shownCount) {
    state.outputFile.failed = true;
    return;
  }
  for (state.position = 0; state.position < state.fileLength;) {
    const auto size =
        static_cast<std::size_t>(std::min(kBlockSize, state.fileLength - state.position));
    state.position += static_cast<std::int64_t>(size);
    if (readInputAt(state.inputFile, state.fileLength - state.position, block.data(), size) !=
        size) {
      state.outputFile.failed = true;
      return;
    }
    codeBlock(block.data(), size, coded.data());
    print(std::string_view(coded.data(), size));
    writeSafeOutput(state.outputFile, coded.data(), size);
  }
}

}  // namespace

void codeFile(ProgramState& state, Direction direction) {
  const bool encoding = direction == Direction::encode;
  std::string& typedName = encoding ? state.sourceName : state.targetName;
  std::string& outName = encoding ? state.targetName : state.sourceName;
  std::vector<char> block(kBlockSize);

  printLine(encoding ? "Please enter the name of the file you want to encode:"
                     : "Please enter the name of the file you want to decode");
  readName(typedName, kMaxNameLength);
  // Bytes are read as they are, so decoding restores a file exactly on every platform.
  openInput(state.inputFile, typedPath(typedName));
  outName = outputName(typedName, ".", encoding ? "enc" : "txt");

  printLine("The file currently contains:");
  listInput(state, block);

  printLine(encoding ? "Do you want to encode this file? Y/N"
                     : "Do you want to decode this file? Y/N");
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

  openSafeOutput(state.outputFile, outName);
  printLine(encoding ? "   Encoded Output:" : "  Decoded output :");
  writeCodedForm(state, block);
  if (encoding) {
    state.doneFlag = 0;
  }
  // The input is closed before the output replaces it: it may be the same file.
  closeInput(state.inputFile);
  const bool saved = commitSafeOutput(state.outputFile);
  if (encoding) {
    print(saved ? "\nYour encoded file has been saved as: "
                : "\nYour encoded file could not be saved as: ");
  } else {
    print(saved ? "\nYour decoded file has been saved as: "
                : "\nYour decoded file could not be saved as: ");
  }
  print(outName);
  printLine(encoding ? "\n\nPress any Key and then Enter to return to main menu"
                     : "\n\nPress any Key and then Enter to exit");
  readAnswer(state.pauseKey);
}
