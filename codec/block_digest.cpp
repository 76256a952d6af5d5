#include "codec/block_digest.h"

#include <cstring>

#include "codec/vector_loops.h"
#include "platform/random_source.h"

#ifdef KESTROVANE_HAVE_AVX2
#include "codec/block_digest_avx2.h"
#endif

// The digest is UMAC's hash without its final encryption (Black, Halevi, Krawczyk, Krovetz and
// Rogaway, 1999). NH hashes each 1 KiB chunk of 32-bit little-endian words m to 64 bits: the sum
// of (m[2i] + k[2i]) * (m[2i+1] + k[2i+1]), each factor mod 2^32, the sum mod 2^64. The chunks'
// hashes, each as two 32-bit halves, are then the coefficients of a polynomial evaluated at a
// random point modulo the prime p = 2^61 - 1.
//
// Two different blocks of the same length, chosen without the key, collide with probability
// below 2^-32 + 2^-52. If they differ in some chunk, NH gives that chunk's two versions the same
// value with probability at most 2^-32 (NH is 2^-32-almost-universal on inputs of equal length).
// Otherwise the two sequences of halves differ; each half is below p, so they are different
// polynomials of degree at most 511 (256 chunks to a block), which agree at a random point with
// probability at most 511 / p. Whole 64-bit words as coefficients would break this: w and w + p
// are the same number mod p, whatever the key.

namespace {

constexpr std::uint64_t kPrime = (std::uint64_t{1} << 61) - 1;
constexpr std::size_t kChunkSize = 4 * kDigestKeyWords;

std::uint32_t wordAt(const unsigned char* at) {
  return static_cast<std::uint32_t>(at[0]) | static_cast<std::uint32_t>(at[1]) << 8 |
         static_cast<std::uint32_t>(at[2]) << 16 | static_cast<std::uint32_t>(at[3]) << 24;
}

std::uint64_t nh(const std::uint32_t* key, const unsigned char* chunk, bool vector) {
#ifdef KESTROVANE_HAVE_AVX2
  // Twice as fast as the loop below, which the compiler makes into a vector loop of its own
  // that must first part the even words from the odd.
  if (vector) {
    return nhAvx2(key, chunk);
  }
#else
  (void)vector;
#endif
  std::uint64_t sum = 0;
  for (std::size_t i = 0; i < kDigestKeyWords; i += 2) {
    const std::uint32_t even = wordAt(chunk + 4 * i) + key[i];
    const std::uint32_t odd = wordAt(chunk + 4 * i + 4) + key[i + 1];
    sum += std::uint64_t{even} * odd;
  }
  return sum;
}

// x mod p: as 2^61 is 1 mod p, the bits from the 61st up add to the rest.
std::uint64_t reduce(std::uint64_t x) {
  x = (x & kPrime) + (x >> 61);
  return x >= kPrime ? x - kPrime : x;
}

// a * b mod p, for a and b below p, from 32-bit halves: 32-bit ARM has no wider product. With
// a * b = high 2^64 + middle 2^32 + low, 2^64 is 8 mod p, and middle 2^32 is its bits from the
// 29th up, plus its lower 29 bits times 2^32. The sum stays below 2^63.
std::uint64_t multiplyMod(std::uint64_t a, std::uint64_t b) {
  const std::uint64_t a0 = a & 0xffffffff;
  const std::uint64_t b0 = b & 0xffffffff;
  const std::uint64_t high = (a >> 32) * (b >> 32);
  const std::uint64_t middle = (a >> 32) * b0 + a0 * (b >> 32);
  const std::uint64_t low = a0 * b0;
  return reduce((high << 3) + (middle >> 29) + ((middle & 0x1fffffff) << 32) + (low & kPrime) +
                (low >> 61));
}

// Horner's step: the polynomial so far, times the point, plus the next coefficient.
std::uint64_t addCoefficient(std::uint64_t hash, std::uint64_t point, std::uint32_t coefficient) {
  return reduce(multiplyMod(hash, point) + coefficient);
}

std::uint64_t addChunk(const DigestKey& key, std::uint64_t hash, const unsigned char* chunk,
                       bool vector) {
  const std::uint64_t value = nh(key.words, chunk, vector);
  hash = addCoefficient(hash, key.point, static_cast<std::uint32_t>(value >> 32));
  return addCoefficient(hash, key.point, static_cast<std::uint32_t>(value));
}

}  // namespace

bool drawDigestKey(DigestKey& key) {
  std::uint64_t point = 0;
  if (!drawRandomBytes(key.words, sizeof key.words) || !drawRandomBytes(&point, sizeof point)) {
    return false;
  }
  key.point = reduce(point);
  return true;
}

std::uint64_t digestBlock(const DigestKey& key, const char* data, std::size_t size) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(data);
  const bool vector = vectorLoopsRun();
  std::uint64_t hash = 0;
  std::size_t done = 0;
  for (; size - done >= kChunkSize; done += kChunkSize) {
    hash = addChunk(key, hash, bytes + done, vector);
  }
  if (done < size) {
    unsigned char last[kChunkSize] = {};
    std::memcpy(last, bytes + done, size - done);
    hash = addChunk(key, hash, last, vector);
  }
  return hash;
}
