#ifndef KESTROVANE_PLATFORM_FAILURE_H
#define KESTROVANE_PLATFORM_FAILURE_H

// The first thing that went wrong with an input or a save, kept so that the user can be told why
// a save was refused: the system's own error, or the program's own reason. Every call of the
// platform layer that can fail reports into a Failure it is given, and a later step of a save
// already given up never overwrites the first.

#include <string>
#include <string_view>
#include <utility>

struct Failure {
  int systemError = 0;  // errno, or GetLastError() on Windows; 0 where the program refused
  const char* refusal = nullptr;  // the program's own reason, where it refused
  std::string named;  // what that reason ends with, where it names a file: in the system's words
  explicit operator bool() const {
    return systemError != 0 || refusal != nullptr;
  }
};

// The error the system reported for the call that just failed: errno, or GetLastError().
int lastSystemError();

// Said where the system reported a failure but gave it no number.
inline constexpr char kUnnumbered[] = "failed, and the system did not say why";

// Keeps `error`, the system's answer to the call that failed, unless a failure is kept already.
inline void noteSystemFailure(Failure& failure, int error = lastSystemError()) {
  if (!failure) {
    failure.systemError = error;
    if (error == 0) {
      failure.refusal = kUnnumbered;
    }
  }
}

// Keeps the program's own `reason` for refusing, followed by `named` where it names a file, unless
// a failure is kept already.
inline void noteRefusal(Failure& failure, const char* reason, std::string named = {}) {
  if (!failure) {
    failure.refusal = reason;
    failure.named = std::move(named);
  }
}

// Keeps `other`, a failure found on the way, unless a failure is kept already.
inline void noteFailure(Failure& failure, const Failure& other) {
  if (!failure) {
    failure = other;
  }
}

// Whether the program refused for `reason`, compared by its words.
inline bool refusedFor(const Failure& failure, std::string_view reason) {
  return failure.refusal != nullptr && failure.refusal == reason;
}

// What to tell the user of it: the program's reason, or the system's own words for its error
// (strerror in the program's own C locale; on Windows FormatMessageW, in the code page that
// standard error shows).
std::string failureReason(const Failure& failure);

// The program's own reasons for refusing a save, here rather than where each is found, since the
// platform layer finds most of them on either system; the manual page lists them.
inline constexpr char kChangedAfterListing[] = "changed after it was shown; nothing was saved";
inline constexpr char kNulInName[] = "a name cannot hold a NUL byte";
inline constexpr char kLinkOfAnotherUser[] = "is a link another user made in a shared folder";
inline constexpr char kFileOfAnotherUser[] = "is a file another user put in a shared folder";
inline constexpr char kReadOnly[] = "is read-only";
inline constexpr char kFolder[] = "is a folder, not a file";
inline constexpr char kDevice[] = "is a device, not a file";
inline constexpr char kFifo[] = "is a FIFO, not a file";
inline constexpr char kSocket[] = "is a socket, not a file";
inline constexpr char kStream[] = "is a stream of a file, not a file";
inline constexpr char kReplacedMeanwhile[] =
    "was replaced while the new copy was written; nothing was saved";
inline constexpr char kNoDigestKey[] =
    "cannot be checked against its listing: the system gave no random key; nothing was saved";
inline constexpr char kPathTooLong[] = "is too long a path to be saved safely";
// Followed by the long name of the file that the typed short (8.3) name stands for.
inline constexpr char kShortNameOf[] = "is the short name of ";

#endif  // KESTROVANE_PLATFORM_FAILURE_H
