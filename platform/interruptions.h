#ifndef KESTROVANE_PLATFORM_INTERRUPTIONS_H
#define KESTROVANE_PLATFORM_INTERRUPTIONS_H

// The guard that keeps an interruption from leaving a temporary behind.
//
// One temporary file at a time is guarded: while it is, a signal that ends the program (Ctrl-C,
// a closed terminal or pipe, kill, a real-time signal: any but SIGKILL and a crash; a closed
// console window on Windows) removes it before the program ends as that signal would end it. The
// handlers are installed by the first guard. A signal that the program inherited as ignored
// (under nohup, say) stays ignored, and one that already has a handler keeps it.
//
// A guard and the file it names must change together, so that a signal never finds a temporary
// without its guard, nor a guard naming a file that is no longer ours. So the guard is set and
// cleared, and the temporary created, moved or removed, between holdInterruptions and
// releaseInterruptions, which hold the signals back meanwhile (not nested).

#include <filesystem>

#include "platform/native_file.h"

// Makes a write past the file-size limit (ulimit -f) fail with an error, as a full disk does,
// rather than end the program: the save then fails, its temporary is removed, and the menu
// comes back. Called once at the start.
void ignoreFileSizeLimit();

void holdInterruptions();
void releaseInterruptions();
// Guards the file `temporary` in `folder`, instead of any file guarded before: the folder's
// descriptor is kept, and must stay open until the guard is cleared. False if it cannot be
// guarded (its path is too long to be kept for the signal handler).
bool guardTemporary(const Folder& folder, const std::filesystem::path& temporary);
void unguardTemporary();

#endif  // KESTROVANE_PLATFORM_INTERRUPTIONS_H
