#!/usr/bin/env python3
"""Times the whole encode dialogue against tr doing the same swap, and measures peak memory.

Usage: bench/encode_vs_tr.py [--before path/to/other/kestrovane] [path/to/kestrovane] [folder ...]
       (defaults: build/kestrovane; a new folder under the system's temporary folder, and one
       under /dev/shm where it exists)

In each folder, for a 10 MiB and a 100 MiB text file, it runs, alternating, the encode dialogue
(E, the name, y, a key, X; console to /dev/null), tr swapping the same ten vowel/digit pairs into
another file, and tr followed by `sync` on its output (the durability the encode gives: its data
is on the disk when it ends). Every timed run starts after an untimed sync, so none pays for
another's writeback. It prints the medians, the encode's ratio to each, and the encode's peak
resident memory, as rows of the table in bench/README.md. With --before, another build of the
program (an earlier commit's, say) is run in the same alternation, and its median, the encode's
ratio to it and its peak memory stand beside them.
"""
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

RUNS = 11
KEYS = b"E\nbig.txt\ny\nk\nX\n"
SWAP = ["tr", "aeiouAEIOU1234567890", "1234567890aeiouAEIOU"]


def make_text(path, mib):
    line = b"The quick brown fox jumps over the lazy dog; 0123456789 AEIOU aeiou.\n"
    block = line * (1024 * 1024 // len(line) + 1)
    with open(path, "wb") as f:
        for _ in range(mib):
            f.write(block[: 1024 * 1024])


def run(command, stdin, stdout, cwd):
    """Runs a command; returns its wall time in seconds and its peak resident memory in KiB.

    GNU time reports the memory: a child's own figure from this process would include the
    pages it inherits from Python before it starts the program.
    """
    with tempfile.NamedTemporaryFile() as report:
        start = time.perf_counter()
        status = subprocess.run(["/usr/bin/time", "-o", report.name, "-f", "%M"] + command,
                                stdin=stdin, stdout=stdout, cwd=cwd).returncode
        elapsed = time.perf_counter() - start
        if status != 0:
            sys.exit(f"{command[0]} failed with status {status}")
        return elapsed, int(report.read().split()[-1])


def encode(program, folder):
    with tempfile.TemporaryFile() as keys, open(os.devnull, "wb") as null:
        keys.write(KEYS)
        keys.seek(0)
        return run([program], keys, null, folder)


def swap_with_tr(folder, then_sync=False):
    # The shell's redirection replaces the earlier output inside the timed run, as the encode
    # replaces its earlier output.
    command = " ".join(f"'{word}'" for word in SWAP) + " < big.txt > tr.out"
    if then_sync:
        command += " && sync tr.out"
    return run(["sh", "-c", command], subprocess.DEVNULL, subprocess.DEVNULL, folder)


def check_output(folder):
    with open(os.path.join(folder, "big.enc"), "rb") as a, \
            open(os.path.join(folder, "tr.out"), "rb") as b:
        if a.read() != b.read()[::-1]:
            sys.exit("the encoded file is not the coded form of the input")


def measure(program, before, folder, mib):
    make_text(os.path.join(folder, "big.txt"), mib)
    encode(program, folder)  # warm the page cache
    swap_with_tr(folder)
    ours, memory, plain, synced, theirs, their_memory = [], [], [], [], [], []
    for _ in range(RUNS):
        if before:
            os.sync()
            elapsed, peak = encode(before, folder)
            theirs.append(elapsed)
            their_memory.append(peak)
        os.sync()
        elapsed, peak = encode(program, folder)
        ours.append(elapsed)
        memory.append(peak)
        os.sync()
        plain.append(swap_with_tr(folder)[0])
        os.sync()
        synced.append(swap_with_tr(folder, then_sync=True)[0])
    check_output(folder)
    encode_s, tr_s, tr_sync_s = (statistics.median(x) for x in (ours, plain, synced))
    row = (f"| {mib} MiB | {encode_s:.3f} s | {tr_s:.3f} s | {tr_sync_s:.3f} s | "
           f"{encode_s / tr_s:.2f} | {encode_s / tr_sync_s:.2f} | {max(memory) / 1024:.1f} MiB |")
    if before:
        before_s = statistics.median(theirs)
        row += (f" {before_s:.3f} s | {encode_s / before_s:.2f} | "
                f"{max(their_memory) / 1024:.1f} MiB |")
    return row


def file_system(folder):
    found = subprocess.run(["findmnt", "-n", "-o", "FSTYPE", "--target", folder],
                           capture_output=True, text=True).stdout.split()
    # A folder mounted over twice is listed twice: the last mount is the one in use.
    return found[-1] if found else "?"


def main():
    args = sys.argv[1:]
    before = None
    if args[:1] == ["--before"] and len(args) > 1:
        before, args = os.path.abspath(args[1]), args[2:]
    program = os.path.abspath(args[0] if args else "build/kestrovane")
    places = args[1:] or [tempfile.gettempdir()] + (
        ["/dev/shm"] if os.path.isdir("/dev/shm") else [])
    print(f"medians of {RUNS} alternating runs; encode / tr, encode / (tr + sync)"
          + (", encode / before" if before else ""))
    print("| file system | size | encode | tr | tr + sync | ratio to tr | ratio to tr + sync "
          "| encode's peak memory |" + (" before | ratio to before | before's peak memory |"
                                        if before else ""))
    for place in places:
        folder = tempfile.mkdtemp(prefix="kestrovane-bench-", dir=place)
        try:
            for mib in (10, 100):
                print(f"| {file_system(folder)} " + measure(program, before, folder, mib),
                      flush=True)
        finally:
            shutil.rmtree(folder)


if __name__ == "__main__":
    main()
