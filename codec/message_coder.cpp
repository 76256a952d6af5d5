#include "codec/message_coder.h"

#include <string_view>

#include "app/console.h"
#include "app/terminal_filter.h"
#include "codec/code_char.h"
#include "codec/output_file.h"
#include "codec/output_name.h"

namespace {

// Stores the line after a leading space. Past the longest message the rest of the line is
// dropped: left in the input, it would answer the next question and reach the menu as letters.
void readMessage(ProgramState& state) {
  state.messageText = " ";
  while (state.messageText.size() <= kMaxMessageLength) {
    if (!readMessageChar(state.currentChar) || state.currentChar == '\n') {
      return;
    }
    state.messageText.push_back(state.currentChar);
  }
  discardRestOfLine();
}

}  // namespace

void codeMessage(ProgramState& state) {
  printLine("Please enter a name for the message you want to encode (no spaces):");
  readName(state.sourceName, kMaxNameLength);
  printLine("Please enter your message");
  readMessage(state);
  print("the message you just typed was:\n");
  printShown(state.messageText);
  endShown();
  printLine("");
  state.targetName = outputName(state.sourceName, " .", "enc");

  printLine("Do you want to encode this Message? Y/N");
  readAnswer(state.answer);
  if (!isYes(state.answer)) {
    return;
  }

  printLine("   Encoded Output:");
  openSafeOutput(state.outputFile, state.targetName, state.sourceName, InputFile());
  const std::string coded = codedForm(std::string_view(state.messageText).substr(1));
  printShown(coded);
  endShown();
  writeSafeOutput(state.outputFile, coded.data(), coded.size());
  const bool saved = commitSafeOutput(state.outputFile);
  print(saved ? "\nYour encoded file has been saved as: "
              : "\nYour encoded file could not be saved as: ");
  printShown(state.targetName);
  endShown();
  if (!saved) {
    printRefusal(state.outputFile.blamed, failureReason(state.outputFile.failure));
  }
  printLine("\n\nPress any Key and then Enter to return to the menu");
  readAnswer(state.pauseKey);
}
