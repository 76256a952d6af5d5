"""Runs kestrovane.exe under wine beside the Linux build and checks that Windows users get the
same program: the same screen, but for the CR LF that ends the program's own lines (a listed file's
bytes, and piped keys, pass exactly), the same files,
files with CR LF line breaks restored byte for byte, full paths with backslashes, and the failure
message for an output that cannot be saved. Names in other languages are typed in the code page
Windows gives them (ANSI when piped, the console's own in a console) and name the right files; in
a console driven through tmux, Ctrl-C during a save removes the unfinished copy. Outputs reach
the file their name leads to (links, network shares, full paths with their prefix), and an input
that another program holds open is never saved as an empty copy.

Usage: windows_test.py path/to/kestrovane path/to/kestrovane.exe
"""
import contextlib
import os
import re
import shutil
import subprocess
import sys
import tempfile
import threading
import time

from checks import MENU_END, Checks, coded, folder_contents, run

SAMPLE = b"hello there\r\nGeneral Kenobi\r\n\r\nlast line, no break"
CODED_SAMPLE = coded(SAMPLE)
SESSIONS = [
    b"E\ntest.txt\ny\nk\nM\nnote\nhello there\ny\nk\nH\nk\nA\nx\nk\nQ\nE\ntest.txt\nn\nX\n",
    b"E\nempty.txt\ny\ny\nk\nE\nnone\\b.txt\ny\ny\nk\nD\ntest.enc\ny\nk\n",
]
# A full path must fit the 20 characters of a name: Z:\tmp\kw\test.txt is 18.
SHORT_FOLDER = "/tmp/kw"

# Piped keys are text in the ANSI code page that wine takes from LANG (where that locale is
# installed; otherwise it uses 1252). Each case: locale, name typed, file name on disk, keys.
# A name that does not convert (cut at 20 bytes after the lead byte of a character of code page
# 932) behaves as a missing file whose output cannot be saved.
CAFE = "caf\u00e9"
TEST_RU = "\u0442\u0435\u0441\u0442"
NAME_CASES = [
    ("C.UTF-8", CAFE.encode("cp1252"), CAFE,
     b"E\n%s.txt\ny\nk\nD\n%s.enc\ny\nk\n", {CAFE + ".txt", CAFE + ".enc"}),
    ("ru_RU.UTF-8", TEST_RU.encode("cp1251"), TEST_RU, b"E\n%s.txt\ny\nk\nx\n",
     {TEST_RU + ".txt", TEST_RU + ".enc"}),
    ("ja_JP.UTF-8", b"a" * 19 + b"\x82", None, b"E\n%s\xa0.txt\ny\ny\nk\n", set()),
]


