#ifndef KESTROVANE_CODEC_OUTPUT_FILE_H
#define KESTROVANE_CODEC_OUTPUT_FILE_H

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "platform/failure.h"
#include "platform/input_file.h"
#include "platform/native_file.h"

// A user's file is replaced only by a complete new copy: the output is written to a private
// temporary file beside it, flushed to the disk, and moved into place once it is whole. A
// failure or an interruption midway therefore leaves any earlier file of that name exactly as it
// was, and no temporary behind.
struct OutputFile {
  NativeFile handle = kNoFile;
  Folder folder;                    // the folder the target lies in, held while the copy is made
  std::filesystem::path temporary;  // the new copy's name there while it is written
  std::filesystem::path target;     // the name there of the file it replaces, links followed
  InputAccess input;                // who may read the input: no more here
  ExaminedTarget examined;          // what the target was when examined
  std::int64_t written = 0;         // bytes written to the new copy
  // The first thing that went wrong, and the name of the file to blame for it, as the user typed
  // it or as the save derived it: the output's own, or the input's where the input failed.
  Failure failure;
  std::string blamed;
};

// Starts a new copy of the file named `name`, derived from `typedName` as the user typed it, in
// the folder where `input` was found, to be no more open than `input` may be read (InputFile()
// where there is none: a message). The folder is the one held when the input was opened, since
// `name` has the same folders; without one (a message, or folders that were not there), it is
// found now. If no copy can be created, the failure is kept and later writes do nothing. A typed
// name holding a NUL byte creates nothing: the system would read it only up to the NUL, which may
// leave another file's name, even where `name` holds none.
void openSafeOutput(OutputFile& file, const std::string& name, std::string_view typedName,
                    const InputFile& input);
void writeSafeOutput(OutputFile& file, const char* data, std::size_t size);
// Gives up the new copy for what went wrong with the input named `inputName`, whether or not the
// copy was started: later writes do nothing, and the commit removes it and reports the file not
// saved. An earlier failure of the output itself stays the one to tell.
void abandonSafeOutput(OutputFile& file, const Failure& inputFailure, std::string_view inputName);
// Moves the new copy into place if nothing failed, else removes it. Returns whether the file was
// saved, and leaves `file` ready for the next output; its failure and the name to blame stay
// until that output starts, for the user to be told.
bool commitSafeOutput(OutputFile& file);

#endif  // KESTROVANE_CODEC_OUTPUT_FILE_H
