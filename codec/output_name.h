#ifndef KESTROVANE_CODEC_OUTPUT_NAME_H
#define KESTROVANE_CODEC_OUTPUT_NAME_H

#include <string>
#include <string_view>

// The name of an output file, beside its input: the typed name's folders as typed, the file's own
// name as the system reads it, up to the first of `stopChars` in it (or whole, if it has none),
// then a dot and `extension`. The result is never cut, whatever its length.
std::string outputName(std::string_view typedName, std::string_view stopChars,
                       std::string_view extension);

#endif  // KESTROVANE_CODEC_OUTPUT_NAME_H