UNRELATED = b"unrelated"
JAPANESE_NAME = "\u65e5\u672c\u8a9e\u306e\u30d5\u30a1\u30a4\u30eb"  # 16 bytes in code page 932
TABLE = "a.\u8868.txt"  # 表 is 0x95 0x5C in code page 932: its second byte is a backslash
# Saves beside their input and over Windows files, each in a fresh folder. Each case: the files
# to start with, symbolic links made beside them (kept as links), their attributes set first
# (attrib), the keys (text, typed in code page 932 under a locale), the saved messages, why a
# save was refused (the system's words as wine gives them, in the locale's language), the files
# afterwards, and the attributes outputs then show. A case whose typed names hold a full path
# runs in one folder only: SHORT_FOLDER, or a fresh folder made drive Y:, where the program
# starts in the subfolder `work`, and whose subfolders may stand for network shares.
SAVE_CASES = [
    dict(what="a dotted folder, with backslashes",
         files={"v1.0/a.txt": SAMPLE, "v1.txt": UNRELATED, "v1.enc": UNRELATED},
         keys="E\nv1.0\\a.txt\ny\nk\nD\nv1.0\\a.enc\ny\nk\n",
         saved=["encoded file has been saved as: v1.0\\a.enc",
                "decoded file has been saved as: v1.0\\a.txt"],
         after={"v1.0/a.txt": SAMPLE, "v1.0/a.enc": CODED_SAMPLE, "v1.txt": UNRELATED,
                "v1.enc": UNRELATED}),
    dict(what="a name typed in code page 932", locale="ja_JP.UTF-8", files={TABLE: SAMPLE},
         keys=f"E\n{TABLE}\ny\nk\n", saved=["has been saved as: a.enc"],
         after={TABLE: SAMPLE, "a.enc": CODED_SAMPLE}),
    # Cut at 20 bytes inside its last character, the name does not convert; its folders must
    # still be found, so that nothing is saved over an unrelated v1.enc.
    dict(what="a name cut inside a character, in a dotted folder", locale="ja_JP.UTF-8",
         files={"v1.0/x.txt": SAMPLE, "v1.enc": UNRELATED},
         keys=f"M\nv1.0\\{JAPANESE_NAME}\nhello\ny\nk\nx\n",
         saved=[f"could not be saved as: v1.0\\{JAPANESE_NAME[:-1]}\ufffd.enc"],
         told=[f"v1.0\\{JAPANESE_NAME[:-1]}\ufffd.enc: Unicode \u5909\u63db\u304c\u3042\u308a"
               "\u307e\u305b\u3093\u3002"],
         after={"v1.0/x.txt": SAMPLE, "v1.enc": UNRELATED}),
    dict(what="a read-only output", files={"ro.txt": SAMPLE, "ro.enc": b"old"},
         attrib={"ro.enc": "+r"}, keys="E\nro.txt\ny\nk\n", saved=["could not be saved as: ro.enc"],
         told=["ro.enc: is read-only"], after={"ro.txt": SAMPLE, "ro.enc": b"old"},
         shown={"ro.enc": "AR"}),
    dict(what="a stream of a file", files={}, keys="E\nnotes:x.txt\ny\ny\nk\n",
         saved=["could not be saved as: notes:x.enc"],
         told=["notes:x.enc: is a stream of a file, not a file"], after={}),
    dict(what="device names", files={}, keys="M\nnul\nhi\ny\nk\nM\nCom1\nhi\ny\nk\nx\n",
         saved=["could not be saved as: nul.enc", "could not be saved as: Com1.enc"],
         told=["nul.enc: is a device, not a file", "Com1.enc: is a device, not a file"], after={}),
    dict(what="a hidden output", files={"notes.txt": SAMPLE, "notes.enc": b"old"},
         attrib={"notes.enc": "+h"}, keys="E\nnotes.txt\ny\nk\n",
         saved=["has been saved as: notes.enc"],
         after={"notes.txt": SAMPLE, "notes.enc": CODED_SAMPLE}, shown={"notes.enc": "AH"}),
    dict(what="a new and a visible output", files={"new.txt": SAMPLE, "seen.txt": SAMPLE,
                                                   "seen.enc": b"old"},
         keys="E\nnew.txt\ny\nk\nE\nseen.txt\ny\nk\nx\n",
         saved=["has been saved as: new.enc", "has been saved as: seen.enc"],
         after={"new.txt": SAMPLE, "new.enc": CODED_SAMPLE, "seen.txt": SAMPLE,
                "seen.enc": CODED_SAMPLE},
         shown={"new.enc": "A", "seen.enc": "A"}),
    dict(what="a link at the output", files={"notes.txt": SAMPLE, "real.enc": b"old"},
         links={"notes.enc": "real.enc"}, keys="E\nnotes.txt\ny\nk\n",
         saved=["has been saved as: notes.enc"],
         after={"notes.txt": SAMPLE, "notes.enc": CODED_SAMPLE, "real.enc": CODED_SAMPLE}),
    dict(what="trailing spaces and dots", files={"ab": SAMPLE, "a.txt": SAMPLE},
         keys="E\nab \ny\nk\nE\na.txt.\ny\nk\nx\n",
         saved=["has been saved as: ab.enc", "has been saved as: a.enc"],
         after={"ab": SAMPLE, "ab.enc": CODED_SAMPLE, "a.txt": SAMPLE, "a.enc": CODED_SAMPLE}),
    dict(what="\\\\?\\ and \\\\.\\ full paths", place="short",
         files={"a.txt": SAMPLE, "b.txt": SAMPLE},
         keys="E\n\\\\?\\Z:\\tmp\\kw\\a.txt\ny\nk\nE\n\\\\.\\Z:\\tmp\\kw\\b.txt\ny\nk\nx\n",
         saved=["has been saved as: \\\\?\\Z:\\tmp\\kw\\a.enc",
                "has been saved as: \\\\.\\Z:\\tmp\\kw\\b.enc"],
         after={"a.txt": SAMPLE, "a.enc": CODED_SAMPLE, "b.txt": SAMPLE, "b.enc": CODED_SAMPLE}),
    # Under \\?\ a name is taken as it stands: the folder `d.` is not `d`, and `..` is a name.
    dict(what="a \\\\?\\ folder ending in a dot", place="drive",
         files={"d./a.txt": SAMPLE, "d/a.enc": UNRELATED},
         keys="E\n\\\\?\\Y:\\d.\\a.txt\ny\nk\nE\n\\\\?\\Y:\\d.\\a.txt\ny\nk\nx\n",
         saved=["has been saved as: \\\\?\\Y:\\d.\\a.enc"],
         after={"d./a.txt": SAMPLE, "d./a.enc": CODED_SAMPLE, "d/a.enc": UNRELATED}),
    dict(what="a \\\\?\\ name holding ..", place="drive",
         files={"x/keep": UNRELATED, "a.txt": SAMPLE, "a.enc": UNRELATED},
         keys="E\n\\\\?\\Y:\\x\\..\\a.txt\ny\ny\nk\nx\n",
         saved=["could not be saved as: \\\\?\\Y:\\x\\..\\a.enc"],
         told=["\\\\?\\Y:\\x\\..\\a.enc: Invalid name."],
         after={"x/keep": UNRELATED, "a.txt": SAMPLE, "a.enc": UNRELATED}),
    # Wine gives both long names the short name LONG~LMQ, each with its own extension.
    dict(what="short names of other files",
         files={"longfilename.txt": SAMPLE, "long report 7826.enc": UNRELATED},
         keys="E\nLONG~LMQ.TXT\ny\nk\nM\nLONG~LMQ\nhello\ny\nk\nx\n",
         saved=["could not be saved as: LONG~LMQ.enc"],
         told=["LONG~LMQ.enc: is the short name of long report 7826.enc"] * 2,
         after={"longfilename.txt": SAMPLE, "long report 7826.enc": UNRELATED}),
    # Wine takes the share from a folder of its prefix: the file must reach it, and not the
    # folder of the share's name under the current drive's root.
    dict(what="a network share", place="drive", shares={"kwsrv/kwshare": "share"},
         files={"kwsrv/kwshare/keep": UNRELATED, "share/keep": UNRELATED},
         keys="M\n\\\\kwsrv\\kwshare\\m\nhello\ny\nk\nM\n//kwsrv/kwshare/n\nhello\ny\nk\nx\n",
         saved=["has been saved as: \\\\kwsrv\\kwshare\\m.enc",
                "has been saved as: //kwsrv/kwshare/n.enc"],
         after={"kwsrv/kwshare/keep": UNRELATED, "share/keep": UNRELATED,
                "share/m.enc": coded(b"hello"), "share/n.enc": coded(b"hello")}),
    # A listed file's bytes reach a pipe as they are; a ^Z typed is a character, not the end.
    dict(what="a CR LF file listed to a pipe", pipe=True, files={"notes.txt": SAMPLE},
         keys="E\nnotes.txt\nn\nx\n", listed="notes.txt", saved=[], after={"notes.txt": SAMPLE}),
    dict(what="^Z in a piped message", files={}, keys="M\nnote\nhel\x1alo\ny\nk\nx\n",
         saved=["has been saved as: note.enc"], after={"note.enc": coded(b"hel\x1alo")}),
    # A serial port, here wine's COM9 mapped to a FIFO, is never opened, not even to be looked at.
    dict(what="a device's name typed as the input", device="com9", files={},
         keys="E\nCOM9.txt\nn\nE\nCOM9\nn\nx\n", saved=[], after={}),
    # Word processors hold their files open without sharing: such a file lists as empty, but
    # going on must not make an empty copy of it.
    dict(what="an input another program holds", held="notes.txt",
         files={"notes.txt": SAMPLE, "notes.enc": b"EARLIER CODED"},
         keys="E\nnotes.txt\ny\ny\nk\n", saved=["could not be saved as: notes.enc"],
         told=["notes.txt: Sharing violation."],
         after={"notes.txt": SAMPLE, "notes.enc": b"EARLIER CODED"}),
    dict(what="an output another program holds", held="notes.enc",
         files={"notes.txt": SAMPLE, "notes.enc": b"EARLIER CODED"},
         keys="E\nnotes.txt\ny\nk\n", saved=["could not be saved as: notes.enc"],
         told=["notes.enc: Sharing violation."],
         after={"notes.txt": SAMPLE, "notes.enc": b"EARLIER CODED"}),
]

