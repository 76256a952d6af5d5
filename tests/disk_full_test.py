"""Encodes a file into a folder whose file system is full, as root in a mount namespace of its
own: the failure is reported, no partial file is left, and an earlier output keeps its content.

Exits 77 (skipped) where a tmpfs cannot be mounted.
"""
import os
import subprocess
import sys
import tempfile

SKIP = 77


def inside(program, folder):
    """Runs in the new mount namespace: mounts a 64 KiB tmpfs on `folder` and encodes into it."""
    if subprocess.run(["mount", "-t", "tmpfs", "-o", "size=64k", "tmpfs", folder]).returncode:
        print("skipped: cannot mount a tmpfs here")
        return SKIP
    with open(os.path.join(folder, "big.txt"), "wb") as f:
        f.write(b"The quick brown fox jumps over the lazy dog.\n" * 900)  # 40 KiB
    with open(os.path.join(folder, "big.enc"), "wb") as f:
        f.write(b"earlier output")
    result = subprocess.run([program], input=b"E\nbig.txt\ny\nk\nx\n", cwd=folder,
                            capture_output=True, timeout=20)
    failures = []
    if result.returncode != 0:
        failures.append(f"exit status {result.returncode}")
    if b"\nYour encoded file could not be saved as: big.enc\n\nPress any Key" not in result.stdout:
        failures.append("no failure message: " + result.stdout[-300:].decode(errors="replace"))
    if sorted(os.listdir(folder)) != ["big.enc", "big.txt"]:
        failures.append(f"folder holds {sorted(os.listdir(folder))}")
    with open(os.path.join(folder, "big.enc"), "rb") as f:
        if f.read() != b"earlier output":
            failures.append("the earlier big.enc was changed")
    for failure in failures:
        print(failure)
    print(f"{4 - len(failures)} passed, {len(failures)} failed")
    return 1 if failures else 0


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
