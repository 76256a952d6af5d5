// The system's errors in its own words.

#include <cerrno>
#include <cstring>

#include "platform/failure.h"

int lastSystemError() {
  return errno;
}

std::string failureReason(const Failure& failure) {
  // The program never sets a locale of its own, so these are the C locale's words.
  return failure.refusal != nullptr ? failure.refusal + failure.named
                                    : std::strerror(failure.systemError);
}
