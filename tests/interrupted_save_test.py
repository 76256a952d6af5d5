"""Interrupts the program while it saves, and makes its saves fail, end to end.

An 8 MiB file is encoded while this test reads the program's screen only up to the question, so
the program blocks writing the coded form to the console with its new copy half written. The
temporary must then be private; a signal, or the screen's pipe being closed, must remove it and
end the program by that signal, leaving the earlier output as it was; a hangup the program
inherited as ignored (under nohup) must leave the save to complete. If instead the input file
shrinks there, the save must fail with the usual message, not crash. Then, in a part of its own
that needs strace (skipped where it is missing), the flush to disk or the rename fails and the usual
failure message must follow, with nothing left; interrupted reads of the input are retried.

Usage: interrupted_save_test.py signals|strace path/to/kestrovane
"""
import hashlib
import os
import resource
import shutil
import signal
import stat
import subprocess
import sys
import tempfile
import time

from checks import Checks, coded, folder_contents, untraced_environment

BIG = b"The quick brown fox jumps over the lazy dog.\n" * (8 * 1024 * 1024 // 45)
CODED_BIG = coded(BIG)
EARLIER = b"earlier output"
QUESTION = b"Do you want to encode this file? Y/N\n"
# A save of a longer name before the interrupted one: the guard must not keep the end of its name.
FIRST = "much-longer-name.txt"  # at most 20 characters may be typed
FIRST_KEYS = f"E\n{FIRST}\ny\nk\n".encode()
# Each: its name, the signal, the keys of the saves before the interrupted one, and the folder
# that the interrupted save's input is typed in (its temporary lies there, not in the current one).
INTERRUPTIONS = [("SIGINT", signal.SIGINT, b"", ""), ("SIGTERM", signal.SIGTERM, b"", ""),
                 ("SIGHUP", signal.SIGHUP, b"", ""),
                 ("closed screen pipe", signal.SIGPIPE, b"", ""),
                 ("SIGINT after a longer name", signal.SIGINT, FIRST_KEYS, ""),
                 ("SIGINT, the input typed in a folder", signal.SIGINT, b"", "sub/"),
                 ("SIGQUIT (Ctrl-\\)", signal.SIGQUIT, b"", ""),
                 ("SIGUSR1", signal.SIGUSR1, b"", ""), ("CPU time limit", signal.SIGXCPU, b"", ""),
                 ("power failing", signal.SIGPWR, b"", ""), ("SIGIO", signal.SIGIO, b"", ""),
                 ("a real-time signal", signal.SIGRTMIN + 2, b"", ""),
                 ("the last real-time signal", signal.SIGRTMAX, b"", "")]


def keys(folder=""):
    return f"E\n{folder}big.txt\ny\nk\nx\n".encode()


def digests(contents):
    """Each file's size and digest by name: a failure then prints a line, not megabytes."""
    return {name: (len(content), hashlib.sha256(content).hexdigest()[:16])
            for name, content in contents.items()}


def files(folder):
    return digests(folder_contents(folder))


def prepare(folder, first=False, inside=""):
    shutil.rmtree(folder)
    os.makedirs(os.path.join(folder, inside))
    with open(os.path.join(folder, inside, "big.txt"), "wb") as f:
        f.write(BIG)
    with open(os.path.join(folder, inside, "big.enc"), "wb") as f:
        f.write(EARLIER)
    os.chmod(os.path.join(folder, inside, "big.enc"), 0o644)
    if first:
        with open(os.path.join(folder, FIRST), "wb") as f:
            f.write(EARLIER)


def default_signals():
    # Whatever started this test, the program starts with the interruptions at their defaults.
    for _, number, _, _ in INTERRUPTIONS:
        signal.signal(number, signal.SIG_DFL)
    resource.setrlimit(resource.RLIMIT_CORE, (0, 0))  # SIGQUIT would leave a core file


def as_under_nohup():
    default_signals()
    signal.signal(signal.SIGHUP, signal.SIG_IGN)


def temporaries(folder):
    return [name for name in os.listdir(folder) if name.endswith(".tmp")]


def start_blocked(program, folder, how, checks, signals=default_signals, before=b"", inside=""):
    """Starts an encode of the input in the folder `inside`, after the saves `before`, and returns
    once it is blocked with its temporary half written."""
    prepare(folder, bool(before), inside)
    child = subprocess.Popen([program], cwd=folder, stdin=subprocess.PIPE,
                             stdout=subprocess.PIPE, preexec_fn=signals)
    child.stdin.write(before + keys(inside))
    child.stdin.close()
    screen = b""
    while screen.count(QUESTION) <= before.count(b"E\n"):
        chunk = child.stdout.read1(1 << 20)
        if not chunk:
            break
        screen += chunk
    beside = os.path.join(folder, inside)
    deadline = time.monotonic() + 30
    while not temporaries(beside) and time.monotonic() < deadline:
        time.sleep(0.01)
    names = temporaries(beside)
    checks.equal(f"{how}: one temporary while blocked", len(names), 1)
    if names:
        checks.equal(f"{how}: the temporary is hidden", names[0].startswith(".big.enc."), True)
        mode = os.stat(os.path.join(beside, names[0])).st_mode
        checks.equal(f"{how}: the temporary has no group or other bits", stat.S_IMODE(mode) & 0o077,
                     0)
    return child


def finish(child):
    try:
        return child.wait(timeout=30)
    except subprocess.TimeoutExpired:
        child.kill()
        return child.wait()


def interrupt(program, folder, how, number, before, inside, checks):
    child = start_blocked(program, folder, how, checks, before=before, inside=inside)
    if number == signal.SIGPIPE:
        child.stdout.close()
    else:
        child.send_signal(number)
    checks.equal(f"{how}: ended by the signal", finish(child), -number)
    first = {FIRST: EARLIER, FIRST.replace(".txt", ".enc"): coded(EARLIER)} if before else {}
    checks.equal(f"{how}: files", files(folder),
                 digests({inside + "big.enc": EARLIER, inside + "big.txt": BIG, **first}))


def hangup_under_nohup(program, folder, checks):
    """A hangup that the program inherited as ignored stays ignored: the save completes."""
    child = start_blocked(program, folder, "nohup", checks, as_under_nohup)
    child.send_signal(signal.SIGHUP)
    screen = child.stdout.read()
    checks.equal("nohup: exit status", finish(child), 0)
    checks.equal("nohup: saved message",
                 b"\nYour encoded file has been saved as: big.enc\n\n" in screen, True)
    checks.equal("nohup: files", files(folder), digests({"big.enc": CODED_BIG, "big.txt": BIG}))


def shrink_input(program, folder, checks):
    child = start_blocked(program, folder, "shrunk input", checks)
    os.truncate(os.path.join(folder, "big.txt"), 1000)
    screen = child.stdout.read()
    checks.equal("shrunk input: exit status", finish(child), 0)
    checks.equal("shrunk input: failure message",
                 b"\nYour encoded file could not be saved as: big.enc\n\n" in screen, True)
    checks.equal("shrunk input: files", files(folder),
                 digests({"big.enc": EARLIER, "big.txt": BIG[:1000]}))


# Each case: what strace is told, and whether the save still succeeds; standard error says why not.
STRACE_CASES = [
    (["-e", "inject=fdatasync,fsync:error=EIO"], False),
    (["-e", "inject=rename,renameat,renameat2:error=EIO"], False),
    # Every other read of the input interrupted: each is retried, and nothing is lost.
    (["-P", "big.txt", "-e", "inject=read,pread64:error=EINTR:when=1+2"], True),
    # A read error while listing is the system's, not a change of the input.
    (["-P", "big.txt", "-e", "inject=read:error=EIO:when=2"], False, "big.txt"),
]


def under_strace(program, folder, checks, options, saved, blamed="big.enc"):
    prepare(folder)
    command = ["strace", "-f", "-o", os.devnull] + options + [program]
    result = subprocess.run(command, input=keys(), cwd=folder, capture_output=True, timeout=120,
                            env=untraced_environment())
    what = " ".join(options)
    message = b"has been saved as: big.enc" if saved else b"could not be saved as: big.enc"
    checks.equal(f"{what}: exit status", result.returncode, 0)
    checks.equal(f"{what}: message", b"\nYour encoded file " + message + b"\n\n" in result.stdout,
                 True)
    checks.equal(f"{what}: files", files(folder),
                 digests({"big.enc": CODED_BIG if saved else EARLIER, "big.txt": BIG}))
    told = [line for line in result.stderr.decode().splitlines() if not line.startswith("strace")]
    checks.equal(f"{what}: why", told,
                 [] if saved else [f"kestrovane: {blamed}: Input/output error"])


def main():
    part, program = sys.argv[1], os.path.abspath(sys.argv[2])
    if part == "strace" and not shutil.which("strace"):
        print("skipped: strace is not installed, so the failed flush and rename cannot be tried")
        return 77
    checks = Checks()
    with tempfile.TemporaryDirectory() as folder:
        if part == "signals":
            for how, number, before, inside in INTERRUPTIONS:
                interrupt(program, folder, how, number, before, inside, checks)
            hangup_under_nohup(program, folder, checks)
            shrink_input(program, folder, checks)
        else:
            for case in STRACE_CASES:
                under_strace(program, folder, checks, *case)
    return checks.finish()


if __name__ == "__main__":
    sys.exit(main())
