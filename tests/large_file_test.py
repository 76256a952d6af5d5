"""Encodes a sparse file just past 2 GiB, which a 32-bit program reaches only with 64-bit file
offsets: without them the file counts as empty. The screen, as long as the file, goes to
/dev/null; the coded form's first and last bytes and its size are checked.

Usage: large_file_test.py [COMMAND PREFIX ...] path/to/kestrovane
"""
import os
import subprocess
import sys
import tempfile

from checks import Checks, program_command

SIZE = 2**31 + 10


def main():
    command = program_command(sys.argv[1:])
    checks = Checks()
    # The input takes no room on the disk, but its coded form takes 2 GiB until the folder goes.
    with tempfile.TemporaryDirectory() as folder:
        with open(os.path.join(folder, "big.txt"), "wb") as f:
            f.write(b"hello")
            f.seek(SIZE - 5)
            f.write(b"there")
        status = subprocess.run(command, input=b"E\nbig.txt\ny\nk\nX\n", cwd=folder,
                                stdout=subprocess.DEVNULL, timeout=600).returncode
        checks.equal("exit status", status, 0)
        output = os.path.join(folder, "big.enc")
        coded = {}
        if os.path.exists(output):
            coded["size"] = os.path.getsize(output)
            with open(output, "rb") as f:
                coded["first bytes"] = f.read(5)
                f.seek(max(coded["size"] - 5, 0))
                coded["last bytes"] = f.read(5)
        checks.equal("big.enc", coded,
                     {"first bytes": b"2r2ht", "last bytes": b"4ll2h", "size": SIZE})
    return checks.finish()


if __name__ == "__main__":
    sys.exit(main())
