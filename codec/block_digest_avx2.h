#ifndef KESTROVANE_CODEC_BLOCK_DIGEST_AVX2_H
#define KESTROVANE_CODEC_BLOCK_DIGEST_AVX2_H

#include <cstdint>

// NH of one 1 KiB chunk with `key` its 256 words, as block_digest.cpp defines it. Call it only
// where the processor has AVX2.
std::uint64_t nhAvx2(const std::uint32_t* key, const unsigned char* chunk);

#endif  // KESTROVANE_CODEC_BLOCK_DIGEST_AVX2_H
