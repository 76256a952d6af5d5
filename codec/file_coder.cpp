#include "codec/file_coder.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "app/console.h"
#include "app/terminal_filter.h"
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

// Shows the whole input under the listing caption and counts its characters.
void listInput(ProgramState& state, std::vector<char>& block) {
  state.shownCount = 0;
  while (const std::size_t got = readInput(state.inputFile, block.data(), block.size())) {
    printShown(std::string_view(block.data(), got));
    state.shownCount += static_cast<std::int64_t>(got);
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
    noteRefusal(input.failure, "list", kChangedAfterListing);
    return false;
  }
  return true;
}

// Gives up the save for what went wrong with the input, whose name is the one typed.
void abandonForInput(ProgramState& state, const std::string& typedName) {
  abandonSafeOutput(state.outputFile, state.inputFile.failure, typedName);
}

// The coded form starts with the input's last byte, so the input is coded from its end
// backwards, a block at a time: a few system calls per block rather than one per byte. Any
// block that cannot be read whole, or a file that changed while it was read, abandons the
// output, so only the coded form of what was listed ever replaces a file.
void writeCodedForm(ProgramState& state, const std::string& typedName, std::vector<char>& block) {
  std::vector<char> coded(block.size());
  state.fileLength = state.shownCount;
  for (state.position = 0; state.position < state.fileLength;) {
    const auto size =
        static_cast<std::size_t>(std::min(kBlockSize, state.fileLength - state.position));
    state.position += static_cast<std::int64_t>(size);
    if (readInputAt(state.inputFile, state.fileLength - state.position, block.data(), size) !=
        size) {
      noteRefusal(state.inputFile.failure, "read", kChangedAfterListing);
      abandonForInput(state, typedName);
      break;
    }
    codeBlock(block.data(), size, coded.data());
    printShown(std::string_view(coded.data(), size));
    writeSafeOutput(state.outputFile, coded.data(), size);
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
  openInput(state.inputFile, typedPath(typedName));
  outName = outputName(typedName, ".", texts.extension);

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

  // A file that changed while the user read it creates nothing and shows nothing coded: the
  // earlier output stays as it was.
  const bool asListed = stillAsListed(state);
  if (asListed) {
    openSafeOutput(state.outputFile, outName, typedName, state.inputFile);
  } else {
    state.outputFile = OutputFile();  // no copy is started, and none from before is told of
    abandonForInput(state, typedName);
  }
  printLine(texts.caption);
  if (asListed) {
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
