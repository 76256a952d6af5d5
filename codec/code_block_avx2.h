#ifndef KESTROVANE_CODEC_CODE_BLOCK_AVX2_H
#define KESTROVANE_CODEC_CODE_BLOCK_AVX2_H

#include <cstddef>

// Codes the first multiple of 32 bytes of the output, as codeBlock does, with `table` the 256
// coded bytes; returns how many bytes it coded. Call it only where the processor has AVX2.
std::size_t codeBlockAvx2(const unsigned char* in, std::size_t size, unsigned char* out,
                          const unsigned char* table);

#endif  // KESTROVANE_CODEC_CODE_BLOCK_AVX2_H
