"""Runs the built program as a shell user would: keys piped in, the screen and files checked."""
import os
import subprocess
import sys
import tempfile

MENU = ("\n                 Welcome to Kestrovane Version 1.1 \n"
        + "-" * 66 + "\n"
        + " " * 30 + "Menu" + " " * 32 + "\n"
        "Press: \nE for encode, D for decode, M for manual encode, \n"
        "H for help, A for about, or X for exit\n")


def run(program, keys, folder):
    result = subprocess.run([program], input=keys, cwd=folder, capture_output=True, timeout=20)
    return result.returncode, result.stdout


def main():
    program = os.path.abspath(sys.argv[1])
    failures = []
    checks = []

    def check(what, actual, expected):
        checks.append(what)
        if actual != expected:
            failures.append(f"{what}:\n  expected {expected!r}\n  actual   {actual!r}")

    with tempfile.TemporaryDirectory() as folder:
        check("x", run(program, b"x\n", folder), (0, MENU.encode()))
        check("end of input", run(program, b"", folder), (0, MENU.encode()))
        with open(os.path.join(folder, "test.txt"), "wb") as f:
            f.write(b"hello there")
        code, screen = run(program, b"E\ntest.txt\ny\nk\nD\ntest.enc\ny\nk\n", folder)
        check("encode then decode: exit status", code, 0)
        check("encode then decode: screen ends", screen.endswith(
            b"  Decoded output :\nhello there\nYour decoded file has been saved as: test.txt"
            b"\n\nPress any Key and then Enter to exit\n"), True)
        with open(os.path.join(folder, "test.enc"), "rb") as f:
            check("test.enc", f.read(), b"2r2ht 4ll2h")
        with open(os.path.join(folder, "test.txt"), "rb") as f:
            check("test.txt", f.read(), b"hello there")

    for failure in failures:
        print(failure)
    print(f"{len(checks) - len(failures)} passed, {len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
