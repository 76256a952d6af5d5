#ifndef KESTROVANE_CODEC_TUNING_H
#define KESTROVANE_CODEC_TUNING_H

#include <cstdint>

// How big the steps through a large file are. Both were measured on 10 MiB to 2.5 GB files;
// bench/README.md says what else was tried.

// The input is listed and coded this much at a time: large enough that a huge file costs few
// system calls, small enough that memory stays flat whatever the file's size. The listing keeps
// an 8-byte digest of each block, against which the coding checks it.
constexpr std::int64_t kBlockSize = 256 * 1024;

// The output is handed to the disk every this many bytes: enough that each request is worth its
// call, little enough that the final flush and the rename have almost nothing left to wait for.
constexpr std::int64_t kWriteOutStep = 4 * 1024 * 1024;

#endif  // KESTROVANE_CODEC_TUNING_H
