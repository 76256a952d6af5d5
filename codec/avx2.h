#ifndef KESTROVANE_CODEC_AVX2_H
#define KESTROVANE_CODEC_AVX2_H

// Whether the processor has AVX2, for the vector loops built where it may. Checked once at run
// time: the Windows build, among others, must run on any x86-64.
inline bool processorHasAvx2() {
  static const bool has = __builtin_cpu_supports("avx2");
  return has;
}

#endif  // KESTROVANE_CODEC_AVX2_H
