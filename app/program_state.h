#ifndef KESTROVANE_APP_PROGRAM_STATE_H
#define KESTROVANE_APP_PROGRAM_STATE_H

#include <cstdint>
#include <string>
#include <vector>

#include "codec/block_digest.h"
#include "codec/output_file.h"

// The longest name a user can type; longer names are cut to this length.
constexpr std::size_t kMaxNameLength = 20;
// The longest typed message; the rest of a longer line is discarded.
constexpr std::size_t kMaxMessageLength = 79;

// All of the program's working data, created once before the menu loop and kept until exit.
// Names are strings rather than fixed arrays: a typed name holds at most kMaxNameLength
// characters, but the output name derived from it may be four characters longer.
struct ProgramState {
  std::int32_t doneFlag = 0;  // the menu loop runs while this is 0
  char answer = 0;            // last menu letter or Y/N answer
  char pauseKey = 'a';        // key typed at a closing "press any key" pause
  char currentChar = 0;       // last character read from a message; About's first pause
  std::string sourceName = "test.txt";
  std::string targetName = "test.enc";
  std::string messageText = "hello there";  // a space, then the typed message
  std::int64_t shownCount = 0;              // characters listed from the input file
  std::int64_t fileLength = 0;              // size of the input file in bytes
  std::int64_t position = 0;                // bytes of the input coded so far, counted from its end
  std::vector<std::uint64_t> listedDigests;  // one a block of the input, taken as it was listed
  DigestKey digestKey;                       // the digests' key, one for the whole run
  KeyState keyState = KeyState::notDrawn;
  InputFile inputFile;
  OutputFile outputFile;
};

#endif  // KESTROVANE_APP_PROGRAM_STATE_H