# Holds the file it names open without sharing, says so, and lets it go when its input ends.
HOLDER_SOURCE = r"""
#include <windows.h>
int main(int argc, char** argv) {
  char c;
  DWORD got;
  if (argc < 2 || CreateFileA(argv[1], GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL) ==
                      INVALID_HANDLE_VALUE) {
    return 1;
  }
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), "held\n", 5, &got, NULL);
  while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), &c, 1, &got, NULL) && got) {
  }
  return 0;
}
"""


def build_holder(folder):
    """The holder, built by the cross compiler that built the program."""
    source = os.path.join(folder, "holder.c")
    with open(source, "w") as f:
        f.write(HOLDER_SOURCE)
    program = os.path.join(folder, "holder.exe")
    subprocess.run(["x86_64-w64-mingw32-gcc-posix", source, "-o", program], check=True)
    return program


@contextlib.contextmanager
def held(holder, name, folder, env):
    """Runs the body while another program holds `name` in `folder` open without sharing."""
    if not name:
        yield
        return
    process = subprocess.Popen(["wine", holder, name], cwd=folder, stdin=subprocess.PIPE,
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, env=env)
    try:
        if process.stdout.readline() != b"held\n":
            raise RuntimeError(f"the holder could not open {name}")
        yield
    finally:
        process.stdin.close()
        process.wait(timeout=60)


