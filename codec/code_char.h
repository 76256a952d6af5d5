#ifndef KESTROVANE_CODEC_CODE_CHAR_H
#define KESTROVANE_CODEC_CODE_CHAR_H

#include <cstddef>
#include <string>
#include <string_view>

// The code swaps each of the vowels a e i o u A E I O U with one of the digits 1 2 3 4 5 6 7 8
// 9 0 and leaves every other byte as it is. The swap is its own inverse, so it both encodes and
// decodes.
char codeChar(char c);

// Writes the coded form of in[0..size) to out[0..size): the bytes last first, each through
// codeChar. `in` and `out` must not overlap.
void codeBlock(const char* in, std::size_t size, char* out);

// The coded form of a whole text. Coding the coded form gives the text back.
std::string codedForm(std::string_view text);

#endif  // KESTROVANE_CODEC_CODE_CHAR_H
