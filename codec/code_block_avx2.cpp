#include "codec/code_block_avx2.h"

#include <immintrin.h>

// Compiled with AVX2 enabled and called only where the processor has it.
//
// Thirty-two bytes a step. The step's bytes are reversed by a shuffle within each 16-byte half
// and a swap of the halves. Every byte the code changes has a high four bits of 3 (digits), 4 or
// 5 (capitals), 6 or 7 (small letters); for each of those five, one shuffle looks the byte's low
// four bits up in that row of the code table, and the result is kept where the high bits match.
std::size_t codeBlockAvx2(const unsigned char* in, std::size_t size, unsigned char* out,
                          const unsigned char* table) {
  const __m256i reverse = _mm256_setr_epi8(15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 15,
                                           14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0);
  const __m256i lowBits = _mm256_set1_epi8(0x0F);
  __m256i rows[5];
  for (int row = 0; row < 5; ++row) {
    rows[row] = _mm256_broadcastsi128_si256(
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(table + (row + 3) * 16)));
  }
  std::size_t done = 0;
  for (; done + 32 <= size; done += 32) {
    __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + size - done - 32));
    bytes = _mm256_shuffle_epi8(bytes, reverse);
    bytes = _mm256_permute2x128_si256(bytes, bytes, 0x01);
    const __m256i low = _mm256_and_si256(bytes, lowBits);
    const __m256i high = _mm256_and_si256(_mm256_srli_epi16(bytes, 4), lowBits);
    __m256i coded = bytes;
    for (int row = 0; row < 5; ++row) {
      const __m256i inRow = _mm256_cmpeq_epi8(high, _mm256_set1_epi8(static_cast<char>(row + 3)));
      coded = _mm256_blendv_epi8(coded, _mm256_shuffle_epi8(rows[row], low), inRow);
    }
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + done), coded);
  }
  return done;
}