@contextlib.contextmanager
def device_behind_fifo(device, env):
    """Runs the body with wine's `device` (com9, say) mapped to a FIFO whose writer waits for a
    reader; yields a function that tells whether it still waits, None without a device."""
    if not device:
        yield None
        return
    with tempfile.TemporaryDirectory() as folder:
        fifo = os.path.join(folder, "fifo")
        os.mkfifo(fifo)
        link = os.path.join(env["WINEPREFIX"], "dosdevices", device)
        if os.path.lexists(link):
            os.remove(link)
        os.symlink(fifo, link)
        opened = threading.Event()
        writer = threading.Thread(target=lambda: (os.close(os.open(fifo, os.O_WRONLY)),
                                                  opened.set()), daemon=True)
        writer.start()
        try:
            yield lambda: not opened.is_set()
        finally:
            os.remove(link)
            os.close(os.open(fifo, os.O_RDONLY | os.O_NONBLOCK))  # lets a waiting writer go
            writer.join(10)


def run_wine(command, keys, folder, env, errors=None, pipe=False):
    """Runs `command` under wine as checks.run runs a program, and adds what it wrote to standard
    error to `errors`, if given. The screen goes to a file, or to a pipe that is read once the
    program has ended (a screen that fits the pipe): wine's own background processes may hold the
    pipe open until the wineserver quits, seconds later."""
    with tempfile.TemporaryFile() as screen, tempfile.TemporaryFile() as told:
        process = subprocess.Popen(["wine"] + command, stdin=subprocess.PIPE, cwd=folder,
                                   stdout=subprocess.PIPE if pipe else screen, stderr=told, env=env)
        process.stdin.write(keys)
        process.stdin.close()
        status = process.wait(timeout=120)
        if pipe:
            os.set_blocking(process.stdout.fileno(), False)
            screen.write(process.stdout.read() or b"")
            process.stdout.close()
        screen.seek(0)
        if errors is not None:
            told.seek(0)
            errors += [line for line in told.read().splitlines(True)
                       if line.startswith(b"kestrovane: ")]
        return status, screen.read()


