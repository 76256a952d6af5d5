#ifndef KESTROVANE_CODEC_BLOCK_DIGEST_H
#define KESTROVANE_CODEC_BLOCK_DIGEST_H

// A keyed digest of a block of the input, taken as the block is listed and again as it is coded:
// the two differ if its bytes changed in between, even where the file's size and times did not
// (a program writing through a page of a mapping that it had already dirtied changes neither
// time). The key is drawn from the system's random source once a run, so that whoever changes a
// file, knowing the program but not the key, cannot choose a change that the digest misses.

#include <cstddef>
#include <cstdint>

// NH's key has a word for each word of a 1 KiB chunk.
constexpr std::size_t kDigestKeyWords = 256;

struct DigestKey {
  std::uint32_t words[kDigestKeyWords] = {};  // NH's key
  std::uint64_t point = 0;                    // where the polynomial is evaluated, below 2^61 - 1
};

// Whether the run's key has been drawn: at its first file operation, and never again.
enum class KeyState { notDrawn, drawn, unavailable };

// Draws a new key from the system's random source. False if the system gave none, and then the
// key must not be used.
bool drawDigestKey(DigestKey& key);

// The digest of data[0..size). Only blocks of the same length are compared: the last chunk is
// padded with zeros, so a length is not part of it.
std::uint64_t digestBlock(const DigestKey& key, const char* data, std::size_t size);

#endif  // KESTROVANE_CODEC_BLOCK_DIGEST_H
