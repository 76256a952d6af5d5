"""Encodes a file into a folder whose file system is full, as root in a mount namespace of its
own: the failure is reported, no partial file is left, and an earlier output keeps its content.
On a file system that keeps no ACLs (ramfs), the save replaces the earlier output.

Exits 77 (skipped) where a tmpfs cannot be mounted.
"""
import os
import subprocess
import sys
import tempfile

from checks import Checks, coded, folder_contents

SKIP = 77


TEXT = b"The quick brown fox jumps over the lazy dog.\n" * 900  # 40 KiB
# Each: the file system mounted, its mount options, and whether the save succeeds.
FILE_SYSTEMS = [("tmpfs", ["-o", "size=64k"], False), ("ramfs", [], True)]


def inside(program, folder):
    """Runs in the new mount namespace: mounts each file system in `folder` and encodes into it."""
    checks = Checks()
    for kind, options, saved in FILE_SYSTEMS:
        mounted = os.path.join(folder, kind)
        os.mkdir(mounted)
        if subprocess.run(["mount", "-t", kind, *options, kind, mounted]).returncode:
            print(f"skipped: cannot mount a {kind} here")
            return SKIP
        with open(os.path.join(mounted, "big.txt"), "wb") as f:
            f.write(TEXT)
        with open(os.path.join(mounted, "big.enc"), "wb") as f:
            f.write(b"earlier output")
        result = subprocess.run([program], input=b"E\nbig.txt\ny\nk\nx\n", cwd=mounted,
                                capture_output=True, timeout=120)
        status, screen = result.returncode, result.stdout
        message = b"has been saved as: " if saved else b"could not be saved as: "
        checks.equal(f"{kind}: exit status", status, 0)
        checks.equal(f"{kind}: why, on standard error", result.stderr,
                     b"" if saved else b"kestrovane: big.enc: No space left on device\n")
        checks.equal(f"{kind}: message", b"\nYour encoded file " + message + b"big.enc\n\n"
                     b"Press any Key" in screen, True)
        checks.equal(f"{kind}: files", folder_contents(mounted),
                     {"big.enc": coded(TEXT) if saved else b"earlier output", "big.txt": TEXT})
    return checks.finish()


def main():
    program = os.path.abspath(sys.argv[1])
    if len(sys.argv) > 3 and sys.argv[2] == "--inside":
        return inside(program, sys.argv[3])
    if os.geteuid() != 0:
        print("skipped: mounting a tmpfs needs root")
        return SKIP
    with tempfile.TemporaryDirectory() as folder:
        command = ["unshare", "--mount", "--propagation", "private", sys.executable,
                   os.path.abspath(__file__), program, "--inside", folder]
        try:
            result = subprocess.run(command, timeout=60)
        except FileNotFoundError:
            print("skipped: unshare is not installed")
            return SKIP
        if result.returncode not in (0, 1, SKIP):
            print("skipped: no mount namespace could be made here")
            return SKIP
        return result.returncode


if __name__ == "__main__":
    sys.exit(main())