def own_line_ends_crlf(screen):
    """A Linux screen as Windows shows it: the program's own line ends CR LF, while the bytes of
    the sample file and of its coded form, listed or echoed, stay exactly as they are."""
    pieces = re.split(b"(" + re.escape(SAMPLE) + b"|" + re.escape(CODED_SAMPLE) + b")", screen)
    return b"".join(piece if i % 2 else piece.replace(b"\n", b"\r\n")
                    for i, piece in enumerate(pieces))


def tree(folder):
    """Maps the path of each file under `folder`, from it, to its content."""
    contents = {}
    for parent, _, names in os.walk(folder):
        for name in names:
            path = os.path.join(parent, name)
            with open(path, "rb") as f:
                contents[os.path.relpath(path, folder)] = f.read()
    return contents


def attributes(folder, env):
    """Maps the name of each file in `folder` to the attribute letters attrib shows for it."""
    shown = {}
    for line in run_wine(["cmd", "/c", "attrib"], b"", folder, env)[1].decode().splitlines():
        flags, _, path = line.partition("Z:\\")
        if path:
            shown[path.rsplit("\\", 1)[-1]] = "".join(sorted(flags.split()))
    return shown


def case_folders(case, env):
    """Yields each run of `case`: its description, its folder, the name of 250 characters that
    folder takes while the program runs (or None), and the subfolder the program starts in.
    A case of its own runs in a fresh folder, short and then long; a case that types full paths
    in SHORT_FOLDER, or in a fresh folder made drive Y:, whose root is then the current drive's."""
    place = case.get("place")
    if place == "short":
        shutil.rmtree(SHORT_FOLDER, ignore_errors=True)
        os.makedirs(SHORT_FOLDER)
        try:
            yield case["what"], SHORT_FOLDER, None, ""
        finally:
            shutil.rmtree(SHORT_FOLDER, ignore_errors=True)
        return
    for length in (0,) if place else (0, 250):
        with tempfile.TemporaryDirectory() as top:
            folder = os.path.join(top, "case")
            os.mkdir(folder)
            if place == "drive":
                devices = os.path.join(env["WINEPREFIX"], "dosdevices")
                mapped = {os.path.join(devices, "y:"): folder}
                for share, subfolder in case.get("shares", {}).items():
                    mapped[os.path.join(devices, "unc", share)] = os.path.join(folder, subfolder)
                for name, target in mapped.items():
                    os.makedirs(os.path.dirname(name), exist_ok=True)
                    os.symlink(target, name)
                os.mkdir(os.path.join(folder, "work"))
                try:
                    yield case["what"], folder, None, "work"
                finally:
                    for name in mapped:
                        os.remove(name)
            elif length:
                yield (f"{case['what']}, in a {length}-character folder", folder,
                       os.path.join(top, "d" * (length - len("Z:" + top) - 1)), "")
            else:
                yield case["what"], folder, None, ""


