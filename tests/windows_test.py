"""Runs kestrovane.exe under wine beside the Linux build and checks that Windows users get the
same program: the same screen once the console's CR LF line ends are read as LF, the same files,
files with CR LF line breaks restored byte for byte, full paths with backslashes, and the failure
message for an output that cannot be saved.

Usage: windows_test.py path/to/kestrovane path/to/kestrovane.exe
"""
import os
import shutil
import subprocess
import sys
import tempfile

SAMPLE = b"hello there\r\nGeneral Kenobi\r\n\r\nlast line, no break"
SESSIONS = [
    b"E\ntest.txt\ny\nk\nM\nnote\nhello there\ny\nk\nH\nk\nA\nx\nk\nQ\nE\ntest.txt\nn\nX\n",
    b"E\nempty.txt\ny\ny\nk\nE\nnone\\b.txt\ny\ny\nk\nD\ntest.enc\ny\nk\n",
]
# A full path must fit the 20 characters of a name: Z:\tmp\kw\test.txt is 18.
SHORT_FOLDER = "/tmp/kw"


def run(command, keys, folder, env=None):
    result = subprocess.run(command, input=keys, cwd=folder, capture_output=True, timeout=120,
                            env=env)
    return result.returncode, result.stdout


def folder_contents(folder):
    contents = {}
    for name in sorted(os.listdir(folder)):
        with open(os.path.join(folder, name), "rb") as f:
            contents[name] = f.read()
    return contents


def main():
    linux, windows = (os.path.abspath(path) for path in sys.argv[1:3])
    failures = []
    checks = 0

    def check(what, ok, detail=""):
        nonlocal checks
        checks += 1
        if not ok:
            failures.append(f"{what} {detail}")

    with tempfile.TemporaryDirectory() as prefix, tempfile.TemporaryDirectory() as native, \
            tempfile.TemporaryDirectory() as emulated:
        env = dict(os.environ, WINEDEBUG="-all", WINEPREFIX=prefix)
        wine = ["wine", windows]
        for folder in (native, emulated):
            with open(os.path.join(folder, "test.txt"), "wb") as f:
                f.write(SAMPLE)
            open(os.path.join(folder, "empty.txt"), "wb").close()
        for number, keys in enumerate(SESSIONS, 1):
            expected = run([linux], keys.replace(b"\\", b"/"), native)
            actual = run(wine, keys, emulated, env)
            actual = (actual[0], actual[1].replace(b"\r\n", b"\n").replace(b"none\\b", b"none/b"))
            check(f"session {number}: the screen differs from Linux's", actual == expected,
                  f"\nwine  {actual!r}\nLinux {expected!r}")
        native_files, emulated_files = folder_contents(native), folder_contents(emulated)
        check("the files differ from Linux's", native_files == emulated_files,
              f"\nwine  {emulated_files!r}\nLinux {native_files!r}")
        check("test.txt was not restored byte for byte", emulated_files.get("test.txt") == SAMPLE)
        saved = b"Your encoded file could not be saved as: none\\b.enc\r\n"
        check("no failure message for a missing folder",
              saved in run(wine, b"E\nnone\\b.txt\ny\ny\nk\nx\n", emulated, env)[1])

        shutil.rmtree(SHORT_FOLDER, ignore_errors=True)
        os.makedirs(SHORT_FOLDER)
        try:
            with open(os.path.join(SHORT_FOLDER, "test.txt"), "wb") as f:
                f.write(SAMPLE)
            screen = run(wine, b"E\nZ:\\tmp\\kw\\test.txt\ny\nk\nx\n", emulated, env)[1]
            check("no saved message for a full path",
                  b"has been saved as: Z:\\tmp\\kw\\test.enc\r\n" in screen, repr(screen[-300:]))
            check("the output of a full path is not beside its input",
                  folder_contents(SHORT_FOLDER).get("test.enc") == native_files.get("test.enc"))
        finally:
            shutil.rmtree(SHORT_FOLDER, ignore_errors=True)

    for failure in failures:
        print(failure)
    print(f"{checks - len(failures)} passed, {len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
