#ifndef KESTROVANE_CODEC_VECTOR_LOOPS_H
#define KESTROVANE_CODEC_VECTOR_LOOPS_H

// Whether the coding and the digest run their vector (AVX2) loops: where the build has them and
// the processor can run them, unless the plain loops were asked for. Both kinds give the same
// bytes; the tests try each on every machine. The processor is asked once: the Windows build,
// among others, must run on any x86-64.
bool vectorLoopsRun();
// Asks for the plain loops alone, or (false) for the vector ones wherever they can run.
void usePlainLoops(bool plain);

#endif  // KESTROVANE_CODEC_VECTOR_LOOPS_H
