#ifndef KESTROVANE_CODEC_OUTPUT_FILE_H
#define KESTROVANE_CODEC_OUTPUT_FILE_H

#include <fstream>
#include <string>
#include <string_view>

// The name of an output file: the typed name up to the first of `stopChars` (or whole, if it has
// none), then a dot and `extension`. The result is never cut, whatever its length.
std::string outputName(std::string_view typedName, std::string_view stopChars,
                       std::string_view extension);

// A user's file is replaced only by a complete new copy: the output is written to a temporary
// file beside it, which is moved into place once it is whole. A failure midway therefore leaves
// any earlier file of that name exactly as it was.
//
// Opens `file` on a new temporary file in targetName's folder and returns the temporary's
// path, or an empty string if none could be created (writes to `file` then simply fail).
std::string openSafeOutput(std::ofstream& file, const std::string& targetName);

// Closes `file` and, if every write to it succeeded, moves the temporary into place as
// targetName. On any failure the temporary is removed. Returns whether the file was saved.
bool commitSafeOutput(std::ofstream& file, const std::string& tempPath,
                      const std::string& targetName);

#endif  // KESTROVANE_CODEC_OUTPUT_FILE_H
