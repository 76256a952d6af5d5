#ifndef KESTROVANE_PLATFORM_RANDOM_SOURCE_H
#define KESTROVANE_PLATFORM_RANDOM_SOURCE_H

// Random bytes from the operating system's own source, fit for keys that nobody may guess:
// getrandom on Linux (or /dev/urandom where the kernel lacks it), arc4random_buf on macOS and
// the BSDs, BCryptGenRandom on Windows.

#include <cstddef>

// Fills `into` with `size` random bytes. False if the system gave none, or fewer: the bytes are
// then not to be used.
bool drawRandomBytes(void* into, std::size_t size);

#endif  // KESTROVANE_PLATFORM_RANDOM_SOURCE_H
