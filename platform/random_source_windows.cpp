// Random bytes from the system's preferred generator.

#include <windows.h>
// After windows.h, which defines what bcrypt.h builds on.
#include <bcrypt.h>

#include "platform/random_source.h"

bool drawRandomBytes(void* into, std::size_t size) {
  auto* bytes = static_cast<unsigned char*>(into);
  while (size > 0) {
    const ULONG chunk = size < (1u << 30) ? static_cast<ULONG>(size) : (1u << 30);
    if (!BCRYPT_SUCCESS(BCryptGenRandom(nullptr, bytes, chunk, BCRYPT_USE_SYSTEM_PREFERRED_RNG))) {
      return false;
    }
    bytes += chunk;
    size -= chunk;
  }
  return true;
}
