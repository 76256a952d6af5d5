#!/usr/bin/env python3
"""Measures the CPU the program spends showing a file on a terminal, against `cat -v`.

Usage: bench/shown_on_terminal.py [path/to/kestrovane ...]
       (default: build/kestrovane; give two builds to compare them in the same runs)

For three 100 MiB files, ASCII prose with digits and line feeds, the same prose with CR LF line
ends, and coloured log lines with a fair share of control bytes, CR LF line ends and some UTF-8,
it runs, alternating and seven times each: the program with its output on a new pseudo-terminal
and its keys piped in, listing the file once (E, the name, n, X), and `cat -v` of the same file
onto the same kind of pseudo-terminal. This process drains the terminal's other side as fast as
it can. It prints the medians of each command's user and system CPU (from its rusage) and the
program's user CPU as a ratio to `cat -v`'s.
"""
import os
import pty
import random
import statistics
import subprocess
import sys
import tempfile

RUNS = 7
MIB = 100
KEYS = b"E\nbig.txt\nn\nX\n"
WORDS = ("the of and to in a is that for it as was with be by on not he this are or his from at "
         "which but have an they you were her she there would their we him been has when who will "
         "more no if out so said what up its about into than them can only other new some time "
         "could these two may then do first any my now such like our over man me even most made "
         "after also did many before must through back years where much your way well down should "
         "because each just those people how too little state good very make world still own see "
         "men work long get here between both life being under never day same another know while "
         "last might us great old year off come since against go came right used take three"
         ).split()


def prose(chance, line_end):
    words = chance.choices(WORDS, k=chance.randint(4, 16))
    if chance.random() < 0.3:
        words.insert(chance.randrange(len(words)), str(chance.randint(0, 99999)))
    return " ".join(words).capitalize().encode() + b"." + line_end


def log_line(chance, line_end):
    level = chance.choice([b"\x1b[32mok\x1b[0m", b"\x1b[1;31mfailed\x1b[0m",
                           b"\x1b[33mslow\x1b[0m"])
    return (b"%02d:%02d:%02d\t" % (chance.randint(0, 23), chance.randint(0, 59),
                                   chance.randint(0, 59)) + level + b"\t" +
            prose(chance, b"").replace(b" ", chance.choice([b" ", b"\xc2\xa0"]), 1) +
            chance.choice([b"", b" caf\xc3\xa9", b" \x07", b" 50%\x08\x08\x08"]) + line_end)


TEXTS = {
    "prose": lambda chance: prose(chance, b"\n"),
    "prose, CR LF": lambda chance: prose(chance, b"\r\n"),
    "coloured log": lambda chance: log_line(chance, b"\r\n"),
}


def make_file(path, line):
    """Writes MIB MiB of lines, one MiB of them repeated, so no pattern is shorter than that."""
    chance = random.Random(1)
    block = bytearray()
    while len(block) < 1024 * 1024:
        block += line(chance)
    with open(path, "wb") as f:
        for _ in range(MIB):
            f.write(block[: 1024 * 1024])


def on_terminal(command, stdin, folder):
    """Runs a command with its output on a new pseudo-terminal; returns its user and system CPU
    in seconds and how many bytes the terminal received."""
    master, slave = pty.openpty()
    child = subprocess.Popen(command, stdin=stdin, stdout=slave, stderr=subprocess.DEVNULL,
                             cwd=folder)
    os.close(slave)
    received = 0
    while True:
        try:
            chunk = os.read(master, 1 << 20)
        except OSError:  # EIO: the child closed its side and everything it wrote has been read
            break
        if not chunk:
            break
        received += len(chunk)
    os.close(master)
    # wait4 rather than Popen.wait: the child's own rusage, not that of all children so far.
    _, status, usage = os.wait4(child.pid, 0)
    child.returncode = os.waitstatus_to_exitcode(status)
    if child.returncode != 0:
        sys.exit(f"{command[0]} failed with status {child.returncode}")
    return usage.ru_utime, usage.ru_stime, received


def show(program, folder):
    with tempfile.TemporaryFile() as keys:
        keys.write(KEYS)
        keys.seek(0)
        user, system, received = on_terminal([program], keys, folder)
    if received < MIB * 1024 * 1024:
        sys.exit(f"{program} showed {received} bytes, less than the file")
    return user, system


def cat_v(folder):
    return on_terminal(["cat", "-v", "big.txt"], subprocess.DEVNULL, folder)[:2]


def measure(programs, folder):
    commands = [lambda p=p: show(p, folder) for p in programs] + [lambda: cat_v(folder)]
    for command in commands:  # warm the page cache
        command()
    figures = [([], []) for _ in commands]
    for _ in range(RUNS):
        for command, (users, systems) in zip(commands, figures):
            user, system = command()
            users.append(user)
            systems.append(system)
    return [(statistics.median(u), statistics.median(s)) for u, s in figures]


def main():
    programs = [os.path.abspath(p) for p in sys.argv[1:]] or [os.path.abspath("build/kestrovane")]
    print(f"medians of {RUNS} alternating runs, {MIB} MiB shown on a pseudo-terminal; "
          "CPU seconds")
    print("| file | program | user | system | cat -v's user | cat -v's system | user / cat -v's |")
    print("|---|---|---|---|---|---|---|")
    with tempfile.TemporaryDirectory(prefix="kestrovane-bench-") as folder:
        for name, line in TEXTS.items():
            make_file(os.path.join(folder, "big.txt"), line)
            figures = measure(programs, folder)
            cat_user, cat_system = figures[-1]
            for program, (user, system) in zip(programs, figures):
                print(f"| {name} | {program} | {user:.3f} s | {system:.3f} s | {cat_user:.3f} s | "
                      f"{cat_system:.3f} s | {user / cat_user:.2f} |", flush=True)


if __name__ == "__main__":
    main()
