"""Saves that must not be reported as saved when they were lost, nor land where someone else chose,
nor come out wider than the file they replace, end to end, as root (skipped elsewhere).

Each case prepares a folder with a shell script, encodes one file there (as root, or as nobody),
and checks the screen's message, then every file the case names: a failed save must leave each
exactly as it was (content, type, mode, owner, ACL, link), a completed one must have written the
coded text to the named file with the metadata expected, and no temporary may be left anywhere.

Usage: trust_test.py path/to/kestrovane
"""
import hashlib
import os
import shutil
import stat
import subprocess
import sys
import tempfile

from checks import Checks

TEXT = b"hello there"
BIG = b"The quick brown fox jumps over the lazy dog.\n" * (9 * 1024 * 1024 // 45)
NOBODY = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"]
# A private /dev holding only its own null device, so a save that wrongly replaced it harms
# nothing on the machine.
OWN_DEV = ["unshare", "-m", "sh", "-c",
           'mount -t tmpfs tmpfs /dev && mknod -m 666 /dev/null c 1 3 && exec "$0"']
LONG = "x" * 240 + ".enc"


def strace(*options):
    return ["strace", "-f", "-o", os.devnull, *options]


def coded(text):
    return text[::-1].translate(bytes.maketrans(b"aeiouAEIOU1234567890", b"1234567890aeiouAEIOU"))


# Each case: its name, the setup script (run by bash in the folder, with the input in.txt
# already there unless the script replaces it), the name typed, the command prefix, whether the
# save succeeds, the files to check, and for a save the file written and what its metadata must
# be: "as before", "as touch gives" (a new file), or (mode, uid).
CASES = [
    # A write-out request or its wait that fails means the data may not be on the disk; a
    # system without the request only lacks a hint.
    ("write-out request fails", "", "big.txt",
     strace("-e", "inject=sync_file_range:error=EIO:when=1"), False, ["big.enc"], None, None),
    ("write-out wait fails", "", "big.txt",
     strace("-e", "inject=sync_file_range:error=ENOSPC:when=2"), False, ["big.enc"], None, None),
    ("later write-out wait fails", "", "big.txt",
     strace("-e", "inject=sync_file_range:error=EIO:when=3"), False, ["big.enc"], None, None),
    ("no write-out request here", "", "big.txt",
     strace("-e", "inject=sync_file_range:error=ENOSYS"), True, ["big.enc"], "big.enc",
     "as before"),
    ("input size unreadable", "", "big.txt",
     strace("-P", "big.txt", "-e", "inject=fstat,newfstatat:error=EIO:when=2"), False, ["big.enc"],
     None, None),
    ("input open interrupted", "", "big.txt",
     strace("-P", "big.txt", "-e", "inject=open,openat:error=EINTR:when=1"), True, ["big.enc"],
     "big.enc", "as before"),
    # Links in a shared sticky folder: only one's own, or the folder owner's, is followed.
    ("link planted by another user", "chmod 1777 . && mkdir -m 700 home && echo secret > home/rc"
     " && " + " ".join(NOBODY) + " ln -s home/rc in.enc", "in.txt", [], False,
     ["in.enc", "home/rc"], None, None),
    ("own link in a shared folder", "chmod 1777 . && mkdir home && echo old > home/rc"
     " && ln -s home/rc in.enc", "in.txt", [], True, ["in.enc", "home/rc"], "home/rc", "as before"),
    # Only a regular file that the user may write is replaced.
    ("FIFO", "mkfifo in.enc", "in.txt", [], False, ["in.enc"], None, None),
    ("device", "mknod in.enc c 1 3", "in.txt", [], False, ["in.enc"], None, None),
    ("link to /dev/null", "ln -s /dev/null in.enc", "in.txt", OWN_DEV, False, ["in.enc"], None,
     None),
    ("read-only, as a user", "chown nobody . in.txt && echo old > in.enc && chown nobody in.enc"
     " && chmod 444 in.enc", "in.txt", NOBODY, False, ["in.enc"], None, None),
    ("read-only, as root", "echo old > in.enc && chmod 444 in.enc", "in.txt", [], True, ["in.enc"],
     "in.enc", "as before"),
    ("set-ID bits", "echo old > in.enc && chown nobody in.enc && chmod 6755 in.enc", "in.txt", [],
     True, ["in.enc"], "in.enc", (0o755, 65534)),
    # A pseudo-file whose size reads 0 is not saved as an empty copy.
    ("file of /proc", "rm p.txt && ln -s /proc/self/status p.txt", "p.txt", [], False,
     ["p.enc"], None, None),
    # As many links as the system follows, and a name as long as the system allows.
    ("40 links", "echo old > l40 && for i in $(seq 39 -1 1); do ln -s l$((i + 1)) l$i; done"
     " && ln -s l1 in.enc && cat in.enc >/dev/null", "in.txt", [], True,
     ["in.enc", "l1", "l40"], "l40", "as before"),
    ("41 links", "echo old > l41 && for i in $(seq 40 -1 1); do ln -s l$((i + 1)) l$i; done"
     " && ln -s l1 in.enc && ! cat in.enc 2>/dev/null", "in.txt", [], False,
     ["in.enc", "l1", "l41"], None, None),
    ("240-character name", f"echo old > {LONG} && ln -s {LONG} in.enc", "in.txt", [], True,
     ["in.enc", LONG], LONG, "as before"),
    # ACLs: a new file gets what creating it would give, a replaced one keeps exactly its own.
    ("new file, private default ACL", "setfacl -d -m u::rw,g::-,o::- .", "in.txt", [], True,
     ["in.enc"], "in.enc", "as touch gives"),
    ("new file, default ACL naming a user", "setfacl -d -m u::rw,u:nobody:rw,g::r,m::rw,o::- .",
     "in.txt", [], True, ["in.enc"], "in.enc", "as touch gives"),
    ("replaced file's ACL kept", "echo old > in.enc && setfacl -m u:nobody:rw,g::-,m::rw,o::-"
     " in.enc", "in.txt", [], True, ["in.enc"], "in.enc", "as before"),
    ("no ACL stays none", "echo old > in.enc && chmod 640 in.enc && setfacl -d -m"
     " u::rw,u:nobody:rw,g::r,m::rw,o::r .", "in.txt", [], True, ["in.enc"], "in.enc", "as before"),
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
    name, setup, typed, prefix, saved, names, written, expected = case
    os.chmod(folder, 0o755)  # a folder from tempfile is 0700: nobody could not reach it
    source = BIG if typed == "big.txt" else TEXT
    with open(os.path.join(folder, typed), "wb") as f:
        f.write(source)
    if typed == "big.txt":
        with open(os.path.join(folder, "big.enc"), "wb") as f:
            f.write(b"earlier output")
    subprocess.run(["bash", "-e", "-c", setup], cwd=folder, check=True)
    if expected == "as touch gives":
        subprocess.run(["touch", "reference"], cwd=folder, check=True)
    before = state(folder, names)
    keys = b"E\n" + typed.encode() + b"\ny\nk\nx\n"
    # LeakSanitizer cannot work under a tracer.
    env = dict(os.environ, ASAN_OPTIONS=os.environ.get("ASAN_OPTIONS", "") + ":detect_leaks=0")
    result = subprocess.run(prefix + [program], input=keys, cwd=folder, capture_output=True,
                            timeout=120, env=env)
    out_name = typed.split(".")[0] + ".enc"
    message = ("has been saved as: " if saved else "could not be saved as: ") + out_name
    checks.equal(f"{name}: message", f"\nYour encoded file {message}\n\n".encode() in result.stdout,
                 True)
    after = state(folder, names)
    if saved:
        path = os.path.join(folder, written)
        if expected == "as before":
            wanted = before[written][0]
        elif expected == "as touch gives":
            wanted = metadata(os.path.join(folder, "reference"))
        else:
            wanted = (stat.S_IFREG, expected[0], expected[1], before[written][0][3], acl(path))
        checks.equal(f"{name}: the coded text", content(path),
                     hashlib.sha256(coded(source)).hexdigest()[:16])
        checks.equal(f"{name}: metadata", metadata(path), wanted)
        del before[written], after[written]
    checks.equal(f"{name}: the other files", after, before)
    checks.equal(f"{name}: temporaries", temporaries(folder), [])


def main():
    if os.geteuid() != 0 or not all(map(shutil.which, ["strace", "setfacl", "setpriv"])):
        print("skipped: needs root, strace, setfacl (Debian package acl) and setpriv")
        return 77
    checks = Checks()
    with tempfile.TemporaryDirectory() as bin_folder:
        # A copy that nobody may run, wherever the build is.
        os.chmod(bin_folder, 0o755)
        program = shutil.copy(sys.argv[1], bin_folder)
        for case in CASES:
            with tempfile.TemporaryDirectory() as folder:
                run_case(program, case, folder, checks)
    return checks.finish()


if __name__ == "__main__":
    sys.exit(main())
