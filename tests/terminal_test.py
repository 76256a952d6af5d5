"""Drives the built program on a pseudo-terminal as a person would: it waits until each prompt
is on the screen before typing the next answer, so a prompt that is not flushed before the
program waits makes the test time out. Then it checks the whole screen against the same keys
sent through a pipe, and the files written.

Usage: terminal_test.py [COMMAND PREFIX ...] path/to/kestrovane
"""
import os
import pty
import select
import subprocess
import sys
import tempfile
import termios
import time

from checks import MENU, MENU_END, Checks, folder_contents, program_command, run

TIMEOUT = 10

# Each step: the text the screen must end with, then the keys typed.
FIRST_RUN = [
    (MENU_END, "E\n"),
    ("the file you want to encode:\n", "test.txt\n"),
    ("Do you want to encode this file? Y/N\n", "y\n"),
    ("Press any Key and then Enter to return to main menu\n", "k\n"),
    (MENU_END, "M\n"),
    ("(no spaces):\n", "note\n"),
    ("Please enter your message\n", "hello there\n"),
    ("Do you want to encode this Message? Y/N\n", "y\n"),
    ("Press any Key and then Enter to return to the menu\n", "k\n"),
    (MENU_END, "H\n"),
    ("Press any key and enter to return to the Menu:\n", "k\n"),
    (MENU_END, "A\n"),
    ("more (press any key & enter)\n", "x\n"),
    ("Press any key and enter to return to the Menu:\n", "k\n"),
    (MENU_END, "Q\n"),
    ("Error! Try again:\n" + MENU, "X\n"),
]
SECOND_RUN = [
    (MENU_END, "D\n"),
    ("the file you want to decode\n", "test.enc\n"),
    ("Do you want to decode this file? Y/N\n", "y\n"),
    ("Press any Key and then Enter to exit\n", "k\n"),
]
# A save refused: standard error, the same terminal, says why under the name, both shown
# visibly, and the closing prompt follows as a pipe gets it.
REFUSED = "could not be saved as: \x1b[1mnone/x.enc"
WHY = "\nkestrovane: \x1b[1mnone/x.enc: No such file or directory"
THIRD_RUN = [
    (MENU_END, "E\n"),
    ("the file you want to encode:\n", "\x1b[1mnone/x.txt\n"),
    ("Do you want to encode this file? Y/N\n", "y\n"),
    ("Are SURE you want to continue Y/n\n", "y\n"),
    ("Press any Key and then Enter to return to main menu\n", "k\n"),
    (MENU_END, "X\n"),
]


def as_terminal_shows(screen):
    """What a terminal shows of the screen a pipe gets: the reason a save was refused, and an
    escape visibly."""
    return screen.replace(REFUSED, REFUSED + WHY).replace("\x1b", "^[")


def read_screen(fd, screen, wanted):
    """Reads the terminal until the screen ends with `wanted` (the prompt the program waits at:
    anything after it would show in the comparison with the pipe's screen), or until the program
    ends where `wanted` is None."""
    deadline = time.monotonic() + TIMEOUT
    while time.monotonic() < deadline:
        if wanted is not None and screen.replace("\r\n", "\n").endswith(wanted):
            return screen
        ready, _, _ = select.select([fd], [], [], 0.2)
        if not ready:
            continue
        try:
            chunk = os.read(fd, 4096)
        except OSError:  # the program has ended
            chunk = b""
        if not chunk:
            if wanted is None:
                return screen
            break
        screen += chunk.decode("latin-1")
    raise AssertionError(f"waited {TIMEOUT} s for {wanted!r}; the screen ends with "
                         f"{screen[-200:]!r}")


def run_on_terminal(command, folder, steps):
    pid, fd = pty.fork()
    if pid == 0:
        os.chdir(folder)
        attributes = termios.tcgetattr(0)
        attributes[3] &= ~termios.ECHO  # the screen then holds only what the program writes
        termios.tcsetattr(0, termios.TCSANOW, attributes)
        os.execvp(command[0], command)
    screen = ""
    for wanted, keys in steps:
        screen = read_screen(fd, screen, wanted)
        os.write(fd, keys.encode())
    screen = read_screen(fd, screen, None)
    _, status = os.waitpid(pid, 0)
    os.close(fd)
    return os.waitstatus_to_exitcode(status), screen.replace("\r\n", "\n")


def errors_on_terminal(command, folder, screen_on_another):
    """Runs the third run's keys through a pipe, standard error a terminal of its own, standard
    output a pipe or another terminal: what standard error's terminal shows."""
    leader, follower = pty.openpty()
    screen_leader, screen = pty.openpty() if screen_on_another else (None, subprocess.DEVNULL)
    attributes = termios.tcgetattr(follower)
    attributes[1] &= ~termios.ONLCR  # the terminal shows the line ends as they were written
    termios.tcsetattr(follower, termios.TCSANOW, attributes)
    keys = "".join(keys for _, keys in THIRD_RUN).encode()
    with subprocess.Popen(command, stdin=subprocess.PIPE, cwd=folder, stdout=screen,
                          stderr=follower) as child:
        child.stdin.write(keys)
        child.stdin.close()
        while child.poll() is None:  # the other terminal is read, so the program never waits
            if screen_leader and select.select([screen_leader], [], [], 0.05)[0]:
                os.read(screen_leader, 65536)
    os.close(follower)
    if screen_leader is not None:
        os.close(screen)
        os.close(screen_leader)
    shown = b""
    while select.select([leader], [], [], 0)[0]:
        try:
            chunk = os.read(leader, 4096)
        except OSError:
            break
        if not chunk:
            break
        shown += chunk
    os.close(leader)
    return shown.decode("latin-1")


def main():
    command = program_command(sys.argv[1:])
    checks = Checks()
    with tempfile.TemporaryDirectory() as on_terminal, tempfile.TemporaryDirectory() as piped:
        for folder in (on_terminal, piped):
            with open(os.path.join(folder, "test.txt"), "wb") as f:
                f.write(b"hello there\nGeneral Kenobi\n")
        for number, steps in enumerate((FIRST_RUN, SECOND_RUN, THIRD_RUN), 1):
            keys = "".join(keys for _, keys in steps).encode()
            status, screen = run(command, keys, piped)
            checks.equal(f"run {number}: the terminal shows what a pipe gets",
                         run_on_terminal(command, on_terminal, steps),
                         (status, as_terminal_shows(screen.decode("latin-1"))))
        for screen_on_another in (False, True):
            checks.equal(f"standard error a terminal, {'another' if screen_on_another else 'no'}"
                         " terminal the screen: why, visibly, on a line of its own",
                         errors_on_terminal(command, piped, screen_on_another),
                         WHY[1:].replace("\x1b", "^[") + "\n")
        checks.equal("files", folder_contents(on_terminal),
                     {"test.txt": b"hello there\nGeneral Kenobi\n",
                      "test.enc": b"\n3b4n2K l1r2n2G\n2r2ht 4ll2h",
                      "note.enc": b"2r2ht 4ll2h"})
    return checks.finish()


if __name__ == "__main__":
    sys.exit(main())
