"""Runs the built program as a shell user would: keys piped in, the screen and files checked.

Usage: pipe_test.py [COMMAND PREFIX ...] path/to/kestrovane
"""
import os
import sys
import tempfile

from checks import CONTROLLING_FILE, MENU, Checks, coded, folder_contents, program_command, run


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
    # Control bytes from a file or the keys are shown visibly only on a terminal: a pipe gets
    # every echo as it is.
    message = b"\x1b]2;title\x07\x1b[A\r\x9b\xc2\x85"
    rows = [
        ("a listed file", b"E\nq.txt\ny\nk\n",
         b"The file currently contains:\n" + CONTROLLING_FILE + b"\nDo you want to encode",
         b"Encoded Output:\n" + coded(CONTROLLING_FILE) + b"\nYour encoded file has been saved as: "
         b"q.enc\n"),
        ("a typed message and name", b"M\nm\x1b[2J\x7f\n" + message + b"\ny\nk\n",
         b"the message you just typed was:\n " + message + b"\nDo you want",
         b"Encoded Output:\n" + coded(message) + b"\nYour encoded file has been saved as: "
         b"m\x1b[2J\x7f.enc\n"),
    ]
    for what, keys, listing, echo in rows:
        with tempfile.TemporaryDirectory() as folder:
            with open(os.path.join(folder, "q.txt"), "wb") as f:
                f.write(CONTROLLING_FILE)
            screen = run(program, keys, folder)[1]
            checks.equal(f"{what}: the listing or echo, byte for byte", listing in screen, True)
            checks.equal(f"{what}: the coded echo and name, byte for byte", echo in screen, True)
    return checks.finish()


if __name__ == "__main__":
    sys.exit(main())