def saves(windows, holder, env, checks):
    """Every case in its folders; in the long one the temporary (26 characters longer than its
    output) passes MAX_PATH. Wine's attrib cannot reach past MAX_PATH, so attributes are set and
    read while the folder has its short name."""
    locales = installed_locales()
    for case in SAVE_CASES:
        locale = case.get("locale", "C.UTF-8")
        if locale.lower().replace("utf-8", "utf8") not in locales:
            print(f"skipped {case['what']}: the locale {locale} is not installed")
            continue
        encoding = "cp932" if locale.startswith("ja") else "cp1252"
        for what, folder, long_folder, start in case_folders(case, env):
            for name, content in case["files"].items():
                os.makedirs(os.path.dirname(os.path.join(folder, name)), exist_ok=True)
                with open(os.path.join(folder, name), "wb") as f:
                    f.write(content)
            for name, target in case.get("links", {}).items():
                os.symlink(target, os.path.join(folder, name))
            for name, flag in case.get("attrib", {}).items():
                run_wine(["cmd", "/c", "attrib", flag, name], b"", folder, env)
            if long_folder:
                os.rename(folder, long_folder)
            errors = []
            with held(holder, case.get("held"), long_folder or folder, env), \
                    device_behind_fifo(case.get("device"), env) as device_waits:
                screen = run_wine([windows], case["keys"].encode(encoding),
                                  os.path.join(long_folder or folder, start),
                                  dict(env, LANG=locale), errors,
                                  case.get("pipe", False))[1].decode(encoding, "replace")
                if device_waits:
                    checks.equal(f"{what}: the device is never opened", device_waits(), True)
            if long_folder:
                os.rename(long_folder, folder)
            checks.equal(f"{what}: the saved messages",
                         [saved for saved in case["saved"] if saved + "\r\n" not in screen], [])
            checks.equal(f"{what}: why not saved, on standard error",
                         [line.decode(encoding, "replace") for line in errors],
                         [f"kestrovane: {told}\r\n" for told in case.get("told", [])])
            if case.get("listed"):
                listing = case["files"][case["listed"]].decode(encoding)
                checks.equal(f"{what}: the listing shows the file's bytes",
                             f"contains:\r\n{listing}\r\nDo you" in screen, True)
            checks.equal(f"{what}: the files", tree(folder), case["after"])
            if case.get("links"):
                checks.equal(f"{what}: the links stay links to their files",
                             {name: os.path.islink(os.path.join(folder, name)) and
                              os.readlink(os.path.join(folder, name)) for name in case["links"]},
                             case["links"])
            if case.get("shown"):
                shown = attributes(folder, env)
                checks.equal(f"{what}: the attributes",
                             {name: shown.get(name) for name in case["shown"]}, case["shown"])


def installed_locales():
    result = subprocess.run(["locale", "-a"], capture_output=True, text=True)
    return {name.lower().replace("utf-8", "utf8") for name in result.stdout.split()}


def typed_names(windows, env, checks):
    locales = installed_locales()
    for locale, typed, name, keys, expected in NAME_CASES:
        if locale.lower().replace("utf-8", "utf8") not in locales:
            print(f"skipped names typed under {locale}: that locale is not installed")
            continue
        with tempfile.TemporaryDirectory() as folder:
            if name:
                with open(os.path.join(folder, name + ".txt"), "wb") as f:
                    f.write(SAMPLE)
            screen = run_wine([windows], keys.replace(b"%s", typed), folder,
                              dict(env, LANG=locale))[1]
            what = f"name {typed!r} under {locale}"
            saved = b"has been saved as: " if name else b"could not be saved as: "
            checks.equal(f"{what}: the saved message shows the name as typed",
                         saved + typed + b".enc\r\n" in screen, True)
            checks.equal(f"{what}: files", set(os.listdir(folder)), expected)
            if name:
                checks.equal(f"{what}: the coded file", folder_contents(folder).get(name + ".enc"),
                             CODED_SAMPLE)


def wait_for_screen(session, text, seconds=60):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        screen = subprocess.run(["tmux", "capture-pane", "-p", "-t", session],
                                capture_output=True, text=True).stdout
        if text in screen:
            return True
        time.sleep(0.2)
    return False


def type_line(session, keys):
    subprocess.run(["tmux", "send-keys", "-t", session, "-l", keys], check=True)
    subprocess.run(["tmux", "send-keys", "-t", session, "Enter"], check=True)


