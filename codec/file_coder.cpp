#include "codec/file_coder.h"

#include <algorithm>
#include <filesystem>
#include <string_view>
#include <system_error>
#include <vector>

#include "app/console.h"
#include "codec/code_char.h"
#include "codec/output_file.h"
#include "codec/platform.h"

namespace {

// Large enough that a huge file costs few system calls, small enough that memory stays flat.
constexpr std::int64_t kBlockSize = 64 * 1024;

// Only a regular file is read: a folder or a device counts as a missing file, since a pipe or
// a device such as /dev/zero could block or never end. Bytes are read as they are, so decoding
// restores a file exactly on every platform.
void openInput(std::ifstream& input, const std::string& name) {
  const std::filesystem::path path = typedPath(name);
  std::error_code ec;
  if (!path.empty() && std::filesystem::is_regular_file(path, ec)) {
    input.open(path, std::ios::binary);
  }
}

void closeInput(std::ifstream& input) {
  input.close();
  input.clear();
}

// Shows the whole input under the listing caption and counts its characters.
void listInput(ProgramState& state, std::vector<char>& block) {
  state.shownCount = 0;
  while (state.inputFile.is_open() &&
         (state.inputFile.read(block.data(), kBlockSize) || state.inputFile.gcount() > 0)) {
    print(std::string_view(block.data(), static_cast<std::size_t>(state.inputFile.gcount())));
    state.shownCount += state.inputFile.gcount();
  }
  printLine("");
}

// The coded form starts with the input's last byte, so the input is read from its end
// backwards, a block at a time, and each block is coded in memory: one seek and one read per
// block rather than per byte. A short read (the file shrank meanwhile) fails the output, so an
// incomplete coded form never replaces a file.
void writeCodedForm(ProgramState& state, std::vector<char>& block, std::vector<char>& coded) {
  state.inputFile.clear();
  state.inputFile.seekg(0, std::ios::end);
  state.fileLength = std::max<std::int64_t>(0, state.inputFile.tellg());
  for (state.position = 0; state.position < state.fileLength;) {
    const std::int64_t size = std::min(kBlockSize, state.fileLength - state.position);
    state.position += size;
    state.inputFile.seekg(state.fileLength - state.position);
    if (!state.inputFile.read(block.data(), size)) {
      state.outputFile.failed = true;
      return;
    }
    codeBlock(block.data(), static_cast<std::size_t>(size), coded.data());
    print(std::string_view(coded.data(), static_cast<std::size_t>(size)));
    writeSafeOutput(state.outputFile, coded.data(), static_cast<std::size_t>(size));
  }
}

}  // namespace

void codeFile(ProgramState& state, Direction direction) {
  const bool encoding = direction == Direction::encode;
  std::string& typedName = encoding ? state.sourceName : state.targetName;
  std::string& outName = encoding ? state.targetName : state.sourceName;
  std::vector<char> block(kBlockSize);
  std::vector<char> coded(kBlockSize);

  printLine(encoding ? "Please enter the name of the file you want to encode:"
                     : "Please enter the name of the file you want to decode");
  readName(typedName, kMaxNameLength);
  openInput(state.inputFile, typedName);
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
  writeCodedForm(state, block, coded);
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
