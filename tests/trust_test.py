"""Saves that must not be reported as saved when they were lost, nor land where someone else chose,
nor come out wider than the file they replace, end to end: the cases any user can run, or those
that need root (skipped elsewhere).

Each case prepares a folder with a shell script, encodes one file there (as the user running the
test, or as nobody), and checks the screen's message, then every file the case names: a failed
save must leave each exactly as it was (content, type, mode, owner, ACL, link), a completed one
must have written the coded text to the named file with the metadata expected, and no temporary
may be left anywhere.

Usage: trust_test.py everyone|root path/to/kestrovane
"""
import collections
import hashlib
import os
import shlex
import shutil
import stat
import subprocess
import sys
import tempfile

from checks import Checks, coded, untraced_environment

TEXT = b"hello there"
BIG = b"The quick brown fox jumps over the lazy dog.\n" * (9 * 1024 * 1024 // 45)
# A build of the POSIX layer as other systems take it (no O_PATH, renameat2, faccessat2 or /proc)
# makes other calls: the rows that count calls are aimed at its own, and those that make fail a
# call only the Linux build makes are skipped.
PORTABLE = os.environ.get("KESTROVANE_PORTABLE_POSIX") == "1"
# Who runs the test, for the owner and group of the files it makes.
UID, GID = os.geteuid(), os.getegid()
NOBODY = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"]
# A private /dev holding only its own null device, so a save that wrongly replaced it harms
# nothing on the machine.
OWN_DEV = ["unshare", "-m", "sh", "-c",
           'mount -t tmpfs tmpfs /dev && mknod -m 666 /dev/null c 1 3 && exec "$0"']
LONG = "x" * 240 + ".enc"
# No /proc/self/fd, as where /proc is not mounted; the rest of /proc stays for the sanitizers.
NO_PROC = ["unshare", "-m", "sh", "-c", 'mount -t tmpfs tmpfs /proc/$$/fd && exec "$0" "$@"']
# An input open to all, for the rows about what a replaced file or a folder gives: an output is
# no more open than its input (execute bits included).
OPEN_INPUT = "printf 'hello there' > in.txt && chmod 777 in.txt"
PRIVATE_INPUT = "printf 'hello there' > in.txt && chmod 600 in.txt"
# Swaps the folder d, which nobody owns, for nobody's link to root's private folder: after the
# listing (at the look at the input just before the save), or at the flush of the new copy (which
# has its final mode).
SWAP_FOLDER = f"{' '.join(NOBODY)} sh -c 'mv d d.old && ln -s home d'"
SWAP_MOMENTS = [("after the listing", "fstat,newfstatat", 2 + PORTABLE, ["-P", "d/in.txt"]),
                ("while flushed", "fsync", 1, [])]
# Counts the temporaries the program tried to create, into the file `tries`.
COUNT_TRIES = ('strace -f -o trace -e trace=open,openat "$@";'
               " grep -c 'kestrovane-[0-9]*[.]tmp' trace > tries")


def strace(*options):
    return ["strace", "-f", "-o", os.devnull, *options]


def stopped(call, when, action, *options):
    """Runs the program under strace, stops it (SIGSTOP) as its `when`th call `call` returns, runs
    the shell command `action` in its folder while it stands still, and lets it go on: a change
    lands at that very moment, however fast or busy the machine. strace says when it has stopped.
    The trace is left in the file `trace`."""
    waiter = ("(until grep -qs 'stopped by SIGSTOP' trace; do kill -0 $$ || exit; sleep 0.01;"
              f" done; {action}; kill -CONT $(sed -n 's/ --- stopped by SIGSTOP.*//p' trace))"
              " >/dev/null 2>&1 &")
    return ["bash", "-c", waiter + ' exec "$@"', "bash", "strace", "-f", "-o", "trace", *options,
            "-e", f"inject={call}:signal=SIGSTOP:when={when}"]


def traced(*calls):
    """Runs the program under strace, leaving the trace of `calls` in the file `trace`."""
    return ["strace", "-f", "-o", "trace", "-e", "trace=" + ",".join(calls)]


def folder_flushed_after_move(trace):
    """Whether the trace shows the folder that the new copy was moved in opened again and flushed
    after the move."""
    folder = flushed = None
    for line in trace.splitlines():
        call = " ".join(line.split()[1:])
        if call.startswith("renameat") and call.endswith(" = 0"):
            folder = call[call.index("(") + 1:call.index(",")]
        elif folder and call.startswith(f'openat({folder}, ".", ') and "O_DIRECTORY" in call:
            flushed = call.rsplit(" = ", 1)[1]
        elif flushed and call == f"fsync({flushed}) = 0":
            return True
    return False


def opens_of_input(trace):
    """The calls in the trace that opened in.txt for more than finding it, or tried to: by its
    name, or again through the descriptor that found it (its name under /proc)."""
    return [line for line in trace.splitlines() if line.split()[1].startswith("open") and
            ('"in.txt"' in line and "O_PATH" not in line or '"/proc/self/fd/' in line)]


def input_never_opened(trace):
    return not opens_of_input(trace)


def input_never_opened_through_a_link(trace):
    return all(" = -1 " in line for line in opens_of_input(trace))


# Each case: its name; the setup script, run by bash in the folder (the input, `typed`, is then
# written there unless the script made it or its folder is none); the command prefix; whether the
# save succeeds; the files to check; for a save the file written and what its metadata must be:
# "as before", "as touch gives" (a new file beside it, limited by the input as the program limits
# an output: group and others get at most what the input's mode gives them), or (mode, uid[, gid[,
# ACL]]); the folder the program runs in; whether only root can run it; and for a refused save,
# the file it blames and why, as standard error tells them; whether the program must not read the
# input, though it is a file. An input that cannot be read as a file is confirmed as empty.
# Root alone may give files away (chown, chgrp to a group it is not in), make devices, mount, or
# run a step as nobody: the rows about a shared folder where another user put something need
# that second user, nobody, to put it there. The other rows run as whoever runs the test.
# A case may also say what the trace it left must show (`seen`: a function of the trace's text),
# and that it makes fail a call only the Linux build makes (`linux`).
Case = collections.namedtuple(
    "Case",
    "name setup typed prefix saved files written expected inside root why unread seen linux",
    defaults=("in.txt", [], False, ["in.enc"], None, None, "", False, None, False, None, False))


def saved(name, setup, written, expected, **fields):
    return Case(name, setup, saved=True, written=written, expected=expected, **fields)


CASES = [
    # A write-out request or its wait that fails means the data may not be on the disk; a
    # system without the request only lacks a hint.
    Case("write-out request fails", "", "big.txt",
         strace("-e", "inject=sync_file_range:error=EIO:when=1"), files=["big.enc"],
         why="big.enc: Input/output error"),
    Case("write-out wait fails", "", "big.txt",
         strace("-e", "inject=sync_file_range:error=ENOSPC:when=2"), files=["big.enc"],
         why="big.enc: No space left on device"),
    Case("later write-out request fails", "", "big.txt",
         strace("-e", "inject=sync_file_range:error=EIO:when=3"), files=["big.enc"],
         why="big.enc: Input/output error"),
    saved("no write-out request here", "", "big.enc", "as before", typed="big.txt",
          prefix=strace("-e", "inject=sync_file_range:error=ENOSYS"), files=["big.enc"]),
    Case("input cannot be examined before the save", "", "big.txt",
         strace("-P", "big.txt", "-e", f"inject=fstat,newfstatat:error=EIO:when={2 + PORTABLE}"),
         files=["big.enc"],
         why="big.txt: Input/output error"),
    Case("input cannot be examined once coded", "", "big.txt",
         strace("-P", "big.txt", "-e", f"inject=fstat,newfstatat:error=EIO:when={3 + PORTABLE}"),
         files=["big.enc"],
         why="big.txt: Input/output error"),
    saved("input open interrupted", "", "big.enc", "as before", typed="big.txt",
          prefix=strace("-P", "big.txt", "-e", "inject=open,openat:error=EINTR:when=1"),
          files=["big.enc"]),
    Case("owner cannot be given", "echo old > in.enc",
         prefix=strace("-e", "inject=fchown:error=EIO"),
         why="in.enc: Input/output error"),
    # In a shared sticky folder, only one's own links and files, or the folder owner's, are used.
    Case("link planted by another user", "chmod 1777 . && mkdir -m 700 home && echo secret >"
         f" home/rc && {' '.join(NOBODY)} ln -s home/rc in.enc", files=["in.enc", "home/rc"],
         root=True,
         why="in.enc: is a link another user made in a shared folder"),
    Case("input's own link planted by another user", "chmod 1777 . && mkdir -m 700 home && echo"
         f" secret > home/notes && chmod 644 home/notes && {' '.join(NOBODY)} ln -s home/notes"
         " in.txt", files=["in.txt", "home/notes", "in.enc"], root=True, unread=True,
         why="in.txt: is a link another user made in a shared folder"),
    Case("folder link planted by another user", "chmod 1777 . && mkdir -m 700 home && echo secret"
         f" > home/in.enc && printf hi > home/in.txt && {' '.join(NOBODY)} ln -s home x",
         typed="x/in.txt", files=["x", "home/in.enc"], root=True, unread=True,
         why="x/in.txt: is a link another user made in a shared folder"),
    # A folder swapped for a link while it is walked: the folder looked at is the one entered
    # (where the build holds what it looks at), or the walk refuses the link in its place.
    Case("folder swapped for a link while walked", "chmod 1777 . && mkdir -m 700 home && echo"
         f" secret > home/in.enc && printf hi > home/in.txt && {' '.join(NOBODY)} mkdir d && printf"
         " 'hello there' > d/in.txt", typed="d/in.txt", files=["home/in.enc", "d.old/in.enc"],
         root=True, prefix=stopped("newfstatat" if PORTABLE else "openat", 1, SWAP_FOLDER, "-P",
                                   "d"),
         **(dict(unread=True, why="d/in.enc: Not a directory") if PORTABLE else
            dict(saved=True, written="d.old/in.enc", expected=(0o644, 0, 0)))),
    # The folder that was listed is the folder written, whatever its name leads to by then.
    *(saved(f"folder swapped for a link {moment}, {kind}", f"chmod {mode} . && mkdir -m 700 home"
            f" && echo secret > home/in.enc && {' '.join(NOBODY)} mkdir d", "d.old/in.enc",
            (0o644, 0, 0), typed="d/in.txt", files=["home/in.enc", "d.old/in.enc"], root=True,
            prefix=stopped(call, when, SWAP_FOLDER, *options))
      for kind, mode in [("sticky", "1777"), ("not sticky", "777")]
      for moment, call, when, options in SWAP_MOMENTS),
    Case("file put by another user", f"chmod 1777 . && {' '.join(NOBODY)} sh -c 'umask 0;"
         " : > in.enc'", root=True,
         why="in.enc: is a file another user put in a shared folder"),
    saved("own link in a shared folder", "chmod 1777 . && mkdir home && echo old > home/rc"
          " && ln -s home/rc in.enc", "home/rc", "as before", files=["in.enc", "home/rc"]),
    saved("root over another's file, folder not sticky", "chmod 777 . && echo old > in.enc &&"
          " chown nobody in.enc", "in.enc", "as before", root=True),
    saved("root over the folder owner's file, sticky", "chown nobody . && chmod 1777 . && echo old"
          " > in.enc && chown nobody in.enc", "in.enc", "as before", root=True),
    saved("own file in root's sticky folder", "chmod 1777 . && echo old > in.enc && chown"
          " 65534:65534 in.enc", "in.enc", "as before", prefix=NOBODY, root=True),
    # A folder that the user may not write: no temporary name is tried twice.
    Case("folder not writable, as a user", "echo 1 > tries",
         prefix=["sh", "-c", COUNT_TRIES, "sh", *NOBODY], files=["in.enc", "tries"], root=True,
         why="in.enc: Permission denied"),
    # A folder the user may write but not read is held all the same, or gone through by name, its
    # links too.
    saved("folder the user may write but not read", "mkdir -m 733 d", "d/in.enc",
          (0o644, 65534, 65534), typed="d/in.txt", files=["d/in.enc"], prefix=NOBODY, root=True),
    # Without /proc, a folder held by a descriptor that opens nothing must be opened to read its
    # default ACL, which a user who may not read it cannot: the new file is refused rather than
    # given rights guessed. A build that holds it opened for reading went by its path instead.
    Case("folder the user may write but not read, without /proc", "mkdir -m 733 d",
         typed="d/in.txt", files=["d/in.enc"], prefix=NO_PROC + NOBODY, root=True,
         **(dict(saved=True, written="d/in.enc", expected=(0o644, 65534, 65534)) if PORTABLE
            else dict(why="d/in.enc: Permission denied"))),
    saved("a link in a folder the user may write but not read", "mkdir -m 733 d && echo old >"
          " d/real && chown nobody d/real && ln -s real d/in.enc", "d/real", (0o604, 65534, 65534),
          typed="d/in.txt", files=["d/in.enc", "d/real"], prefix=NOBODY, root=True),
    # Owners and groups that an ordinary user cannot keep.
    saved("root's file, as a user", "chmod 777 . && echo old > in.enc && chmod 666 in.enc",
          "in.enc", (0o604, 65534, 65534), prefix=NOBODY, root=True),
    saved("a group the user belongs to", "chmod 777 . && echo old > in.enc && chown nobody:100"
          " in.enc && chmod 664 in.enc && printf 'hello there' > in.txt && chmod 664 in.txt && chgrp"
          " 100 in.txt",
          "in.enc", "as before",
          prefix=["setpriv", "--reuid=65534", "--regid=65534", "--groups=100"], root=True),
    saved("another's file in a group the user belongs to", "chmod 777 . && echo old > in.enc &&"
          " chown 0:100 in.enc && chmod 664 in.enc && printf 'hello there' > in.txt && chmod 664"
          " in.txt && chgrp 100 in.txt", "in.enc", (0o664, 65534, 100),
          prefix=["setpriv", "--reuid=65534", "--regid=65534", "--groups=100"], root=True),
    saved("a group that cannot be kept, with an ACL", "chown nobody . && echo old > in.enc &&"
          " chown nobody:0 in.enc && chmod 664 in.enc && setfacl -m u:daemon:rw in.enc &&"
          " printf 'hello there' > in.txt && chmod 664 in.txt && chgrp 65534 in.txt", "in.enc",
          (0o664, 65534, 65534, "user::rw-\nuser:daemon:rw-\ngroup::---\nmask::rw-\nother::r--"
           "\n\n"), prefix=NOBODY, root=True),
    # A file swapped in under the target's name after it was examined is not replaced.
    Case("target swapped after its examination", "echo old > in.enc",
         prefix=stopped("fsync", 1, "cp -p in.enc swap && mv -f swap in.enc"),
         why="in.enc: was replaced while the new copy was written; nothing was saved"),
    # A write past the file-size limit fails the save; the program goes on.
    Case("file-size limit", "", "big.txt", ["bash", "-c", 'ulimit -f 100 && exec "$@"', "bash"],
         files=["big.enc"],
         why="big.enc: File too large"),
    # Names walked as the kernel walks them: only a folder may have more parts after it.
    Case("missing folder, then ..", "", "none/../t.txt", files=["t.enc"],
         why="none/../t.enc: No such file or directory"),
    Case("file, then ..", "echo data > f.txt", "f.txt/../t.txt", files=["f.txt", "t.enc"],
         why="f.txt/../t.enc: Not a directory"),
    Case("link to a file with a slash", "echo old > s && ln -s s/ in.enc", files=["in.enc", "s"],
         why="in.enc: Not a directory"),
    Case("link to a folder with a slash", "mkdir d && ln -s d/ in.enc", files=["in.enc", "d"],
         why="in.enc: is a folder, not a file"),
    Case("link to a file, then ..", "echo old > s && ln -s s/b/.. in.enc",
         files=["in.enc", "s"],
         why="in.enc: Not a directory"),
    saved("./.. from a folder", "mkdir p && printf 'hello there' > x.txt", "x.enc",
          "as touch gives", typed="./../x.txt", inside="p", files=["x.enc"]),
    saved("../.. from two folders down", "mkdir -p p/q/r", "p/y.enc", "as touch gives",
          typed="../../y.txt", inside="p/q/r", files=["p/y.enc"]),
    # A FIFO as the input is empty at once: opening it waits for no writer. A socket cannot be
    # opened at all, yet is no file whose content was kept from the user.
    saved("FIFO as the input", "mkfifo in.txt", "in.enc", "as touch gives",
          prefix=traced("open", "openat"), seen=input_never_opened),
    saved("socket as the input", f"{shlex.quote(sys.executable)} -c 'import socket;"
          " socket.socket(socket.AF_UNIX).bind(\"in.txt\")'", "in.enc", "as touch gives"),
    # Only a regular file that the user may write is replaced.
    Case("FIFO", "mkfifo in.enc",
         why="in.enc: is a FIFO, not a file"),
    Case("device", "mknod in.enc c 1 3", root=True,
         why="in.enc: is a device, not a file"),
    Case("link to /dev/null", "ln -s /dev/null in.enc", prefix=OWN_DEV, root=True,
         why="in.enc: is a device, not a file"),
    Case("read-only, as a user", "chown nobody . && echo old > in.enc && chown nobody in.enc"
         " && chmod 444 in.enc", prefix=NOBODY, root=True,
         why="in.enc: is read-only"),
    saved("read-only, as root", "echo old > in.enc && chmod 444 in.enc", "in.enc", "as before",
          root=True),
    saved("set-ID bits", "echo old > in.enc && chown nobody in.enc && chmod 6755 in.enc && "
          + OPEN_INPUT, "in.enc", (0o755, 65534), root=True),
    # A pseudo-file whose size reads 0 is not saved as an empty copy: one whose bytes change from
    # read to read, and one whose bytes stay, which only its size tells.
    Case("file of /proc", "ln -s /proc/self/status p.txt", "p.txt", files=["p.enc"],
         why="p.txt: changed after it was shown; nothing was saved"),
    Case("file of /proc that reads the same each time", "ln -s /proc/version v.txt", "v.txt",
         files=["v.enc"], why="v.txt: changed after it was shown; nothing was saved"),
    # A replaced hard link becomes a file of its own: the other name keeps the old text.
    saved("hard link", "echo old > other && ln other in.enc", "in.enc", "as before",
          files=["in.enc", "other"]),
    # The move is flushed to the disk with the folder it was made in.
    saved("folder flushed after the move", "", "in.enc", "as touch gives",
          prefix=traced("renameat2", "renameat", "rename", "openat", "fsync"),
          seen=folder_flushed_after_move),
    # The key for the digests comes from /dev/urandom where getrandom is missing or refused.
    *(saved(f"getrandom {error}", "", "in.enc", "as touch gives",
            prefix=strace("-e", f"inject=getrandom:error={error}"))
      for error in ("ENOSYS", "EPERM")),
    # As many links as the system follows, and a name as long as the system allows.
    saved("40 links", "echo old > l40 && for i in $(seq 39 -1 1); do ln -s l$((i + 1)) l$i;"
          " done && ln -s l1 in.enc && cat in.enc >/dev/null", "l40", "as before",
          files=["in.enc", "l1", "l40"]),
    Case("41 links", "echo old > l41 && for i in $(seq 40 -1 1); do ln -s l$((i + 1)) l$i; done"
         " && ln -s l1 in.enc && ! cat in.enc 2>/dev/null", files=["in.enc", "l1", "l41"],
         why="in.enc: Too many levels of symbolic links"),
    saved("240-character name", f"echo old > {LONG} && ln -s {LONG} in.enc", LONG, "as before",
          files=["in.enc", LONG]),
    # An output is no more open than its input, but the owner's rights stay.
    saved("private input, new output", PRIVATE_INPUT, "in.enc", (0o600, UID, GID)),
    saved("private input, replaced output", "echo old > in.enc && chmod 644 in.enc && "
          + PRIVATE_INPUT, "in.enc", (0o600, UID)),
    # With an ACL, the mode's group bits are the mask: the owning group's own entry is what it had,
    # as far as the mask let it.
    saved("input private by its ACL", PRIVATE_INPUT + " && setfacl -m u:daemon:r in.txt", "in.enc",
          (0o600, UID, GID)),
    saved("input's group entry masked out", "printf 'hello there' > in.txt && chmod 640 in.txt &&"
          " setfacl -m u:daemon:r in.txt && chmod g-r in.txt", "in.enc", (0o600, UID, GID)),
    # A group other than the input's had only what others had there.
    saved("output in another group than the input", "mkdir s && chgrp 100 s && chmod 2775 s &&"
          " printf 'hello there' > s/p.txt && chgrp 0 s/p.txt && chmod 640 s/p.txt", "s/p.enc",
          (0o600, 0, 100), typed="s/p.txt", files=["s/p.enc"], root=True),
    saved("read-only input", "printf 'hello there' > in.txt && chmod 444 in.txt", "in.enc",
          (0o644, UID, GID)),
    saved("open input, new output", "printf 'hello there' > in.txt && chmod 644 in.txt",
          "in.enc", "as touch gives"),
    # ACLs: a new file gets what creating it would give, a replaced one keeps exactly its own,
    # each limited by the input.
    saved("new file, private default ACL", "setfacl -d -m u::rwx,g::rx,o::- . && " + PRIVATE_INPUT,
          "in.enc", "as touch gives"),
    saved("new file, default ACL naming a user", OPEN_INPUT + " && setfacl -d -m"
          " u::rw,u:nobody:rw,g::r,m::rw,o::- .", "in.enc", "as touch gives"),
    saved("new file, folder reached through a link", "mkdir private && setfacl -d -m"
          " u::rw,g::-,o::- private && ln -s private p", "private/in.enc", "as touch gives",
          typed="p/in.txt", files=["p", "private/in.enc"]),
    saved("replaced file's ACL kept", "echo old > in.enc && setfacl -m u:nobody:rw,g::-,m::rw,o::-"
          " in.enc && " + OPEN_INPUT, "in.enc", "as before"),
    saved("replaced file's ACL kept without /proc", "echo old > in.enc && setfacl -m"
          " u:nobody:rw,g::-,m::rw,o::- in.enc && " + OPEN_INPUT, "in.enc", "as before",
          prefix=NO_PROC, root=True),
    saved("replaced file's rights checked without /proc on a kernel before 5.8", "echo old >"
          " in.enc", "in.enc", "as before",
          prefix=strace("-e", "inject=faccessat2:error=ENOSYS") + NO_PROC, root=True),
    # A container's filter that refuses faccessat2 with EPERM, as older ones do for calls they do
    # not know: the write check still judges, as root and as a user, with /proc and without.
    saved("replaced file's rights checked where faccessat2 is refused", "echo old > in.enc",
          "in.enc", "as before", prefix=strace("-e", "inject=faccessat2:error=EPERM"), linux=True),
    saved("replaced file's rights checked where faccessat2 is refused, as a user", "chmod 777 . &&"
          " echo old > in.enc && chmod 666 in.enc", "in.enc", (0o604, 65534, 65534),
          prefix=strace("-e", "inject=faccessat2:error=EPERM") + NOBODY, root=True, linux=True),
    Case("read-only where faccessat2 is refused, as a user", "chown nobody . && echo old > in.enc"
         " && chown nobody in.enc && chmod 444 in.enc",
         prefix=strace("-e", "inject=faccessat2:error=EPERM") + NOBODY, root=True,
         why="in.enc: is read-only"),
    saved("replaced file's rights checked where faccessat2 is refused, without /proc", "echo old >"
          " in.enc", "in.enc", "as before",
          prefix=strace("-e", "inject=faccessat2:error=EPERM") + NO_PROC, root=True, linux=True),
    # Without /proc the input is opened again by its name: a link swapped in after the look is
    # refused, never followed; another file (a private one) is refused, never read; a FIFO is
    # opened without waiting for a writer, and refused.
    *(Case(f"input swapped for {what} before it is opened again by name", "echo secret > other"
           " && chmod 600 other && mkfifo fifo",
           prefix=stopped("newfstatat" if PORTABLE else "openat", 1, f"rm in.txt && {swap}",
                          "-P", "in.txt") + NO_PROC,
           files=["in.enc", "other"], root=True, unread=True,
           why="in.txt: changed after it was shown; nothing was saved",
           seen=input_never_opened_through_a_link if what == "a link" else None)
      for what, swap in [("a link", "ln -s other in.txt"), ("another file", "cp -p other in.txt"),
                         ("a FIFO", "mv fifo in.txt")]),
    saved("no ACL stays none", "echo old > in.enc && chmod 640 in.enc && setfacl -d -m"
          " u::rw,u:nobody:rw,g::r,m::rw,o::r .", "in.enc", "as before"),
]


def acl(path):
    result = subprocess.run(["getfacl", "-cp", path], capture_output=True, text=True)
    return result.stdout


def metadata(path):
    """What a save may change of a file besides its content, or None where nothing is."""
    try:
        status = os.lstat(path)
    except FileNotFoundError:
        return None
    if stat.S_ISLNK(status.st_mode):
        return ("link", os.readlink(path))
    return (stat.S_IFMT(status.st_mode), stat.S_IMODE(status.st_mode), status.st_uid,
            status.st_gid, acl(path) if stat.S_ISREG(status.st_mode) else "")


def content(path):
    if not os.path.isfile(path) or os.path.islink(path):
        return None
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()[:16]


def state(folder, names):
    return {name: (metadata(os.path.join(folder, name)), content(os.path.join(folder, name)))
            for name in names}


def temporaries(folder):
    return [os.path.join(top, name) for top, _, names in os.walk(folder) for name in names
            if name.endswith(".tmp")]


def run_case(program, case, folder, checks):
    (name, setup, typed, prefix, saved, names, written, expected, inside, _, why, unread, seen,
     _) = case
    os.chmod(folder, 0o755)  # a folder from tempfile is 0700: nobody could not reach it
    source = BIG if typed == "big.txt" else TEXT
    if typed == "big.txt":
        with open(os.path.join(folder, "big.enc"), "wb") as f:
            f.write(b"earlier output")
    subprocess.run(["bash", "-e", "-c", setup], cwd=folder, check=True)
    input_path = os.path.join(folder, inside, typed)
    if not os.path.lexists(input_path) and os.path.isdir(os.path.dirname(input_path)):
        with open(input_path, "wb") as f:
            f.write(source)
    empty = unread or not os.path.isfile(input_path)
    if empty:
        source = b""
    if expected == "as touch gives":
        reference = os.path.join(folder, os.path.dirname(written), "reference")
        subprocess.run(["touch", reference], check=True)
        if os.path.isfile(input_path):
            given = stat.S_IMODE(os.stat(input_path).st_mode) & 0o077
            os.chmod(reference, stat.S_IMODE(os.stat(reference).st_mode) & (0o700 | given))
    before = state(folder, names)
    keys = b"E\n" + typed.encode() + (b"\ny\ny\n" if empty else b"\ny\n") + b"k\nx\n"
    result = subprocess.run(prefix + [program], input=keys, cwd=os.path.join(folder, inside),
                            capture_output=True, timeout=120, env=untraced_environment())
    folders = typed[:typed.rfind("/") + 1]
    out_name = folders + typed[len(folders):].split(".")[0] + ".enc"
    message = ("has been saved as: " if saved else "could not be saved as: ") + out_name
    checks.equal(f"{name}: message", f"\nYour encoded file {message}\n\n".encode() in result.stdout,
                 True)
    checks.equal(f"{name}: empty input confirmed",
                 b"doesn't appear to contain anything!" in result.stdout, empty)
    checks.equal(f"{name}: back to the menu, then exit", result.returncode, 0)
    told = [line for line in result.stderr.decode().splitlines(True) if line[:8] != "strace: "]
    checks.equal(f"{name}: standard error", told, [f"kestrovane: {why}\n"] if why else [])
    after = state(folder, names)
    if saved:
        path = os.path.join(folder, written)
        if expected == "as before":
            wanted = before[written][0]
        elif expected == "as touch gives":
            wanted = metadata(reference)
        else:
            unsaid = ((before[written][0] or (None,) * 4)[3], acl(path))  # as before, as it is
            mode, uid, gid, facl = expected + unsaid[len(expected) - 2:]
            wanted = (stat.S_IFREG, mode, uid, gid, facl)
        checks.equal(f"{name}: the coded text", content(path),
                     hashlib.sha256(coded(source)).hexdigest()[:16])
        checks.equal(f"{name}: metadata", metadata(path), wanted)
        del before[written], after[written]
    checks.equal(f"{name}: the other files", after, before)
    checks.equal(f"{name}: temporaries", temporaries(folder), [])
    if seen:
        with open(os.path.join(folder, inside, "trace")) as f:
            checks.equal(f"{name}: what the trace shows", seen(f.read()), True)


def main():
    # The expected modes are those a umask of 022 gives, root's usual one.
    os.umask(0o022)
    part, program = sys.argv[1:]
    as_root = {"everyone": False, "root": True}[part]
    if as_root and os.geteuid() != 0:
        print("skipped: these saves need root")
        return 77
    if not all(map(shutil.which, ["strace", "setfacl"] + ["setpriv"] * as_root)):
        print("skipped: needs strace, setfacl (Debian package acl) and, as root, setpriv")
        return 77
    checks = Checks()
    with tempfile.TemporaryDirectory() as bin_folder:
        # A copy that nobody may run, wherever the build is.
        os.chmod(bin_folder, 0o755)
        program = shutil.copy(program, bin_folder)
        skipped = 0
        for case in (case for case in CASES if case.root == as_root):
            if case.linux and PORTABLE:
                print(f"skipped in the portable build: {case.name} (it makes fail a call that"
                      " only the Linux build makes)")
                skipped += 1
                continue
            with tempfile.TemporaryDirectory() as folder:
                run_case(program, case, folder, checks)
    # Every row that could run has run: where some could not, the table did not pass whole.
    status = checks.finish()
    return 77 if status == 0 and skipped else status


if __name__ == "__main__":
    sys.exit(main())