def console_session(windows, env, checks):
    """In a console (wine inside tmux), a name typed with an accent names the file, and Ctrl-C
    while a large file is saved leaves no temporary and the earlier output as it was."""
    if not shutil.which("tmux"):
        print("skipped the console session: tmux is not installed")
        return
    big = b"The quick brown fox jumps over the lazy dog.\n" * 200000
    session = f"kestrovane-wine-{os.getpid()}"
    with tempfile.TemporaryDirectory() as folder:
        with open(os.path.join(folder, CAFE + ".txt"), "wb") as f:
            f.write(SAMPLE)
        with open(os.path.join(folder, "big.txt"), "wb") as f:
            f.write(big)
        with open(os.path.join(folder, "big.enc"), "wb") as f:
            f.write(b"earlier output")
        command = " ".join(["env", "LANG=C.UTF-8", f"WINEPREFIX={env['WINEPREFIX']}",
                            "WINEDEBUG=-all", "wine", windows, "; sleep 600"])
        subprocess.run(["tmux", "new-session", "-d", "-s", session, "-x", "100", "-y", "40", "-c",
                        folder, command], check=True)
        try:
            steps = [(MENU_END.strip(), "E"), ("encode:", CAFE + ".txt"), ("Y/N", "y"),
                     ("main menu", "k")]
            for prompt, keys in steps:
                if not wait_for_screen(session, prompt):
                    checks.equal(f"console: prompt {prompt!r} shown", False, True)
                    return
                type_line(session, keys)
                time.sleep(0.5)
            checks.equal("console: the accented name's coded file",
                         folder_contents(folder).get(CAFE + ".enc"), CODED_SAMPLE)
            # The console keeps keys typed ahead until the program asks for them; the earlier
            # screen still shows every prompt, so only the temporary tells the save has begun.
            for keys in ("E", "big.txt", "y"):
                time.sleep(1)
                type_line(session, keys)
            deadline = time.monotonic() + 30
            while time.monotonic() < deadline and not any(
                    name.endswith(".tmp") for name in os.listdir(folder)):
                time.sleep(0.05)
            subprocess.run(["tmux", "send-keys", "-t", session, "C-c"], check=True)
            time.sleep(3)
            contents = folder_contents(folder)
            checks.equal("console: Ctrl-C during a save leaves the files as they were",
                         (sorted(contents), contents["big.enc"]),
                         (sorted(["big.enc", "big.txt", CAFE + ".txt", CAFE + ".enc"]),
                          b"earlier output"))
        finally:
            subprocess.run(["tmux", "kill-session", "-t", session], capture_output=True)


def main():
    linux, windows = (os.path.abspath(path) for path in sys.argv[1:3])
    checks = Checks()
    with tempfile.TemporaryDirectory() as prefix, tempfile.TemporaryDirectory() as native, \
            tempfile.TemporaryDirectory() as emulated:
        env = dict(os.environ, WINEDEBUG="-all", WINEPREFIX=prefix)
        for folder in (native, emulated):
            with open(os.path.join(folder, "test.txt"), "wb") as f:
                f.write(SAMPLE)
            open(os.path.join(folder, "empty.txt"), "wb").close()
        for number, keys in enumerate(SESSIONS, 1):
            status, screen = run_wine([windows], keys, emulated, env)
            linux_status, linux_screen = run([linux], keys.replace(b"\\", b"/"), native)
            checks.equal(f"session {number}: the screen, the program's own line ends CR LF",
                         (status, screen.replace(b"none\\b", b"none/b")),
                         (linux_status, own_line_ends_crlf(linux_screen)))
        checks.equal("files", folder_contents(emulated), folder_contents(native))
        checks.equal("test.txt restored byte for byte", folder_contents(emulated)["test.txt"],
                     SAMPLE)

        shutil.rmtree(SHORT_FOLDER, ignore_errors=True)
        os.makedirs(SHORT_FOLDER)
        try:
            with open(os.path.join(SHORT_FOLDER, "test.txt"), "wb") as f:
                f.write(SAMPLE)
            screen = run_wine([windows], b"E\nZ:\\tmp\\kw\\test.txt\ny\nk\nx\n", emulated, env)[1]
            checks.equal("saved message for a full path",
                         b"has been saved as: Z:\\tmp\\kw\\test.enc\r\n" in screen, True)
            checks.equal("the output of a full path is beside its input",
                         folder_contents(SHORT_FOLDER).get("test.enc"),
                         folder_contents(native)["test.enc"])
        finally:
            shutil.rmtree(SHORT_FOLDER, ignore_errors=True)
        typed_names(windows, env, checks)
        saves(windows, build_holder(native), env, checks)
        console_session(windows, env, checks)
    return checks.finish()


if __name__ == "__main__":
    sys.exit(main())
