#!/usr/bin/env python3
"""Times the whole encode dialogue against tr doing the same swap, and measures peak memory.

Usage: bench/encode_vs_tr.py [path/to/kestrovane] [folder]
       (defaults: build/kestrovane, a new folder under the system's temporary folder)

Makes a 100 MiB text file, then, alternating, runs the encode dialogue (E, the name, y, a key,
X; console to /dev/null) and tr swapping the same ten vowel/digit pairs into another file, five
runs each, and prints the median wall times and their ratio; then the peak resident memory of
the encode for a 10 MiB and a 100 MiB input.
"""
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

RUNS = 5
KEYS = b"E\nbig.txt\ny\nk\nX\n"


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


def swap_with_tr(folder):
    with open(os.path.join(folder, "big.txt"), "rb") as src, \
            open(os.path.join(folder, "tr.out"), "wb") as dst:
        return run(["tr", "aeiouAEIOU1234567890", "1234567890aeiouAEIOU"], src, dst, folder)


def main():
    program = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build/kestrovane")
    folder = tempfile.mkdtemp(prefix="kestrovane-bench-",
                              dir=sys.argv[2] if len(sys.argv) > 2 else None)
    try:
        make_text(os.path.join(folder, "big.txt"), 100)
        encode(program, folder)  # warm the page cache
        swap_with_tr(folder)
        ours, theirs = [], []
        for _ in range(RUNS):
            # Each run starts with no dirty pages, so neither pays for the other's writeback.
            os.sync()
            ours.append(encode(program, folder)[0])
            os.sync()
            theirs.append(swap_with_tr(folder)[0])
        with open(os.path.join(folder, "big.enc"), "rb") as a, \
                open(os.path.join(folder, "big.txt"), "rb") as b:
            b.seek(-4096, os.SEEK_END)
            if a.read(4096) != bytes(reversed(b.read())).translate(
                    bytes.maketrans(b"aeiouAEIOU1234567890", b"1234567890aeiouAEIOU")):
                sys.exit("the encoded file is not the coded form of the input")
        encode_median, tr_median = statistics.median(ours), statistics.median(theirs)
        print(f"100 MiB, median of {RUNS}: encode dialogue {encode_median:.3f} s, "
              f"tr {tr_median:.3f} s, ratio {encode_median / tr_median:.2f}")
        for mib in (10, 100):
            make_text(os.path.join(folder, "big.txt"), mib)
            print(f"peak resident memory of the encode, {mib} MiB input: "
                  f"{encode(program, folder)[1] / 1024:.1f} MiB")
    finally:
        shutil.rmtree(folder)


if __name__ == "__main__":
    main()
