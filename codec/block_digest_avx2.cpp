#include "codec/block_digest_avx2.h"

#include <immintrin.h>

// Compiled with AVX2 enabled and called only where the processor has it.
//
// Eight words a step, a pair in each 64-bit lane: the words and the key's are added as 32-bit
// numbers, and one multiplication of each lane's low half by its high half, shifted down, gives
// the four products. x86 is little-endian, so the words are loaded as they lie.
std::uint64_t nhAvx2(const std::uint32_t* key, const unsigned char* chunk) {
  __m256i sum = _mm256_setzero_si256();
  for (int i = 0; i < 256; i += 8) {
    const __m256i words =
        _mm256_add_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(chunk + 4 * i)),
                         _mm256_loadu_si256(reinterpret_cast<const __m256i*>(key + i)));
    sum = _mm256_add_epi64(sum, _mm256_mul_epu32(words, _mm256_srli_epi64(words, 32)));
  }
  const __m128i half = _mm_add_epi64(_mm256_castsi256_si128(sum), _mm256_extracti128_si256(sum, 1));
  return static_cast<std::uint64_t>(_mm_cvtsi128_si64(half)) +
         static_cast<std::uint64_t>(_mm_extract_epi64(half, 1));
}
