"""Encodes a file into a folder whose file system is full, as root in a mount namespace of its
own: the failure is reported, no partial file is left, and an earlier output keeps its content.

Exits 77 (skipped) where a tmpfs cannot be mounted.
"""
import os
import subprocess
import sys
import tempfile

from checks import Checks, folder_contents, run

SKIP = 77


def inside(program, folder):
    """Runs in the new mount namespace: mounts a 64 KiB tmpfs on `folder` and encodes into it."""
    if subprocess.run(["mount", "-t", "tmpfs", "-o", "size=64k", "tmpfs", folder]).returncode:
        print("skipped: cannot mount a tmpfs here")
        return SKIP
    text = b"The quick brown fox jumps over the lazy dog.\n" * 900  # 40 KiB
    with open(os.path.join(folder, "big.txt"), "wb") as f:
        f.write(text)
    with open(os.path.join(folder, "big.enc"), "wb") as f:
        f.write(b"earlier output")
    status, screen = run([program], b"E\nbig.txt\ny\nk\nx\n", folder)
    checks = Checks()
    checks.equal("exit status", status, 0)
    checks.equal("failure message", b"\nYour encoded file could not be saved as: big.enc\n\n"
                 b"Press any Key" in screen, True)
    checks.equal("files", folder_contents(folder),
                 {"big.enc": b"earlier output", "big.txt": text})
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
