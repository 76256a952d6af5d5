"""Runs kestrovane.exe under wine beside the Linux build and checks that Windows users get the
same program: the same screen, but for the CR LF that ends the program's own lines (a listed file's
bytes, and piped keys, pass exactly), the same files,
files with CR LF line breaks restored byte for byte, full paths with backslashes, and the failure
message for an output that cannot be saved. Names in other languages are typed in the code page
Windows gives them (ANSI when piped, the console's own in a console) and name the right files; in
a console driven through tmux, a listed file shows its letters, the refusal line is in one code
page, and Ctrl-C during a save removes the unfinished copy. Outputs reach the file their name
leads to (links, network shares, full paths with their prefix), a device's or a pipe's name in any
of its forms is never opened, and an input that another program holds open is never saved as an
empty copy.

Three parts, each run alone and each skipped (77) where it cannot try its rows: `saves`, the
sessions and saves any machine can run; `code_pages`, the names and saves typed in the code pages
of the ru_RU and ja_JP locales; `console`, the rows in a console, which need tmux (and ru_RU for
some). A part runs the rows it can, fails if one fails, and is skipped if one could not run. They
share the wine prefix WINEPREFIX names, if any.

Usage: windows_test.py saves|code_pages|console path/to/kestrovane path/to/kestrovane.exe
"""
import contextlib
import os
import re
import select
import shlex
import shutil
import subprocess
import sys
import tempfile
import threading
import time

from checks import MENU_END, Checks, Pane, coded, folder_contents, run

