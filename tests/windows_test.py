"""Runs kestrovane.exe under wine beside the Linux build and checks that Windows users get the
same program: the same screen once the console's CR LF line ends are read as LF, the same files,
files with CR LF line breaks restored byte for byte, full paths with backslashes, and the failure
message for an output that cannot be saved.

Usage: windows_test.py path/to/kestrovane path/to/kestrovane.exe
"""
import os
import shutil
import sys
import tempfile

from checks import Checks, folder_contents, run

SAMPLE = b"hello there\r\nGeneral Kenobi\r\n\r\nlast line, no break"
SESSIONS = [
    b"E\ntest.txt\ny\nk\nM\nnote\nhello there\ny\nk\nH\nk\nA\nx\nk\nQ\nE\ntest.txt\nn\nX\n",
    b"E\nempty.txt\ny\ny\nk\nE\nnone\\b.txt\ny\ny\nk\nD\ntest.enc\ny\nk\n",
]
# A full path must fit the 20 characters of a name: Z:\tmp\kw\test.txt is 18.
SHORT_FOLDER = "/tmp/kw"


def main():
    linux, windows = (os.path.abspath(path) for path in sys.argv[1:3])
    checks = Checks()
    with tempfile.TemporaryDirectory() as prefix, tempfile.TemporaryDirectory() as native, \
            tempfile.TemporaryDirectory() as emulated:
        env = dict(os.environ, WINEDEBUG="-all", WINEPREFIX=prefix)
        wine = ["wine", windows]
        for folder in (native, emulated):
            with open(os.path.join(folder, "test.txt"), "wb") as f:
                f.write(SAMPLE)
            open(os.path.join(folder, "empty.txt"), "wb").close()
        for number, keys in enumerate(SESSIONS, 1):
            status, screen = run(wine, keys, emulated, env)
            checks.equal(f"session {number}: the screen, CR LF read as LF",
                         (status, screen.replace(b"\r\n", b"\n").replace(b"none\\b", b"none/b")),
                         run([linux], keys.replace(b"\\", b"/"), native))
        checks.equal("files", folder_contents(emulated), folder_contents(native))
        checks.equal("test.txt restored byte for byte", folder_contents(emulated)["test.txt"],
                     SAMPLE)

        shutil.rmtree(SHORT_FOLDER, ignore_errors=True)
        os.makedirs(SHORT_FOLDER)
        try:
            with open(os.path.join(SHORT_FOLDER, "test.txt"), "wb") as f:
                f.write(SAMPLE)
            screen = run(wine, b"E\nZ:\\tmp\\kw\\test.txt\ny\nk\nx\n", emulated, env)[1]
            checks.equal("saved message for a full path",
                         b"has been saved as: Z:\\tmp\\kw\\test.enc\r\n" in screen, True)
            checks.equal("the output of a full path is beside its input",
                         folder_contents(SHORT_FOLDER).get("test.enc"),
                         folder_contents(native)["test.enc"])
        finally:
            shutil.rmtree(SHORT_FOLDER, ignore_errors=True)
    return checks.finish()


if __name__ == "__main__":
    sys.exit(main())
