#include "codec/code_char.h"

#include <array>

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

}  // namespace

char codeChar(char c) {
  return static_cast<char>(kCodeTable[static_cast<unsigned char>(c)]);
}

void codeBlock(const char* in, std::size_t size, char* out) {
  const auto* from = reinterpret_cast<const unsigned char*>(in) + size;
  auto* to = reinterpret_cast<unsigned char*>(out);
  for (std::size_t i = 0; i < size; ++i) {
    to[i] = kCodeTable[*--from];
  }
}

std::string codedForm(std::string_view text) {
  std::string coded(text.size(), '\0');
  codeBlock(text.data(), text.size(), coded.data());
  return coded;
}
