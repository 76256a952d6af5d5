// Random bytes from the kernel's generator.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/posix_internal.h"
#include "platform/random_source.h"

#if defined(__linux__)
#include <sys/random.h>
#elif defined(__APPLE__) || defined(__FreeBSD__) || defined(__NetBSD__) || defined(__OpenBSD__)
#include <stdlib.h>
#define KESTROVANE_HAVE_ARC4RANDOM
#endif

namespace {

// Reads all of `size` bytes from the kernel's generator as a device. Only a character device is
// trusted: in a chroot or a container, /dev/urandom may be an ordinary file someone wrote.
[[maybe_unused]] bool readUrandom(unsigned char* into, std::size_t size) {
  const int fd = retryOnInterrupt([] { return open("/dev/urandom", O_RDONLY | O_CLOEXEC); });
  struct stat status;
  Failure failure;
  const bool whole = fd >= 0 && fstat(fd, &status) == 0 && S_ISCHR(status.st_mode) &&
                     moveAll(size, failure, [&](std::size_t done) {
                       return read(fd, into + done, size - done);
                     }) == size;
  if (fd >= 0) {
    close(fd);
  }
  return whole;
}

}  // namespace

bool drawRandomBytes(void* into, std::size_t size) {
  auto* bytes = static_cast<unsigned char*>(into);
#if defined(__linux__)
  // getrandom waits only until the kernel's generator has been seeded, once, early at boot, and
  // needs no file: it works where /dev is missing or no descriptor is left. A kernel older than
  // 3.17, or a sandbox that forbids the call, leaves the device.
  Failure failure;
  const std::size_t got = moveAll(
      size, failure, [&](std::size_t done) { return getrandom(bytes + done, size - done, 0); });
  return got == size || ((failure.systemError == ENOSYS || failure.systemError == EPERM) &&
                         readUrandom(bytes + got, size - got));
#elif defined(KESTROVANE_HAVE_ARC4RANDOM)
  // Seeded by the kernel and never failing.
  arc4random_buf(bytes, size);
  return true;
#else
  return readUrandom(bytes, size);
#endif
}
