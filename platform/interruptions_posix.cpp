// The guard that removes a temporary when a signal ends the program.

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <unistd.h>

#include <cstring>

#include "platform/interruptions.h"
#include "platform/posix_internal.h"

namespace fs = std::filesystem;

namespace {

// Every signal that ends the program by default, but for SIGKILL, which cannot be caught, and
// the crashes (SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT), which end a program whose state can no
// longer be trusted to clean up: what a user, a terminal, a pipe, a timer, a limit, a power
// supply's daemon or another program sends.
constexpr int kInterruptions[] = {
    SIGINT,    SIGQUIT, SIGTERM,   SIGHUP,  SIGPIPE, SIGALRM, SIGUSR1,
    SIGUSR2,   SIGXCPU, SIGVTALRM, SIGPROF, SIGSYS,  SIGTRAP,
// BSD and macOS ignore SIGIO unless asked, and have no SIGPWR.
#ifdef __linux__
    SIGIO,     SIGPWR,
#endif
#ifdef SIGSTKFLT
    SIGSTKFLT,
#endif
};

// Calls `use` with each interruption. The real-time signals end a program by default too; where
// they start and end is known only at run time (the C library keeps the first few for itself).
template <typename Use>
void forEachInterruption(Use use) {
  for (const int signal : kInterruptions) {
    use(signal);
  }
#ifdef SIGRTMIN
  for (int signal = SIGRTMIN; signal <= SIGRTMAX; ++signal) {
    use(signal);
  }
#endif
}

// What the signal handler may touch: the folder's descriptor, a fixed buffer and a flag, never an
// allocated string. The folder is the one the temporary was created in, whatever its name leads
// to by the time a signal comes.
int guardedFolder = AT_FDCWD;
char guardedName[PATH_MAX];
volatile sig_atomic_t guarding = 0;

sigset_t beforeHold;

extern "C" void removeTemporaryAndEnd(int signal) {
  if (guarding) {
    unlinkat(guardedFolder, guardedName, 0);
  }
  // The handler was reset to the default on entry, so this ends the program by the same signal
  // and a shell sees what happened.
  raise(signal);
}

void installHandlers() {
  static bool installed = false;
  if (installed) {
    return;
  }
  installed = true;
  forEachInterruption([](int signal) {
    // Only a signal at its default, which would end the program: one inherited as ignored (as
    // under nohup) stays ignored, and one that already has a handler (a fuzzer's timer) keeps it.
    struct sigaction previous;
    if (sigaction(signal, nullptr, &previous) != 0 || (previous.sa_flags & SA_SIGINFO) != 0 ||
        previous.sa_handler != SIG_DFL) {
      return;
    }
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = removeTemporaryAndEnd;
    action.sa_flags = SA_RESETHAND | SA_RESTART;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
  });
}

}  // namespace

void ignoreFileSizeLimit() {
  signal(SIGXFSZ, SIG_IGN);
}

void holdInterruptions() {
  sigset_t held;
  sigemptyset(&held);
  forEachInterruption([&held](int signal) { sigaddset(&held, signal); });
  sigprocmask(SIG_BLOCK, &held, &beforeHold);
}

void releaseInterruptions() {
  sigprocmask(SIG_SETMASK, &beforeHold, nullptr);
}

bool guardTemporary(const Folder& folder, const fs::path& temporary) {
  const fs::path name = nameIn(folder, temporary);
  if (name.native().size() >= sizeof guardedName) {
    return false;
  }
  installHandlers();
  guardedFolder = folderAt(folder);
  std::memcpy(guardedName, name.c_str(), name.native().size() + 1);
  guarding = 1;
  return true;
}

void unguardTemporary() {
  guarding = 0;
}
