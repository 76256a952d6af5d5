"""Runs the built program as a shell user would: keys piped in, the screen and files checked.

Usage: pipe_test.py [COMMAND PREFIX ...] path/to/kestrovane
"""
import os
import sys
import tempfile

from checks import MENU, Checks, folder_contents, program_command, run


def main():
    program = program_command(sys.argv[1:])
    checks = Checks()
    with tempfile.TemporaryDirectory() as folder:
        checks.equal("x", run(program, b"x\n", folder), (0, MENU.encode()))
        checks.equal("end of input", run(program, b"", folder), (0, MENU.encode()))
        with open(os.path.join(folder, "test.txt"), "wb") as f:
            f.write(b"hello there")
        status, screen = run(program, b"E\ntest.txt\ny\nk\nD\ntest.enc\ny\nk\n", folder)
        checks.equal("encode then decode: exit status", status, 0)
        tail = (b"  Decoded output :\nhello there\nYour decoded file has been saved as: "
                b"test.txt\n\nPress any Key and then Enter to exit\n")
        checks.equal("encode then decode: the end of the screen", screen[-len(tail):], tail)
        checks.equal("files", folder_contents(folder),
                     {"test.enc": b"2r2ht 4ll2h", "test.txt": b"hello there"})
    return checks.finish()


if __name__ == "__main__":
    sys.exit(main())