SAMPLE = b"hello there\r\nGeneral Kenobi\r\n\r\nlast line, no break"
CODED_SAMPLE = coded(SAMPLE)
# A folder typed as the input lists as empty, and its empty output is saved, as on Linux.
SESSIONS = [
    b"E\ntest.txt\ny\nk\nM\nnote\nhello there\ny\nk\nH\nk\nA\nx\nk\nQ\nE\ntest.txt\nn\nX\n",
    b"E\nempty.txt\ny\ny\nk\nE\nnone\\b.txt\ny\ny\nk\nE\nfolder\ny\ny\nk\nD\ntest.enc\ny\nk\n",
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
# Long enough that its coded echo fills a pipe, so the program waits while its temporary exists.
BIG = b"The quick brown fox jumps over the lazy dog.\n" * 25000
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
    # A name that becomes another file's short name while the input is coded: that file is put
    # there once the temporary exists, and the save, checking again before the move, is refused.
    dict(what="a short name taken during the save",
         files={"longfilename.txt": BIG}, meanwhile={"long report 7826.enc": UNRELATED},
         keys="E\nLONG~LMQ.TXT\ny\nk\nx\n", saved=["could not be saved as: LONG~LMQ.enc"],
         told=["LONG~LMQ.enc: is the short name of long report 7826.enc"],
         after={"longfilename.txt": BIG, "long report 7826.enc": UNRELATED}),
    # \\?\ and \??\ names in any case: a share's (UNC\), and a drive's. Only \ splits them, so
    # \\?\Y:/m is no drive's name, never Y:\m.enc.
    dict(what="\\\\?\\unc\\ in lower case, \\??\\ and / after \\\\?\\", place="drive",
         shares={"s/h": "share"},
         files={"share/a.txt": SAMPLE, "b.txt": SAMPLE, "ab ": SAMPLE, "m.enc": UNRELATED},
         keys="E\n\\\\?\\unc\\s\\h\\a.txt\ny\nk\nE\n\\??\\Y:\\b.txt\ny\nk\n"
              "E\n\\??\\Y:\\ab \ny\nk\nM\n\\\\?\\Y:/m\nhi\ny\nk\nx\n",
         saved=["has been saved as: \\\\?\\unc\\s\\h\\a.enc", "has been saved as: \\??\\Y:\\b.enc",
                "has been saved as: \\??\\Y:\\ab .enc", "could not be saved as: \\\\?\\Y:/m.enc"],
         told=["\\\\?\\Y:/m.enc: is a device, not a file"],
         after={"share/a.txt": SAMPLE, "share/a.enc": CODED_SAMPLE, "b.txt": SAMPLE,
                "b.enc": CODED_SAMPLE, "ab ": SAMPLE, "ab .enc": CODED_SAMPLE, "m.enc": UNRELATED}),
    # Another machine's pipes are its share PIPE, here a folder that stands for one: never opened
    # as an input, never replaced as an output, in any case.
    dict(what="another machine's pipe and mailslot", place="drive",
         shares={"s/pipe": "pipe", "s/mailslot": "slot"},
         files={"pipe/x.txt": SAMPLE, "pipe/m.enc": UNRELATED, "slot/m.enc": UNRELATED},
         keys="E\n\\\\s\\pipe\\x.txt\ny\ny\nk\nM\n\\\\?\\unc\\s\\PIPE\\m\nhi\ny\nk\n"
              "M\n\\\\s\\MailSlot\\m\nhi\ny\nk\nx\n",
         saved=["could not be saved as: \\\\s\\pipe\\x.enc",
                "could not be saved as: \\\\?\\unc\\s\\PIPE\\m.enc",
                "could not be saved as: \\\\s\\MailSlot\\m.enc"],
         told=["\\\\s\\pipe\\x.enc: is a device, not a file",
               "\\\\?\\unc\\s\\PIPE\\m.enc: is a device, not a file",
               "\\\\s\\MailSlot\\m.enc: is a device, not a file"],
         unlisted="pipe/x.txt",
         after={"pipe/x.txt": SAMPLE, "pipe/m.enc": UNRELATED, "slot/m.enc": UNRELATED}),
    # A listed file's bytes reach a pipe as they are; a ^Z typed is a character, not the end.
    dict(what="a CR LF file listed to a pipe", pipe=True, files={"notes.txt": SAMPLE},
         keys="E\nnotes.txt\nn\nx\n", listed="notes.txt", saved=[], after={"notes.txt": SAMPLE}),
    dict(what="^Z in a piped message", files={}, keys="M\nnote\nhel\x1alo\ny\nk\nx\n",
         saved=["has been saved as: note.enc"], after={"note.enc": coded(b"hel\x1alo")}),
    # A serial port, here wine's COM9 mapped to a FIFO, is never opened, not even to be looked at;
    # nor is COM10, which only \\.\ and the system's own names (\??\) reach, nor a pipe.
    dict(what="a device's name typed as the input", device="com9", files={},
         keys="E\nCOM9.txt\nn\nE\nCOM9\nn\nx\n", saved=[], after={}),
    dict(what="\\??\\COM10", device="com10", files={},
         keys="E\n\\??\\COM10\nn\nE\n\\??\\com10\nn\nM\n\\??\\COM10\nhi\ny\nk\nx\n",
         saved=["could not be saved as: \\??\\COM10.enc"],
         told=["\\??\\COM10.enc: is a device, not a file"], after={}),
    dict(what="\\??\\pipe\\ with a waiting server", served="\\\\.\\pipe\\kw", files={},
         keys="E\n\\??\\pipe\\kw\nn\nE\n\\??\\PIPE\\kw\nn\nE\n\\\\?\\pipe\\kw\nn\nx\n",
         saved=[], after={}),
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

# `hold FILE` holds that file open without sharing and says "held"; `serve PIPE` creates that pipe,
# says "waiting", and "connected" once a client opens it. Either ends when its input ends.
HELPER_SOURCE = r"""
#include <windows.h>
static void say(const char* text) {
  DWORD written;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text, lstrlenA(text), &written, NULL);
}
static DWORD WINAPI endWithInput(LPVOID unused) {
  char c;
  DWORD got;
  while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), &c, 1, &got, NULL) && got) {
  }
  ExitProcess(0);
  return 0;
}
int main(int argc, char** argv) {
  HANDLE pipe;
  if (argc < 3) {
    return 1;
  }
  if (argv[1][0] == 'h') {
    if (CreateFileA(argv[2], GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL) ==
        INVALID_HANDLE_VALUE) {
      return 1;
    }
    say("held\n");
    return endWithInput(NULL);
  }
  pipe = CreateNamedPipeA(argv[2], PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE, 1, 512, 512, 0, NULL);
  if (pipe == INVALID_HANDLE_VALUE) {
    return 1;
  }
  CreateThread(NULL, 0, endWithInput, NULL, 0, NULL);
  say("waiting\n");
  if (ConnectNamedPipe(pipe, NULL) || GetLastError() == ERROR_PIPE_CONNECTED) {
    say("connected\n");
  }
  Sleep(INFINITE);
  return 0;
}
"""


def build_helper(folder):
    """The helper, built by the cross compiler that built the program."""
    source = os.path.join(folder, "helper.c")
    with open(source, "w") as f:
        f.write(HELPER_SOURCE)
    program = os.path.join(folder, "helper.exe")
    subprocess.run(["x86_64-w64-mingw32-gcc-posix", source, "-o", program], check=True)
    return program


@contextlib.contextmanager
def helping(helper, mode, name, folder, env):
    """Runs the body while the helper holds `name` in `folder` open without sharing (`hold`), or
    serves the pipe `name` (`serve`); yields a function that gives what it said since."""
    if not name:
        yield None
        return
    process = subprocess.Popen(["wine", helper, mode, name], cwd=folder, stdin=subprocess.PIPE,
                               stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, env=env)
    said = [process.stdout.readline()]
    try:
        if said[0] not in (b"held\n", b"waiting\n"):
            raise RuntimeError(f"the helper could not {mode} {name}")

        def since():
            os.set_blocking(process.stdout.fileno(), False)
            return b"".join(said) + (process.stdout.read() or b"")
        yield since
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


def run_wine(command, keys, folder, env, errors=None, pipe=False, meanwhile=None):
    """Runs `command` under wine as checks.run runs a program, and adds what it wrote to standard
    error to `errors`, if given. The screen goes to a file, or to a pipe that is read once the
    program has ended (a screen that fits the pipe): wine's own background processes may hold the
    pipe open until the wineserver quits, seconds later. With `meanwhile`, the screen is a pipe
    read up to the caption of the coded echo, which follows the temporary's creation; then
    `meanwhile` is called, while the program, its echo filling the pipe, waits, and the rest is
    read as it comes until the program ends."""
    with tempfile.TemporaryFile() as screen, tempfile.TemporaryFile() as told:
        piped = pipe or meanwhile is not None
        process = subprocess.Popen(["wine"] + command, stdin=subprocess.PIPE, cwd=folder,
                                   stdout=subprocess.PIPE if piped else screen, stderr=told,
                                   env=env)
        process.stdin.write(keys)
        process.stdin.close()
        if meanwhile is not None:
            shown = b""
            while not re.search(rb"Encoded Output:|Decoded output :", shown):
                chunk = os.read(process.stdout.fileno(), 65536)
                if not chunk:
                    break
                shown += chunk
            meanwhile()
            while process.poll() is None:
                if select.select([process.stdout], [], [], 0.1)[0]:
                    shown += os.read(process.stdout.fileno(), 65536)
            screen.write(shown)
        status = process.wait(timeout=120)
        if piped:
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
                    if os.path.lexists(name):  # left by a run that was stopped
                        os.remove(name)
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


def put_files(folder, files):
    for name, content in files.items():
        os.makedirs(os.path.dirname(os.path.join(folder, name)), exist_ok=True)
        with open(os.path.join(folder, name), "wb") as f:
            f.write(content)


def saves(windows, helper, env, checks, skipped, in_other_code_pages):
    """Every case of the part in its folders (those typed under a locale other than C.UTF-8, or
    the others); in the long one the temporary (26 characters longer than its output) passes
    MAX_PATH. Wine's attrib cannot reach past MAX_PATH, so attributes are set and read while the
    folder has its short name."""
    locales = installed_locales()
    for case in SAVE_CASES:
        locale = case.get("locale", "C.UTF-8")
        if (locale != "C.UTF-8") != in_other_code_pages:
            continue
        if locale.lower().replace("utf-8", "utf8") not in locales:
            skipped.append(f"{case['what']}: the locale {locale} is not installed")
            continue
        encoding = "cp932" if locale.startswith("ja") else "cp1252"
        for what, folder, long_folder, start in case_folders(case, env):
            put_files(folder, case["files"])
            for name, target in case.get("links", {}).items():
                os.symlink(target, os.path.join(folder, name))
            for name, flag in case.get("attrib", {}).items():
                run_wine(["cmd", "/c", "attrib", flag, name], b"", folder, env)
            if long_folder:
                os.rename(folder, long_folder)
            errors, temporaries = [], []
            place = long_folder or folder

            def meanwhile():
                temporaries.extend(n for n in os.listdir(place) if n.endswith(".tmp"))
                put_files(place, case["meanwhile"])

            with helping(helper, "hold", case.get("held"), place, env), \
                    helping(helper, "serve", case.get("served"), place, env) as served, \
                    device_behind_fifo(case.get("device"), env) as device_waits:
                screen = run_wine([windows], case["keys"].encode(encoding),
                                  os.path.join(place, start),
                                  dict(env, LANG=locale), errors, case.get("pipe", False),
                                  meanwhile if "meanwhile" in case else None
                                  )[1].decode(encoding, "replace")
                if device_waits:
                    checks.equal(f"{what}: the device is never opened", device_waits(), True)
                if served:
                    checks.equal(f"{what}: the pipe's server is never reached", served(),
                                 b"waiting\n")
            if long_folder:
                os.rename(long_folder, folder)
            if "meanwhile" in case:
                checks.equal(f"{what}: the files were put there while the temporary existed",
                             len(temporaries), 1)
            checks.equal(f"{what}: the saved messages",
                         [saved for saved in case["saved"] if saved + "\r\n" not in screen], [])
            checks.equal(f"{what}: why not saved, on standard error",
                         [line.decode(encoding, "replace") for line in errors],
                         [f"kestrovane: {told}\r\n" for told in case.get("told", [])])
            if case.get("listed"):
                listing = case["files"][case["listed"]].decode(encoding)
                checks.equal(f"{what}: the listing shows the file's bytes",
                             f"contains:\r\n{listing}\r\nDo you" in screen, True)
            if case.get("unlisted"):
                checks.equal(f"{what}: the listing never shows the file's bytes",
                             case["files"][case["unlisted"]].decode(encoding) in screen, False)
            checks.equal(f"{what}: the files", folder_contents(folder), case["after"])
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


def typed_names(windows, env, checks, skipped, in_other_code_pages):
    locales = installed_locales()
    for locale, typed, name, keys, expected in NAME_CASES:
        if (locale != "C.UTF-8") != in_other_code_pages:
            continue
        if locale.lower().replace("utf-8", "utf8") not in locales:
            skipped.append(f"names typed under {locale}: that locale is not installed")
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


def ansi(text, code_page):
    """What a console shows of `text` read in the ANSI code page: each byte's character, or its hex
    form where the code page has none or a C1 control."""
    shown = ""
    for byte in text:
        try:
            character = bytes([byte]).decode(code_page)
        except UnicodeDecodeError:
            character = ""
        shown += character if character and not 0x80 <= ord(character) <= 0x9F else f"<{byte:02X}>"
    return shown


MENU_PROMPT = MENU_END.strip()
# 256 KiB of lines, the first block of a listing, whose last byte starts an é.
SPLIT_TEXT = (b"x" * 63 + b"\n") * 4095 + b"x" * 63 + "\u00e9 \u0442\u0435\u0441\u0442".encode()
UTF8_TEXT = "caf\u00e9 \u0442\u0435\u0441\u0442 \u8868".encode()
# A / written in three bytes, and a surrogate: neither is valid UTF-8, so each text is read in
# code page 1252.
OVERLONG_TEXT = b"a\xe0\x80\xafb"
SURROGATE_TEXT = b"c\xed\xa0\x80d"
JAPANESE_TEXT = "\u65e5\u672c\u8a9e\u306e\u30c6\u30ad\u30b9\u30c8"  # 日本語のテキスト
CP1251_TEXT = "\u041f\u0440\u0438\u0432\u0435\u0442, \u043c\u0438\u0440".encode("cp1251")
MISSING_FOLDER_RU = "\u043d\u0435\u0442\\" + TEST_RU  # нет\тест: its folder is missing
PATH_NOT_FOUND_RU = "\u041f\u0443\u0442\u044c \u043d\u0435 \u043d\u0430\u0439\u0434\u0435\u043d."


def encoding(name, answer="y"):
    return [(MENU_PROMPT, "E"), ("encode:", name), ("Y/N", answer)] + (
        [("main menu", "k")] if answer == "y" else [])


def message(name):
    return [(MENU_PROMPT, "M"), ("(no spaces):", name), ("your message", "hi"), ("Y/N", "y"),
            ("the menu", "k")]


# Sessions in a console (wine inside tmux). A file's text shows its characters: read as UTF-8
# where its first block is valid UTF-8, else in the ANSI code page (1252 under C.UTF-8, 1251 under
# ru_RU), its coded echo too; a C1 control, and a byte the code page leaves undefined, show their
# visible forms. The refusal line is in one code page: written to the console as characters, or to
# a file in the ANSI one. Each case: its locale, the files to start with, the steps (the prompt
# waited for, the keys typed), the texts the screen shows, whether standard error is a file and
# the lines it holds then (their code page), and the files afterwards. A case that `interrupts`
# types Ctrl-C once the save's temporary exists.
CONSOLE_CASES = [
    dict(what="a UTF-8 file, C1 controls, undefined bytes and an accented name", locale="C.UTF-8",
         files={"u.txt": UTF8_TEXT, "c1.txt": b"a\xc2\x85b x\x1b[2Jy\r", "w.txt": b"x\x81y caf\xe9",
                "o.txt": OVERLONG_TEXT, "s.txt": SURROGATE_TEXT, CAFE + ".txt": SAMPLE},
         steps=encoding("u.txt") + encoding("c1.txt", "n") + encoding("w.txt", "n") +
         encoding("o.txt", "n") + encoding("s.txt", "n") + encoding(CAFE + ".txt") +
         [(MENU_PROMPT, "x")],
         shown=["contains:\n" + UTF8_TEXT.decode() + "\nDo you",
                "Output:\n" + ansi(coded(UTF8_TEXT), "cp1252") + "\nYour",
                "a<U+0085>b x^[[2Jy^M", "x<81>y caf\u00e9",
                "contains:\n" + ansi(OVERLONG_TEXT, "cp1252") + "\nDo you",
                "contains:\n" + ansi(SURROGATE_TEXT, "cp1252") + "\nDo you"],
         after={"u.txt": UTF8_TEXT, "u.enc": coded(UTF8_TEXT), "c1.txt": b"a\xc2\x85b x\x1b[2Jy\r",
                "w.txt": b"x\x81y caf\xe9", "o.txt": OVERLONG_TEXT, "s.txt": SURROGATE_TEXT,
                CAFE + ".txt": SAMPLE, CAFE + ".enc": CODED_SAMPLE}),
    # A character cut at the end of the first block is joined with the rest of it.
    dict(what="a UTF-8 character split between two blocks", locale="C.UTF-8",
         files={"split.txt": SPLIT_TEXT}, steps=encoding("split.txt", "n") + [(MENU_PROMPT, "x")],
         shown=["x" * 63 + "\u00e9 \u0442\u0435\u0441\u0442\nDo you"],
         after={"split.txt": SPLIT_TEXT}),
    # A typed name shows as the bytes typed, in the console's code page (866): wine shows a
    # console's bytes as Latin-1.
    dict(what="a file in code page 1251, a refusal line and a typed name", locale="ru_RU.UTF-8",
         files={"r.txt": CP1251_TEXT},
         steps=encoding("r.txt") + message(MISSING_FOLDER_RU) + [(MENU_PROMPT, "x")],
         shown=["contains:\n" + CP1251_TEXT.decode("cp1251") + "\nDo you",
                "Output:\n" + coded(CP1251_TEXT).decode("cp1251") + "\nYour",
                f"kestrovane: {MISSING_FOLDER_RU}.enc: {PATH_NOT_FOUND_RU}",
                "saved as: " + MISSING_FOLDER_RU.encode("cp866").decode("latin-1") + ".enc"],
         after={"r.txt": CP1251_TEXT, "r.enc": coded(CP1251_TEXT)}),
    dict(what="a file in code page 932", locale="ja_JP.UTF-8",
         files={"j.txt": JAPANESE_TEXT.encode("cp932")},
         steps=encoding("j.txt", "n") + [(MENU_PROMPT, "x")],
         shown=["contains:\n" + JAPANESE_TEXT + "\nDo you"],
         after={"j.txt": JAPANESE_TEXT.encode("cp932")}),
    dict(what="a refusal line to a file", locale="ru_RU.UTF-8", files={},
         steps=message(MISSING_FOLDER_RU) + [(MENU_PROMPT, "x")], shown=[],
         told=[f"kestrovane: {MISSING_FOLDER_RU}.enc: {PATH_NOT_FOUND_RU}\r\n"], after={}),
    dict(what="Ctrl-C during a save", locale="C.UTF-8",
         files={"big.txt": BIG * 4, "big.enc": b"earlier output"},
         steps=encoding("big.txt")[:3], interrupts=True, shown=[],
         after={"big.txt": BIG * 4, "big.enc": b"earlier output"}),
]


def consoles(windows, env, checks, skipped):
    if not shutil.which("tmux"):
        skipped.append("the console rows: tmux is not installed")
        return
    locales = installed_locales()
    for case in CONSOLE_CASES:
        what, locale = "console: " + case["what"], case["locale"]
        if locale.lower().replace("utf-8", "utf8") not in locales:
            skipped.append(f"{what}: the locale {locale} is not installed")
            continue
        with tempfile.TemporaryDirectory() as folder, tempfile.TemporaryDirectory() as aside:
            put_files(folder, case["files"])
            told = os.path.join(aside, "told")
            command = shlex.join(["env", f"LANG={locale}", f"WINEPREFIX={env['WINEPREFIX']}",
                                  "WINEDEBUG=-all", "wine", windows])
            # A console of its own: wine in a tmux pane, saying when the program has ended.
            told_there = f" 2>{told}" if "told" in case else ""
            ended = "echo KESTROVANE-ENDED; sleep 600"  # the pane stays to be read
            console = Pane(folder, f"trap : INT; {command}{told_there}; {ended}", width=100,
                           height=40)
            try:
                for prompt, keys in case["steps"]:
                    if not console.wait_for(prompt, 60):
                        break
                    console.type_line(keys)
                else:
                    if case.get("interrupts"):
                        deadline = time.monotonic() + 60
                        while time.monotonic() < deadline and not any(
                                name.endswith(".tmp") for name in os.listdir(folder)):
                            time.sleep(0.01)
                        console.tmux("send-keys", "C-c")
                    console.wait_for("KESTROVANE-ENDED", 60)
                screen = console.screen()
            finally:
                console.close()
            checks.equal(f"{what}: the program ended", "KESTROVANE-ENDED" in screen, True)
            checks.equal(f"{what}: shown", [text for text in case["shown"] if text not in screen],
                         [])
            if "told" in case:
                with open(told, "rb") as f:
                    checks.equal(f"{what}: standard error, in code page 1251",
                                 f.read().decode("cp1251", "replace"), "".join(case["told"]))
            checks.equal(f"{what}: files", folder_contents(folder), case["after"])


def plain_part(linux, windows, env, checks, skipped):
    sessions(linux, windows, env, checks)
    typed_names(windows, env, checks, skipped, False)
    with tempfile.TemporaryDirectory() as folder:
        saves(windows, build_helper(folder), env, checks, skipped, False)


def code_pages_part(linux, windows, env, checks, skipped):
    typed_names(windows, env, checks, skipped, True)
    saves(windows, None, env, checks, skipped, True)


def console_part(linux, windows, env, checks, skipped):
    consoles(windows, env, checks, skipped)


PARTS = {"saves": plain_part, "code_pages": code_pages_part, "console": console_part}


def sessions(linux, windows, env, checks):
    """The sessions beside the Linux build, and a full path typed."""
    with tempfile.TemporaryDirectory() as native, tempfile.TemporaryDirectory() as emulated:
        for folder in (native, emulated):
            with open(os.path.join(folder, "test.txt"), "wb") as f:
                f.write(SAMPLE)
            open(os.path.join(folder, "empty.txt"), "wb").close()
            os.mkdir(os.path.join(folder, "folder"))
        for number, keys in enumerate(SESSIONS, 1):
            status, screen = run_wine([windows], keys, emulated, env)
            linux_status, linux_screen = run([linux], keys.replace(b"\\", b"/"), native)
            checks.equal(f"session {number}: the screen, the program's own line ends CR LF",
                         (status, screen.replace(b"none\\b", b"none/b")),
                         (linux_status, own_line_ends_crlf(linux_screen)))
        checks.equal("files", folder_contents(emulated), folder_contents(native))
        checks.equal("the folder's empty output", folder_contents(emulated).get("folder.enc"), b"")
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


def main():
    part = sys.argv[1]
    linux, windows = (os.path.abspath(path) for path in sys.argv[2:4])
    checks, skipped = Checks(), []
    with tempfile.TemporaryDirectory() as prefix:
        # The prefix the build made for every part, or one of its own.
        env = dict(os.environ, WINEDEBUG="-all",
                   WINEPREFIX=os.environ.get("WINEPREFIX") or prefix)
        PARTS[part](linux, windows, env, checks, skipped)
    for reason in skipped:
        print(f"skipped {reason}")
    status = checks.finish()
    return 77 if status == 0 and skipped else status


if __name__ == "__main__":
    sys.exit(main())
