"""Test worlds for the end-to-end tests under Wine (Python 3, stdlib only).

A World is one isolated desktop: its own Xvfb display, its own Wine prefix
(a copy of the cached template that scripts/make-prefix.sh builds), its own
XDG_RUNTIME_DIR and HOME, optionally its own PulseAudio server whose null
sink "room" is the microphone, and optionally serial ports made of socat pty
pairs. Every process it starts is ended by its PID when the world closes,
and the prefix's wineserver with `wineserver -k`; a watchdog process does
the same should the test process itself be killed.

    from world import World, VK, IDYES, IDNO, IDOK
    from resources import R

    with World(sound=True) as w:
        app = w.start_app()
        main = w.wait_main_window(app)
        w.driver.click_item(main, R.IDC_EXIT)
        box = w.wait_msgbox(app)
        w.driver.answer(box["hwnd"], IDYES)
        assert app.wait() == 0

Environment (set by the ctest registration; defaults suit a manual run):
    CRIB_BUILD_DIR     the MinGW build folder with Cribwatch.exe, uidriver.exe
                       (default build/i686)
    CRIB_WINE_ARCH     win32 or win64 (default: from the build folder's name)
    CRIB_WINE_TEMPLATE_DIR  where the template prefixes live (default build/)
    CRIB_WAIT          default deadline of the waits in seconds (default 30)
    CRIB_KEEP_WORLD    1: keep each world's folder (logs, prefix) after the test
    CRIB_WORLD_TMP     parent folder of the worlds (default the system's temp)
"""

import json
import os
import re
import select
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import threading
import time
import unittest
from pathlib import Path

from resources import ENGLISH, GERMAN, R

HERE = Path(__file__).resolve().parent
REPO = HERE.parent.parent


def _default_build_dir():
    return REPO / "build" / "i686"


BUILD_DIR = Path(os.environ.get("CRIB_BUILD_DIR") or _default_build_dir()).resolve()
WINE_ARCH = os.environ.get("CRIB_WINE_ARCH") or ("win64" if "x86_64" in BUILD_DIR.name else "win32")


def wine_loader(arch):
    """The Wine loader for a prefix of `arch`, called directly: Debian's
    `wine` wrapper takes the 32-bit loader whenever it is installed, even
    for a 64-bit prefix (see scripts/wine-env.sh)."""
    r = subprocess.run(["bash", str(REPO / "scripts" / "wine-env.sh"), "loader", arch],
                       stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    # Without Wine the bare name stands in, so starting a program says what is missing.
    return r.stdout.strip() or ("wine64" if arch == "win64" else "wine")


WINE_LOADER = wine_loader(WINE_ARCH)
TEMPLATE_DIR = Path(os.environ.get("CRIB_WINE_TEMPLATE_DIR") or (REPO / "build")).resolve()
WAIT = float(os.environ.get("CRIB_WAIT", "30"))
KEEP = os.environ.get("CRIB_KEEP_WORLD", "") not in ("", "0")

# The program's registry profile (below HKEY_CURRENT_USER).
PROFILE_KEY = r"Software\Kestrelon\Cribwatch\Settings"
COMPANY_KEY = r"Software\Kestrelon"
APP_TITLE = "Cribwatch"
DIALOG_CLASS = "#32770"

# Message box answers and other constants the tests use.
IDOK, IDCANCEL, IDABORT, IDRETRY, IDIGNORE, IDYES, IDNO = 1, 2, 3, 4, 5, 6, 7
WM_CLOSE = 0x0010
WM_COMMAND = 0x0111
WM_SYSCOMMAND = 0x0112
WM_KEYDOWN = 0x0100
WM_USER = 0x0400
SC_CLOSE = 0xF060
SC_MINIMIZE = 0xF020
SC_RESTORE = 0xF120
BM_GETCHECK = 0x00F0
BM_CLICK = 0x00F5
BST_CHECKED = 1
STM_GETIMAGE = 0x0173
TBM_GETPOS = 0x0400
TBM_SETPOS = 0x0405
WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_RBUTTONDOWN = 0x201, 0x202, 0x203, 0x204
# The tray icon's id and callback message (res/resource.h).
TRAY_MESSAGE, TRAY_ICON_ID = R.IDM_TRAY_NOTIFY, R.IDI_TRAY

# The window class of the HTML Help viewer, and the help project of each
# language (help/<folder>/*.hhp).
HELP_VIEWER = "HH Parent"
HELP_FOLDERS = {GERMAN: "de", ENGLISH: "en"}


def help_title(language):
    """The title the help project of `language` gives its file."""
    project = next((REPO / "help" / HELP_FOLDERS[language]).glob("*.hhp")).read_text()
    return re.search(r"^Title=(.*)$", project, re.M).group(1).strip()


# Controls that tell Cribwatch's dialogs apart.
MAIN_WINDOW_CONTROLS = (R.IDC_START_STOP, R.IDC_SENSITIVITY)
LANGUAGE_DIALOG_CONTROLS = (R.IDC_LANG_GERMAN, R.IDC_LANG_ENGLISH, IDOK)


class VK:
    """Virtual-key codes for Driver.key and Driver.input."""
    BACK = 0x08
    TAB = 0x09
    RETURN = 0x0D
    ESCAPE = 0x1B
    SPACE = 0x20
    PRIOR = 0x21
    NEXT = 0x22
    END = 0x23
    HOME = 0x24
    LEFT = 0x25
    UP = 0x26
    RIGHT = 0x27
    DOWN = 0x28
    DELETE = 0x2E
    F4 = 0x73
    MENU = 0x12


class WaitTimeout(AssertionError):
    """A wait ran past its deadline (a test failure, not an error)."""


class CrashError(AssertionError):
    """A program of the world crashed."""


class DriverError(RuntimeError):
    """uidriver.exe answered a command with an error."""


def wait_until(predicate, timeout=None, interval=0.05, message=None):
    """Calls predicate() until it returns something true and returns that.

    Raises WaitTimeout after `timeout` seconds (default CRIB_WAIT, 30 s).
    Exceptions of the predicate propagate."""
    deadline = time.monotonic() + (WAIT if timeout is None else timeout)
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() >= deadline:
            raise WaitTimeout(message or "condition not met within %.1f s: %r" % (
                WAIT if timeout is None else timeout, predicate))
        time.sleep(interval)


def stays(predicate, duration=1.0, interval=0.05):
    """True when predicate() stays true for the whole of `duration` seconds
    (for checks that something does NOT happen; choose a duration long
    enough for the program to have reacted)."""
    deadline = time.monotonic() + duration
    while True:
        if not predicate():
            return False
        if time.monotonic() >= deadline:
            return True
        time.sleep(interval)


def exe_path(name):
    """A program of the MinGW build: `name` with or without ".exe", or a path."""
    p = Path(name)
    if p.is_absolute():
        return p
    if not p.suffix:
        p = p.with_suffix(".exe")
    return BUILD_DIR / p


def windows_path(path):
    """The Wine (Z:) path of a Unix path."""
    return "Z:" + str(Path(path).resolve()).replace("/", "\\")


def unix_path(prefix, path):
    """The Unix path of a Windows path on drive C: of the prefix or on Z:."""
    drive, rest = path[:2].upper(), path[2:]
    roots = {"C:": Path(prefix) / "drive_c", "Z:": Path("/")}
    if drive not in roots:
        raise ValueError("not a path on C: or Z: " + path)
    return roots[drive].joinpath(*[part for part in rest.split("\\") if part])


# Exit codes that mean an unhandled exception (NTSTATUS cut to 8 bits by Wine):
# access violation 0xC0000005 -> 5; the others are unusual enough as real codes.
CRASH_EXIT_CODES = {5}
CRASH_MARKERS = ("Unhandled page fault", "Unhandled exception", "Unhandled illegal",
                 "Unhandled stack overflow", "Unhandled divide", "unhandled exception",
                 "Backtrace:", "wine: Unhandled")


class Process:
    """A program started in a world (by its Unix PID).

    pid        the Unix PID of the program (the Wine loader runs it in the
               process it was started as)
    winpid     the Windows process id, as window owners report it: the
               driver names the process whose environment carries this
               program's mark CRIB_PROCESS (None before the program shows
               up and after it ended)
    alive()    still running
    wait(timeout)  waits for the end and returns the exit code; raises
               WaitTimeout if it does not end, CrashError if it crashed
    exit_code  None while running
    stdout(), stderr()  what it wrote so far
    crash_reason()  None, or why this counts as a crash
    kill()     ends it now (SIGKILL by PID)
    """

    def __init__(self, world, name, popen, out_path, err_path, mark):
        self.world = world
        self.name = name
        self.popen = popen
        self.pid = popen.pid
        self.out_path = out_path
        self.err_path = err_path
        self.mark = mark             # the value of CRIB_PROCESS in its environment
        self._winpid = None          # the Windows id, once the driver named it
        self.exe_name = name + ".exe"  # the file name Windows lists it under
        self.crash_checked = False

    def __repr__(self):
        return "<Process %s pid=%s exit=%s>" % (self.name, self.pid, self.exit_code)

    @property
    def exit_code(self):
        return self.popen.poll()

    def alive(self):
        return self.popen.poll() is None

    def wait(self, timeout=None, allow_crash=False):
        try:
            code = self.popen.wait(WAIT if timeout is None else timeout)
        except subprocess.TimeoutExpired:
            raise WaitTimeout("%s (pid %d) did not end within %.1f s" % (
                self.name, self.pid, WAIT if timeout is None else timeout)) from None
        if not allow_crash:
            self.check_no_crash()
        return code

    def stdout(self):
        return _read_text(self.out_path)

    def stderr(self):
        return _read_text(self.err_path)

    def crash_reason(self):
        code = self.popen.poll()
        err = self.stderr()
        for marker in CRASH_MARKERS:
            if marker in err:
                return "%s wrote %r (exit code %s)" % (self.name, marker, code)
        if code in CRASH_EXIT_CODES:
            return "%s ended with exit code %d (an unhandled exception)" % (self.name, code)
        return None

    def check_no_crash(self):
        self.crash_checked = True
        reason = self.crash_reason()
        if reason:
            raise CrashError(reason + "\n--- stderr ---\n" + self.stderr()[-4000:])

    @property
    def winpid(self):
        return self.world._current_winpid(self)

    def wait_winpid(self, timeout=None):
        return wait_until(lambda: self.winpid or (not self.alive() and -1), timeout,
                          message="%s never showed up as a Windows process" % self.name)

    def windows(self):
        """Top-level windows of this program (see Driver.windows)."""
        pid = self.world._winpid_of(self)
        return self.world.driver.windows(pid) if pid else []

    def kill(self):
        if self.alive():
            try:
                os.kill(self.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
        try:
            self.popen.wait(10)
        except subprocess.TimeoutExpired:
            pass


def _read_text(path):
    try:
        return Path(path).read_bytes().decode("utf-8", "replace")
    except FileNotFoundError:
        return ""


def _escape_field(value):
    s = str(value)
    return s.replace("\\", "\\\\").replace("\t", "\\t").replace("\n", "\\n").replace("\r", "\\r")


class Picture:
    """Pixels grabbed from the screen: w, h, pixel(x, y) -> (r, g, b)."""

    def __init__(self, w, h, rgb_hex):
        self.w = w
        self.h = h
        self._hex = rgb_hex

    def pixel(self, x, y):
        if not (0 <= x < self.w and 0 <= y < self.h):
            raise IndexError((x, y))
        i = (y * self.w + x) * 6
        v = int(self._hex[i:i + 6], 16)
        return (v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF

    def count(self, predicate):
        """Number of pixels whose (r, g, b) satisfies predicate."""
        n = 0
        for y in range(self.h):
            for x in range(self.w):
                if predicate(self.pixel(x, y)):
                    n += 1
        return n


# The program's slider meters are nested gradients that get lighter towards
# the channel's centre line; these tell a pixel of each colour family from
# the silver background, the sunken edge and the grey thumb (all grey: red,
# green and blue alike).

def is_blue(p):
    """The sensitivity meter's family (from 0xCC6666: red 0x66, green 0x66,
    blue 0xCC)."""
    r, g, b = p
    return b >= r + 32 and b >= g + 32 and abs(r - g) <= 24


def is_red(p):
    """A level meter's dark red (0x000080) and its lighter levels."""
    r, g, b = p
    return r >= g + 48 and r >= b + 48


def is_green(p):
    """A level meter's dark green (0x008000) and its lighter levels."""
    r, g, b = p
    return g >= r + 48 and g >= b + 48


def _command(name, doc):
    """A Driver method that sends the command `name` with its arguments as
    they are and returns the answer (`doc` names the arguments)."""
    def method(self, *args):
        return self.call(name, *args)
    method.__doc__ = doc
    return method


class Driver:
    """The world's long-lived uidriver.exe. Every method sends one command and
    returns its answer; window handles are ints (0 / None = none). Errors of
    the driver raise DriverError. See tests/wine/uidriver.cpp for details."""

    def __init__(self, world):
        self.world = world
        self.proc = world.start_exe("uidriver", name="uidriver", stdin=subprocess.PIPE,
                                    stdout=subprocess.PIPE, track=False)
        self._buf = b""
        self._lock = threading.Lock()

    # -- plumbing --
    def call(self, *fields, timeout=60):
        line = "\t".join(_escape_field(f) for f in fields) + "\n"
        with self._lock:
            p = self.proc.popen
            if p.poll() is not None:
                raise DriverError("uidriver has ended (exit code %s): %s" % (
                    p.returncode, self.proc.stderr()[-2000:]))
            try:
                p.stdin.write(line.encode("utf-8"))
                p.stdin.flush()
            except BrokenPipeError:
                raise DriverError("uidriver has ended: " + self.proc.stderr()[-2000:]) from None
            reply = self._read_line(timeout)
        msg = json.loads(reply)
        if not msg.get("ok"):
            raise DriverError("%s: %s" % (fields[0], msg.get("error")))
        return msg.get("v")

    def _read_line(self, timeout):
        deadline = time.monotonic() + timeout
        fd = self.proc.popen.stdout.fileno()
        while b"\n" not in self._buf:
            left = deadline - time.monotonic()
            if left <= 0:
                raise DriverError("uidriver did not answer within %.0f s" % timeout)
            ready, _, _ = select.select([fd], [], [], left)
            if not ready:
                continue
            chunk = os.read(fd, 1 << 16)
            if not chunk:
                raise DriverError("uidriver closed its output: " + self.proc.stderr()[-2000:])
            self._buf += chunk
        line, self._buf = self._buf.split(b"\n", 1)
        return line.decode("utf-8").rstrip("\r")

    def quit(self):
        p = self.proc.popen
        if p.poll() is None:
            try:
                with self._lock:
                    p.stdin.write(b"quit\n")
                    p.stdin.flush()
                    p.stdin.close()
                p.wait(5)
            except (BrokenPipeError, OSError, subprocess.TimeoutExpired, ValueError):
                pass

    # -- windows --
    ping = _command("ping", "ping()")
    msgid = _command("msgid", "msgid(name): the id of a registered window message, such as TaskbarCreated.")

    def find(self, cls="*", title="*", pid=0, visible=False):
        """First top-level window matching class and title ("*" = any), of
        process `pid` (Windows id; 0 = any); None when there is none."""
        return self.call("find", cls, title, pid or 0, int(bool(visible))) or None

    def wait_window(self, cls="*", title="*", pid=0, visible=False, timeout=None):
        return wait_until(lambda: self.find(cls, title, pid, visible), timeout,
                          message="no window %r %r of pid %s" % (cls, title, pid))

    def windows(self, pid=0):
        """[{hwnd, cls, title, pid, tid, visible, enabled, owner, rect}] of
        all top-level windows, or of one process."""
        return self.call("windows", pid or 0)

    info = _command("info", "info(hwnd)")

    def children(self, hwnd, all_descendants=False):
        """[{hwnd, id, cls, text, parent, style, visible (style bit), enabled, rect}]"""
        return self.call("children", hwnd, int(bool(all_descendants)))

    def item(self, hwnd, control_id):
        """The control with this id in dialog hwnd (GetDlgItem), or None."""
        return self.call("item", hwnd, control_id) or None

    def exists(self, hwnd):
        return bool(hwnd) and self.call("exists", hwnd)

    text = _command("text", "text(hwnd): the window's text (WM_GETTEXT, works across processes).")
    title = _command("title", "title(hwnd)")
    class_name = _command("class", "class_name(hwnd)")
    set_text = _command("settext", "set_text(hwnd, text)")
    check = _command("check", "check(hwnd): BM_GETCHECK: 0 unchecked, 1 checked, 2 indeterminate.")
    state = _command("state", """state(hwnd): {visible, style_visible, enabled, style, exstyle,
        iconic, focus, active, foreground, rect, client} (rects in screen coordinates).""")

    def visible(self, hwnd):
        return self.state(hwnd)["visible"]

    def enabled(self, hwnd):
        return self.state(hwnd)["enabled"]

    def rect(self, hwnd, which="window"):
        """{left, top, right, bottom} on the screen; which: window|client."""
        return self.call("rect", hwnd, which)

    # -- acting --
    click = _command("click", """click(hwnd): posts BM_CLICK to a button (returns at once, also when
        the click opens a modal box).""")

    def command(self, dialog, control_id, notify=0):
        """Posts WM_COMMAND(control_id, notify) to the dialog, as the control
        would send it."""
        return self.call("command", dialog, control_id, notify)

    def post(self, hwnd, message, wparam=0, lparam=0):
        return self.call("post", hwnd, message, wparam, lparam)

    def send(self, hwnd, message, wparam=0, lparam=0, timeout_ms=5000):
        """SendMessageTimeout; the result. Never send a message that opens
        a modal box this way (it would wait for the box): post it."""
        return self.call("send", hwnd, message, wparam, lparam, timeout_ms)

    def key(self, hwnd, *vks):
        """Posts WM_KEYDOWN/WM_KEYUP of each key to the control that has the
        focus within hwnd (or hwnd itself); the dialog's own message loop
        handles them as typed keys (Enter, Esc, arrows, Tab). Returns the
        window the keys went to."""
        return self.call("key", hwnd, ",".join(str(int(v)) for v in vks))

    chars = _command("chars", """chars(hwnd, text): posts WM_CHAR for each character to hwnd (typing
        into an edit).""")
    focus = _command("focus", """focus(hwnd): activates hwnd's top-level window and focuses hwnd;
        returns the window that has the focus afterwards.""")
    foreground = _command("foreground", "foreground(hwnd)")

    def input(self, *vks):
        """Key presses through SendInput (to the foreground window's focus)."""
        return self.call("input", ",".join(str(int(v)) for v in vks))

    def mouse(self, hwnd, x, y, button="left"):
        """A real click (SendInput) at client coordinates of hwnd."""
        return self.call("mouse", hwnd, x, y, button)

    close = _command("close", "close(hwnd): posts WM_CLOSE.")
    syscommand = _command("syscommand", """syscommand(hwnd, sc): posts WM_SYSCOMMAND (SC_CLOSE,
        SC_MINIMIZE, ...).""")

    # -- controls --
    def image(self, hwnd, image_type=0):
        """STM_GETIMAGE (IMAGE_BITMAP = 0): the handle value, to compare."""
        return self.call("image", hwnd, image_type)

    tbpos = _command("tbpos", "tbpos(hwnd)")

    def tbrange(self, hwnd):
        return tuple(self.call("tbrange", hwnd))

    def item_text(self, dialog, control_id):
        return self.text(self._item(dialog, control_id))

    def item_check(self, dialog, control_id):
        return self.check(self._item(dialog, control_id))

    def item_state(self, dialog, control_id):
        return self.state(self._item(dialog, control_id))

    def click_item(self, dialog, control_id):
        return self.click(self._item(dialog, control_id))

    def _item(self, dialog, control_id):
        h = self.item(dialog, control_id)
        if not h:
            raise DriverError("window %s has no control %s" % (dialog, control_id))
        return h

    # -- pictures --
    def capture(self, hwnd, path, which="client"):
        """Saves what the screen shows of the window as a 24-bit BMP."""
        return self.call("capture", hwnd, windows_path(path), which)

    def pixel(self, hwnd, x, y):
        """(r, g, b) of the screen at client coordinates of hwnd."""
        v = self.call("pixel", hwnd, x, y)
        return (v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF

    def grab(self, hwnd, which="client"):
        """A Picture of the window's client area (or whole window)."""
        v = self.call("grab", hwnd, which)
        return Picture(v["w"], v["h"], v["rgb"])

    def meter(self, slider):
        """(red pixels, green pixels) of a level slider's meter: (0, 0) when
        it is empty."""
        pic = self.grab(slider)
        return pic.count(is_red), pic.count(is_green)

    # -- message boxes --
    def msgboxes(self, pid=0, icons=True):
        """Message boxes (hidden ones too) of a process or of all:
        [{hwnd, pid, title, text, buttons: [{id, text}], visible, owner,
        has_icon, icon}], icon one of "stop", "question", "exclamation",
        "information", "none", "unknown" (not visible or not recognised)."""
        return self.call("msgboxes", pid or 0, int(bool(icons)))

    msgbox = _command("msgbox", "msgbox(hwnd)")
    is_msgbox = _command("ismsgbox", "is_msgbox(hwnd)")
    answer = _command("answer", """answer(hwnd, button_id): presses the message box's button (IDYES,
        IDNO, IDOK, ...).""")

    def screen(self):
        """(width, height) of the desktop the programs see."""
        v = self.call("screen")
        return v["w"], v["h"]

    # -- processes --
    procs = _command("procs", "procs(): [{pid, ppid, exe}] of the prefix's Windows processes.")
    winpid = _command("winpid", """winpid(mark, exe): the Windows id of the process named `exe`
        whose environment holds CRIB_PROCESS=<mark>, or 0 when there is none (yet).""")

    # -- registry (keys below HKCU unless they begin with HKCU\ or HKLM\) --
    regget = _command("regget", """regget(key, name): the value's string (REG_SZ), a {type, ...}
        dict for other types, or None when absent.""")

    def regset(self, key, name, value, times=None):
        """Creates the key as needed and sets a REG_SZ value (the text
        repeated `times` times when given)."""
        return self.call("regset", key, name, value, *(() if times is None else (times,)))

    regdel = _command("regdel", "regdel(key, name): deletes a value; False when it was not there.")
    regdelkey = _command("regdelkey", """regdelkey(key): deletes a key with everything below it;
        False when absent.""")
    reglist = _command("reglist", """reglist(key): {name: value} of a key's values, or None when the
        key is absent.""")
    regdump = _command("regdump", """regdump(key): {"values": {...}, "keys": {name: dump}}
        recursively, or None.""")

    # -- shell and files (Windows paths) --
    shortcut = _command("shortcut", """shortcut(path): a shortcut (.lnk) as the shell reads it:
        {target, workdir, args, icon, icon_index}.""")
    folder = _command("folder", "folder(csidl): the path of a shell folder (CSIDL_...).")
    version = _command("version", """version(path): a file's version resource:
        {file_version: [a, b, c, d], product_version: [...], strings: {name: text}}, or None.""")

    # -- serial ports of the prefix --
    comwrite = _command("comwrite", "comwrite(port, text)")

    def comread(self, port, wait_ms=0):
        return self.call("comread", port, wait_ms)


class World:
    """One isolated test world; use as a context manager.

    World(sound=False, com_ports=(), virtual_desktop=None, screen="1024x768x24")
      sound            run a PulseAudio server with the null sink "room" whose
                       monitor is the default recording source (Wine then has
                       one recording and one playback device); without it
                       Wine has no sound device at all
      com_ports        port numbers to set up at start (see add_com_port)
      virtual_desktop  e.g. "1024x768": run every program in a Wine virtual
                       desktop (window frames, taskbar, Windows-like activation)

    Attributes: dir (the world's folder), prefix, display (":N"), env (the
    environment of its programs), driver (Driver), apps (started Processes).
    """

    def __init__(self, sound=False, com_ports=(), virtual_desktop=None, screen="1024x768x24"):
        self.sound = sound
        self.virtual_desktop = virtual_desktop
        self.screen = screen
        self._initial_ports = tuple(com_ports)
        self.dir = None
        self.prefix = None
        self.display = None
        self.env = None
        self.driver = None
        self.apps = []
        self.com_ports = {}
        self._helpers = []          # (name, Popen) of Xvfb, pulseaudio, socat
        self._reaper = None
        self._counter = 0
        self._closed = False
        self.timings = {}

    # ------------------------------------------------------------ set-up --
    def __enter__(self):
        try:
            self.start()
        except BaseException:
            self.close()
            raise
        return self

    def __exit__(self, exc_type, exc, tb):
        failing = exc_type is not None
        if failing:
            self._print_diagnostics(exc)
        crashes = [] if failing else self._unchecked_crashes()
        self.close()
        if crashes:
            raise CrashError("; ".join(crashes))
        return False

    def start(self):
        t0 = time.monotonic()
        ensure_template(WINE_ARCH)
        parent = os.environ.get("CRIB_WORLD_TMP") or None
        self.dir = Path(tempfile.mkdtemp(prefix="crib-world-", dir=parent))
        (self.dir / "home").mkdir()
        (self.dir / "cwd").mkdir()
        run = self.dir / "run"
        run.mkdir(mode=0o700)
        os.chmod(run, 0o700)
        self._start_reaper()
        self.prefix = self.dir / "prefix"
        copy_prefix(TEMPLATE_DIR / ("wine-template-" + WINE_ARCH), self.prefix)
        self.timings["prefix"] = time.monotonic() - t0

        env = {k: v for k, v in os.environ.items()
               if not k.startswith(("WINE", "DISPLAY", "WAYLAND", "PULSE", "XDG_", "DBUS_"))}
        env.update({
            "WINEPREFIX": str(self.prefix),
            "WINEARCH": WINE_ARCH,
            "WINEDEBUG": "-all",
            "WINEDLLOVERRIDES": "mscoree,mshtml=;winemenubuilder.exe=d",
            "HOME": str(self.dir / "home"),
            "XDG_RUNTIME_DIR": str(run),
            "XDG_CONFIG_HOME": str(self.dir / "home" / ".config"),
            "CRIB_WORLD": str(self.dir),
        })
        # The sound client never starts a server of its own; without a room
        # it finds none at all.
        client_conf = self.dir / "pulse-client.conf"
        client_conf.write_text("autospawn = no\n")
        env["PULSE_CLIENTCONFIG"] = str(client_conf)
        env["PULSE_SERVER"] = "unix:" + str(run / ("pulse/native" if self.sound else "no-sound-server"))
        self.env = env

        t1 = time.monotonic()
        self._start_xvfb()
        self.timings["xvfb"] = time.monotonic() - t1
        if self.sound:
            t1 = time.monotonic()
            self._start_pulse()
            self.timings["pulse"] = time.monotonic() - t1
        if self.virtual_desktop:
            self._set_virtual_desktop(self.virtual_desktop)
        t1 = time.monotonic()
        self.driver = Driver(self)
        self.driver.ping()
        self.timings["driver"] = time.monotonic() - t1
        for n in self._initial_ports:
            self.add_com_port(n)
        self.timings["start"] = time.monotonic() - t0

    def _start_reaper(self):
        # A watchdog in its own session: when this process dies without
        # closing the world (killed by a time-out), it ends the world's
        # processes by their PIDs and the prefix's wineserver.
        self._reaper = subprocess.Popen(
            [sys.executable, str(Path(__file__).resolve()), "--reap", str(self.dir)],
            stdin=subprocess.PIPE, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            start_new_session=True)

    def _record_pid(self, pid, kind):
        with open(self.dir / "pids", "a") as f:
            f.write("%d %s\n" % (pid, kind))

    def _start_xvfb(self):
        r, w = os.pipe()
        try:
            with open(self.dir / "xvfb.log", "wb") as log:
                p = subprocess.Popen(["Xvfb", "-displayfd", str(w), "-screen", "0", self.screen,
                                      "-nolisten", "tcp", "-noreset"],
                                     pass_fds=(w,), stdin=subprocess.DEVNULL, env=self.env,
                                     stdout=log, stderr=subprocess.STDOUT)
            self._helpers.append(("Xvfb", p))
            self._record_pid(p.pid, "Xvfb")
            os.close(w)
            w = None
            data = b""
            deadline = time.monotonic() + 30
            while b"\n" not in data:
                left = deadline - time.monotonic()
                if left <= 0 or p.poll() is not None:
                    raise RuntimeError("Xvfb did not start: " + _read_text(self.dir / "xvfb.log"))
                ready, _, _ = select.select([r], [], [], left)
                if ready:
                    chunk = os.read(r, 64)
                    if not chunk:
                        raise RuntimeError("Xvfb did not report a display: " + _read_text(self.dir / "xvfb.log"))
                    data += chunk
            self.display = ":" + data.decode().strip()
            self.env["DISPLAY"] = self.display
        finally:
            os.close(r)
            if w is not None:
                os.close(w)

    def _start_pulse(self):
        run = Path(self.env["XDG_RUNTIME_DIR"])
        (run / "pulse").mkdir(mode=0o700, exist_ok=True)
        socket = run / "pulse" / "native"
        args = ["pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no",
                "--realtime=no", "--high-priority=no", "--disallow-module-loading=no",
                "--log-target=stderr",
                "-L", "module-native-protocol-unix socket=%s auth-anonymous=1" % socket,
                "-L", "module-null-sink sink_name=room",
                "-L", "module-always-sink"]
        with open(self.dir / "pulse.log", "wb") as log:
            p = subprocess.Popen(args, env=self.env, stdin=subprocess.DEVNULL,
                                 stdout=log, stderr=subprocess.STDOUT)
        self._helpers.append(("pulseaudio", p))
        self._record_pid(p.pid, "pulseaudio")

        def ready():
            if p.poll() is not None:
                raise RuntimeError("pulseaudio ended: " + _read_text(self.dir / "pulse.log"))
            return socket.exists() and subprocess.run(
                ["pactl", "info"], env=self.env, stdout=subprocess.DEVNULL,
                stderr=subprocess.DEVNULL).returncode == 0
        wait_until(ready, 30, 0.1, "pulseaudio did not come up")
        subprocess.run(["pactl", "set-default-source", "room.monitor"], env=self.env, check=True,
                       stdout=subprocess.DEVNULL)
        subprocess.run(["pactl", "set-default-sink", "room"], env=self.env, check=True,
                       stdout=subprocess.DEVNULL)

    def stop_sound_server(self):
        """Ends the room's PulseAudio server (by its PID), as when the sound
        system goes away under a running program."""
        for name, p in self._helpers:
            if name == "pulseaudio":
                _end(p)
        self._helpers = [(n, p) for n, p in self._helpers if n != "pulseaudio"]

    def start_sound_server(self):
        """Starts a new PulseAudio server for the room, on the same socket."""
        self._start_pulse()

    def _set_virtual_desktop(self, size):
        reg = self.dir / "desktop.reg"
        reg.write_text('REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Wine\\Explorer]\n"Desktop"="Default"\n\n'
                       '[HKEY_CURRENT_USER\\Software\\Wine\\Explorer\\Desktops]\n"Default"="%s"\n' % size)
        r = subprocess.run([WINE_LOADER, "regedit", "/S", windows_path(reg)], env=self.env,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)
        if r.returncode != 0:
            raise RuntimeError("regedit failed for the virtual desktop")

    # --------------------------------------------------------- programs --
    def start_exe(self, exe, args=(), cwd=None, name=None, stdin=subprocess.DEVNULL,
                  stdout=None, track=True, env=None):
        """Starts a Windows program of the build (see exe_path) or any path
        under Wine; returns a Process. Its output goes to files in the world's
        folder unless stdout is given."""
        path = exe_path(exe)
        if not path.exists():
            raise FileNotFoundError(path)
        self._counter += 1
        name = name or path.stem
        base = self.dir / ("%02d-%s" % (self._counter, name))
        out_path = Path(str(base) + ".out")
        err_path = Path(str(base) + ".err")
        mark = "%d" % self._counter
        run_env = dict(self.env)
        if env:
            run_env.update(env)
        run_env["CRIB_PROCESS"] = mark
        out_file = open(out_path, "wb") if stdout is None else None
        with open(err_path, "wb") as err_file:
            try:
                popen = subprocess.Popen(
                    [WINE_LOADER, str(path)] + [str(a) for a in args],
                    cwd=str(cwd or (self.dir / "cwd")), env=run_env, stdin=stdin,
                    stdout=stdout if stdout is not None else out_file, stderr=err_file)
            finally:
                if out_file is not None:
                    out_file.close()
        self._record_pid(popen.pid, name)
        proc = Process(self, name, popen, out_path, err_path, mark)
        proc.exe_name = path.name
        if track:
            self.apps.append(proc)
        return proc

    def start_app(self, cwd=None, args=()):
        """Starts the real Cribwatch.exe (cwd: its start-up folder, default
        the world's cwd/)."""
        return self.start_exe("Cribwatch", args=args, cwd=cwd, name="Cribwatch")

    # Which Windows process a program is: every program the world starts
    # carries its own mark CRIB_PROCESS=<n> in its environment, and the
    # driver names the process of the program's file name with that mark.
    # A process the program starts inherits the mark, so the name counts
    # too; the lookup needs no list of what ran before and no guess.

    def _current_winpid(self, proc):
        """The Windows id of a program; None before it has shown up and
        after it ended."""
        if not proc.alive():
            return None
        if proc._winpid is None and self.driver is not None and not self._closed:
            pid = self.driver.winpid(proc.mark, proc.exe_name)
            proc._winpid = pid or None
        return proc._winpid

    # ------------------------------------------------- program windows --
    def _winpid_of(self, proc):
        """The Windows id of a program; waits for it while the program runs,
        so that no look-up passes for want of an id. None once it ended."""
        pid = proc.winpid
        if pid:
            return pid
        pid = wait_until(lambda: proc.winpid or (not proc.alive() and -1),
                         message="%s never showed up as a Windows process" % proc.name)
        return pid if pid > 0 else None

    def dialogs(self, proc, title=APP_TITLE):
        """Handles of the top-level "#32770" windows titled `title` of a
        program (a Process, or the Windows id of a program another one
        started), visible or not, message boxes excluded."""
        pid = proc if isinstance(proc, int) else self._winpid_of(proc)
        if not pid:
            return []
        return [w["hwnd"] for w in self.driver.windows(pid)
                if w["cls"] == DIALOG_CLASS and (title == "*" or w["title"] == title)
                and not self.driver.is_msgbox(w["hwnd"])]

    def find_dialog(self, proc, control_ids, title=APP_TITLE, visible=None):
        """The program's dialog titled `title` that holds every control id
        in control_ids (visible True/False/None = either); None if none."""
        for h in self.dialogs(proc, title):
            try:
                if visible is not None and self.driver.visible(h) != visible:
                    continue
                if all(self.driver.item(h, i) for i in control_ids):
                    return h
            except DriverError:
                continue
        return None

    def wait_dialog(self, proc, control_ids, title=APP_TITLE, visible=True, timeout=None):
        def look():
            self._check_running(proc)
            return self.find_dialog(proc, control_ids, title, visible)
        return wait_until(look, timeout, message="no dialog %r with controls %r" % (title, control_ids))

    def main_window(self, proc):
        """Cribwatch's main window (title "Cribwatch", with the Start/Stop
        button and the sensitivity slider), visible or not; None if it is
        not there."""
        return self.find_dialog(proc, MAIN_WINDOW_CONTROLS)

    def wait_main_window(self, proc, timeout=None):
        """Waits for the visible main window and returns its handle."""
        return self.wait_dialog(proc, MAIN_WINDOW_CONTROLS, timeout=timeout)

    def language_dialog(self, proc):
        """The language dialog (its two radio buttons and OK), or None."""
        return self.find_dialog(proc, LANGUAGE_DIALOG_CONTROLS)

    def wait_language_dialog(self, proc, timeout=None):
        """Waits for the visible language dialog and returns its handle."""
        return self.wait_dialog(proc, LANGUAGE_DIALOG_CONTROLS, timeout=timeout)

    def msgboxes(self, proc=None, title=APP_TITLE, icons=True):
        """Message boxes of a program (all programs when proc is None),
        titled `title` ("*": any); see Driver.msgboxes."""
        pid = self._winpid_of(proc) if proc is not None else 0
        if proc is not None and not pid:
            return []
        return [b for b in self.driver.msgboxes(pid, icons) if title == "*" or b["title"] == title]

    def wait_msgbox(self, proc=None, title=APP_TITLE, visible=True, timeout=None):
        """Waits for a message box of the program and returns its description
        (with the icon recognised once it is visible)."""
        def look():
            if proc is not None:
                self._check_running(proc)
            for b in self.msgboxes(proc, title, icons=False):
                if visible is None or b["visible"] == visible:
                    return b
            return None
        box = wait_until(look, timeout, message="no message box %r appeared" % title)
        if box["visible"]:
            # The icon is recognised from the screen once the box has painted.
            def described():
                b = self.driver.msgbox(box["hwnd"])
                return b if b["icon"] != "unknown" or not b["has_icon"] else None
            try:
                box = wait_until(described, 5)
            except (WaitTimeout, DriverError):
                box = self.driver.msgbox(box["hwnd"]) if self.driver.exists(box["hwnd"]) else box
        return box

    def answer_msgbox(self, box, button_id, timeout=None):
        """Presses a button of the box and waits until the box is gone."""
        hwnd = box["hwnd"] if isinstance(box, dict) else box
        self.driver.answer(hwnd, button_id)
        wait_until(lambda: not self.driver.exists(hwnd), timeout, message="the message box stayed")

    def _check_running(self, proc):
        if not proc.alive():
            proc.check_no_crash()
            raise AssertionError("%s ended (exit code %s) while the test waited for it" % (
                proc.name, proc.exit_code))
        return None

    def minimise_behind_notepad(self, main):
        """Minimises a main window and activates notepad's window (Wine
        reports the minimised activation only then): the window hides in the
        tray. Returns notepad's process and window."""
        d = self.driver
        d.syscommand(main, SC_MINIMIZE)
        wait_until(lambda: d.state(main)["iconic"], message="the window did not minimise")
        other = self.start_exe(self.prefix / "drive_c" / "windows" / "notepad.exe", name="notepad")
        try:
            note = wait_until(lambda: d.find("Notepad", "*", 0, True), message="notepad did not appear")
            d.foreground(note)
            wait_until(lambda: not d.visible(main), message="the minimised window stayed visible")
        except BaseException:
            other.kill()
            raise
        return other, note

    # --------------------------------------------------------- profile --
    def profile_get(self, name):
        """A value of the program's profile (Settings key), or None."""
        return self.driver.regget(PROFILE_KEY, name)

    def profile_set(self, name, value, times=None):
        return self.driver.regset(PROFILE_KEY, name, value, times)

    def profile_delete(self, name):
        return self.driver.regdel(PROFILE_KEY, name)

    def profile(self):
        """{name: value} of the Settings key ({} when it does not exist)."""
        return self.driver.reglist(PROFILE_KEY) or {}

    def profile_clear(self):
        """Removes the program's whole profile (Software\\Kestrelon)."""
        return self.driver.regdelkey(COMPANY_KEY)

    def registry_dump(self, key=COMPANY_KEY):
        """Everything below a key (default Software\\Kestrelon), for
        before/after comparisons; None when it does not exist."""
        return self.driver.regdump(key)

    # ---------------------------------------------------------- devices --
    def play(self, wav, wait=True, timeout=None):
        """Plays a sound file into the room (the microphone's source).
        With wait=False returns the paplay Popen at once (it holds no pipe;
        its messages go to paplay-N.log in the world's folder; ended at
        close if still playing)."""
        if not self.sound:
            raise RuntimeError("this world has no room sound (World(sound=True))")
        self._counter += 1
        log_path = self.dir / ("%02d-paplay.log" % self._counter)
        with open(log_path, "wb") as log:
            p = subprocess.Popen(["paplay", "-d", "room", str(wav)], env=self.env,
                                 stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=log)
        self._helpers.append(("paplay", p))
        self._record_pid(p.pid, "paplay")
        if wait:
            try:
                p.wait(timeout=WAIT * 4 if timeout is None else timeout)
            except subprocess.TimeoutExpired:
                _end(p)
                raise WaitTimeout("paplay did not finish")
            if p.returncode != 0:
                raise RuntimeError("paplay failed (exit code %s): %s" % (p.returncode, _read_text(log_path)))
        return p

    def add_com_port(self, n):
        """Makes COMn of the prefix one end of a socat pty pair and returns
        the path of the other end (open it to talk to the program)."""
        if n in self.com_ports:
            return self.com_ports[n]
        a, b = self._pty_pair(n)
        self._link_com(n, a)
        self.com_ports[n] = str(b)
        return str(b)

    def add_com_pair(self, n, m):
        """Makes COMn and COMm of the prefix the two ends of one socat pty
        pair (what one writes, the other reads)."""
        a, b = self._pty_pair(n)
        self._link_com(n, a)
        self._link_com(m, b)
        self.com_ports[n] = "COM%d" % m
        self.com_ports[m] = "COM%d" % n

    def _link_com(self, n, target):
        link = self.prefix / "dosdevices" / ("com%d" % n)
        if link.is_symlink() or link.exists():
            link.unlink()
        link.symlink_to(target)

    def _pty_pair(self, n):
        a = self.dir / ("ttyA%d" % n)
        b = self.dir / ("ttyB%d" % n)
        with open(self.dir / ("socat%d.log" % n), "wb") as log:
            p = subprocess.Popen(["socat", "pty,raw,echo=0,link=%s" % a, "pty,raw,echo=0,link=%s" % b],
                                 stdin=subprocess.DEVNULL, env=self.env, stdout=subprocess.DEVNULL,
                                 stderr=log)
        self._helpers.append(("socat", p))
        self._record_pid(p.pid, "socat")
        wait_until(lambda: (a.exists() and b.exists()) or (p.poll() is not None and "dead"), 30,
                   message="socat did not make the ptys")
        if p.poll() is not None:
            raise RuntimeError("socat ended: " + _read_text(self.dir / ("socat%d.log" % n)))
        return a, b

    def screenshot(self, path):
        """Saves the whole display as a picture (ImageMagick import)."""
        subprocess.run(["import", "-window", "root", str(path)], env=self.env, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)
        return path

    # --------------------------------------------------------- clean-up --
    def _unchecked_crashes(self):
        out = []
        for p in self.apps:
            if p.alive():
                continue
            reason = p.crash_reason()
            if reason:
                out.append(reason)
        return out

    def _print_diagnostics(self, exc):
        try:
            lines = ["--- world %s (display %s, prefix %s) ---" % (self.dir, self.display, self.prefix)]
            for p in self.apps:
                lines.append("%s pid %s exit %s" % (p.name, p.pid, p.exit_code))
                err = p.stderr().strip()
                if err:
                    lines.append("  stderr: " + err[-1500:].replace("\n", "\n  "))
            if self.driver is not None and self.driver.proc.alive():
                try:
                    mine = {p._winpid for p in self.apps}
                    for w in self.driver.windows():
                        if w["pid"] in mine:
                            lines.append("  window %s" % w)
                except Exception:
                    pass
            sys.stderr.write("\n".join(lines) + "\n")
        except Exception:
            pass

    def processes(self):
        """{Unix PID: command name} of the processes that belong to this
        world: its programs, Xvfb, pulseaudio, the prefix's wineserver, ..."""
        return _world_pids(self.dir, self.prefix)

    def leftover_processes(self):
        """Unix PIDs of processes that still belong to this world (for the
        rig's own test; empty after close)."""
        return sorted(self.processes())

    def close(self):
        if self._closed:
            return
        self._closed = True
        if self.driver is not None:
            self.driver.quit()
        # End the programs, then the prefix's wineserver (and with it every
        # Wine process of the prefix).
        for p in self.apps:
            if p.alive():
                p.kill()
        if self.driver is not None:
            self.driver.proc.kill()
            for f in (self.driver.proc.popen.stdin, self.driver.proc.popen.stdout):
                try:
                    f.close()
                except (OSError, ValueError):
                    pass
        if self.prefix is not None and self.env is not None:
            _wineserver_kill(self.prefix, self.env)
        for name, p in reversed(self._helpers):
            _end(p)
        if self.dir is not None and self.prefix is not None:
            _kill_world_leftovers(self.dir, self.prefix)
        if self._reaper is not None:
            try:
                self._reaper.stdin.write(b"done\n")
                self._reaper.stdin.close()
            except (BrokenPipeError, OSError):
                pass
            try:
                self._reaper.wait(10)
            except subprocess.TimeoutExpired:
                self._reaper.kill()
                self._reaper.wait()
        if self.dir is not None and not KEEP:
            shutil.rmtree(self.dir, ignore_errors=True)


# -------------------------------------------------------------- helpers ----

def ensure_template(arch):
    """Makes the template prefix for `arch` unless it is already current
    (scripts/make-prefix.sh decides, under its lock)."""
    env = dict(os.environ)
    env["CRIB_WINE_TEMPLATE_DIR"] = str(TEMPLATE_DIR)
    subprocess.run(["bash", str(REPO / "scripts" / "make-prefix.sh"), arch], check=True, env=env,
                   stdout=subprocess.DEVNULL)
    return TEMPLATE_DIR / ("wine-template-" + arch)


def copy_prefix(template, dest):
    """Copies a template prefix. The Windows folder (Wine's own DLLs, which
    nothing writes) is hard-linked where the two folders share a file
    system, else copied (a /tmp of its own, say); the registry, dosdevices,
    users and program folders are always real copies."""
    mark = template / ".crib-template-ok"
    if not mark.exists():
        raise RuntimeError("no template prefix at %s (scripts/make-prefix.sh)" % template)
    dest.mkdir()
    try:
        os.link(mark, dest / "link-probe")
        os.unlink(dest / "link-probe")
        link = "-al"
    except OSError:          # EXDEV: another file system
        link = "-a"
    for entry in template.iterdir():
        target = dest / entry.name
        if entry.name == "drive_c":
            target.mkdir()
            for sub in entry.iterdir():
                flags = link if sub.name.lower() == "windows" else "-a"
                subprocess.run(["cp", flags, str(sub), str(target / sub.name)], check=True)
        elif entry.name == "wineserver":
            continue
        else:
            subprocess.run(["cp", "-a", str(entry), str(target)], check=True)


def pe_machine(path):
    """The machine field of a Windows program's PE header (0x14c i386,
    0x8664 x86-64), or None when the file is not one."""
    try:
        with open(path, "rb") as f:
            dos = f.read(64)
            if len(dos) < 64 or dos[:2] != b"MZ":
                return None
            f.seek(struct.unpack_from("<I", dos, 0x3C)[0])
            nt = f.read(6)
    except OSError:
        return None
    if len(nt) < 6 or nt[:4] != b"PE\0\0":
        return None
    return struct.unpack_from("<H", nt, 4)[0]


def _end(p, term_wait=5):
    if p.poll() is None:
        try:
            p.terminate()
            p.wait(term_wait)
        except subprocess.TimeoutExpired:
            p.kill()
    try:
        p.wait(10)
    except subprocess.TimeoutExpired:
        pass


def _wineserver_kill(prefix, env):
    e = dict(env)
    e["WINEPREFIX"] = str(prefix)
    try:
        subprocess.run(["wineserver", "-k"], env=e, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=30)
    except subprocess.TimeoutExpired:
        pass


def _world_pids(world_dir, prefix):
    """{PID: command name} of the processes whose environment names this
    world or its prefix."""
    marks = [("CRIB_WORLD=%s" % world_dir).encode(), ("WINEPREFIX=%s" % prefix).encode()]
    me = os.getpid()
    found = {}
    for d in os.listdir("/proc"):
        if not d.isdigit() or int(d) == me:
            continue
        try:
            with open("/proc/%s/environ" % d, "rb") as f:
                items = f.read().split(b"\0")
            if any(m in items for m in marks):
                found[int(d)] = Path("/proc/%s/comm" % d).read_text().strip()
        except OSError:
            continue
    return found


CLK_TCK = os.sysconf("SC_CLK_TCK")


def usage(pid):
    """What Linux reports of a process now: "t" (monotonic seconds), "cpu"
    (user + system seconds of all its threads), "rss", "hwm" and "data"
    (VmRSS, VmHWM, VmData in KiB), "threads" and "fds" (open files)."""
    t = time.monotonic()
    fields = dict(line.split(":", 1) for line in Path("/proc/%d/status" % pid).read_text().splitlines()
                  if ":" in line)
    stat = Path("/proc/%d/stat" % pid).read_text()
    utime, stime = stat[stat.rindex(")") + 2:].split()[11:13]
    return {"t": t, "cpu": (int(utime) + int(stime)) / CLK_TCK, "rss": int(fields["VmRSS"].split()[0]),
            "hwm": int(fields["VmHWM"].split()[0]), "data": int(fields["VmData"].split()[0]),
            "threads": int(fields["Threads"]), "fds": len(os.listdir("/proc/%d/fd" % pid))}


def growth(samples, key, warm_up=0):
    """How far a figure rose over samples (dicts with "t" and `key`, as
    usage() gives them) from the one after `warm_up` samples to the last, and
    its least-squares trend per second over the same samples (None with
    fewer than two). Samples without the figure are passed over."""
    pts = [(s["t"], s[key]) for s in samples if s.get(key) is not None]
    pts = pts[min(warm_up, len(pts) - 1):]
    if len(pts) < 2:
        return (pts[-1][1] - pts[0][1]) if pts else 0, None
    mt = sum(t for t, _ in pts) / len(pts)
    mv = sum(v for _, v in pts) / len(pts)
    den = sum((t - mt) ** 2 for t, _ in pts)
    slope = sum((t - mt) * (v - mv) for t, v in pts) / den if den else None
    return pts[-1][1] - pts[0][1], slope


def _kill_world_leftovers(world_dir, prefix, timeout=10):
    """Waits for the world's processes to end after wineserver -k; ends the
    rest by PID."""
    deadline = time.monotonic() + timeout
    while True:
        left = _world_pids(world_dir, prefix)
        if not left:
            return
        if time.monotonic() >= deadline:
            break
        time.sleep(0.1)
    for pid in left:
        try:
            os.kill(pid, signal.SIGKILL)
        except (ProcessLookupError, PermissionError):
            pass


def _reap(world_dir):
    """The watchdog: waits for its parent to close the pipe. On "done" it
    simply ends; otherwise (the test process died) it cleans up the world."""
    line = sys.stdin.readline()
    if line.strip() == "done":
        return 0
    world = Path(world_dir)
    prefix = world / "prefix"
    # Only processes that carry the world's mark in their environment are
    # ended, so a PID that was reused meanwhile is left alone.
    for pid in _world_pids(world, prefix):
        try:
            os.kill(pid, signal.SIGKILL)
        except (ProcessLookupError, PermissionError):
            pass
    _wineserver_kill(prefix, dict(os.environ))
    _kill_world_leftovers(world, prefix)
    if os.environ.get("CRIB_KEEP_WORLD", "") in ("", "0"):
        shutil.rmtree(world, ignore_errors=True)
    return 0


if __name__ == "__main__":
    if len(sys.argv) == 3 and sys.argv[1] == "--reap":
        sys.exit(_reap(sys.argv[2]))
    print(__doc__)


class WorldTestCase(unittest.TestCase):
    """One world for all tests of a class: made before the first test and
    ended after the last (world_per_test = True: a world of its own for
    each test). world_arguments() gives World's arguments and
    set_up_world() prepares the world further (the world is ended again when
    that fails). Each test sees the world as self.w and its driver as self.d."""

    world_options = {}
    world_per_test = False

    @classmethod
    def world_arguments(cls):
        return dict(cls.world_options)

    @classmethod
    def set_up_world(cls, world):
        pass

    @classmethod
    def make_world(cls):
        world = World(**cls.world_arguments())
        world.__enter__()
        try:
            cls.set_up_world(world)
        except BaseException:
            world.__exit__(None, None, None)
            raise
        return world

    @classmethod
    def setUpClass(cls):
        if not cls.world_per_test:
            cls.world = cls.make_world()

    @classmethod
    def tearDownClass(cls):
        if not cls.world_per_test:
            cls.world.__exit__(None, None, None)

    def setUp(self):
        if self.world_per_test:
            self.world = self.make_world()
            self.addCleanup(self.world.__exit__, None, None, None)
        self.w = self.world
        self.d = self.world.driver


# Call parameters that let monitoring start: a number, called at most 0
# times, so no call is ever placed.
NO_CALLS = "0301234,1,0"

# The main window's labels and the texts the program gives them at its
# start; the Mixer button keeps the caption of the dialog template.
MAIN_WINDOW_TEXTS = {
    R.IDC_GROUP_MIC: R.IDS_MICROPHONE, R.IDC_GROUP_CALL: R.IDS_CALLING,
    R.IDC_GROUP_CLOCK: R.IDS_DATE_TIME, R.IDC_GROUP_STATUS: R.IDS_STATUS,
    R.IDC_GROUP_CONTACT: R.IDS_CONTACT_GROUP, R.IDC_SENSITIVITY_LABEL: R.IDS_SENSITIVITY,
    R.IDC_MIC_THRESHOLD_LABEL: R.IDS_THRESHOLD, R.IDC_CALL_THRESHOLD_LABEL: R.IDS_THRESHOLD,
    R.IDC_HELP_BUTTON: R.IDS_HELP, R.IDC_SETTINGS: R.IDS_SETTINGS, R.IDC_ABOUT: R.IDS_ABOUT,
    R.IDC_EXIT: R.IDS_EXIT, R.IDC_START_STOP: R.IDS_START, R.IDC_WEB_LINK: R.IDS_WEB_LINK,
    R.IDC_MAIL_LINK: R.IDS_MAIL_LINK,
}


class CribwatchTestCase(WorldTestCase):
    """A world in which each test starts Cribwatch itself, with the profile
    it needs, and acts on it as a user does. The helpers check the
    program's texts in the test's language (self.language, the profile's
    Language; None: the profile holds none). Whatever a test leaves running
    is ended after it, and the next test finds the profile empty."""

    language = GERMAN

    def setUp(self):
        super().setUp()
        self.w.profile_clear()
        self.apps = []
        self.app = self.main = None

    def tearDown(self):
        for app in self.apps:
            if app.alive():
                app.kill()
        wait_until(lambda: self.d.find(DIALOG_CLASS, APP_TITLE) is None,
                   message="a Cribwatch window outlived its process")
        for app in self.apps:
            app.check_no_crash()

    def text(self, ids):
        """A text of the program in the test's language."""
        return R.text(ids, self.language)

    # -- starting --
    def launch(self, exe="Cribwatch", **kwargs):
        """Starts a program (World.start_exe) that is ended after the test."""
        proc = self.w.start_exe(exe, name=Path(exe).stem, **kwargs)
        self.apps.append(proc)
        return proc

    def start(self, env=None, exe="Cribwatch", cwd=None, **profile):
        """Stores the test's language and the profile values given (by
        their names in the registry), starts Cribwatch (by default the
        build's, in the world's cwd/) and returns it (also as self.app)."""
        if self.language is not None:
            self.w.profile_set("Language", self.language)
        for name, value in profile.items():
            self.w.profile_set(name, value)
        self.started_at = time.monotonic()
        self.app = self.launch(exe, env=env, cwd=cwd)
        return self.app

    def start_main(self, **profile):
        """start() (with exe and cwd, if given), then the main window once it shows (also as self.main).
        Without a sound device the no-sound-card message comes first: it is
        checked and confirmed."""
        self.start(**profile)
        if not self.w.sound:
            self.answer_no_soundcard()
        self.main = self.w.wait_main_window(self.app)
        return self.main

    def expect_message(self, text, icon, buttons=(IDOK,), owner=None, proc=None):
        """The message box that `proc` (by default the program) shows now,
        checked: its text, icon, buttons (ids, in any order) and, when
        given, its owner. Returns it."""
        box = self.w.wait_msgbox(proc or self.app)
        self.assertEqual(text, box["text"])
        self.assertEqual(icon, box["icon"])
        self.assertEqual(sorted(buttons), sorted(b["id"] for b in box["buttons"]))
        if owner is not None:
            self.assertEqual(owner, box["owner"])
        return box

    def open_about(self):
        """About: the About box, once it shows."""
        self.d.click_item(self.main, R.IDC_ABOUT)
        return self.w.wait_dialog(self.app, [R.IDC_INFO_MAIL_LINK, R.IDC_INFO_WEB_LINK],
                                  title=self.text(R.IDS_ABOUT))

    def open_help(self):
        """Help: the viewer shows the help file of the test's language
        (known by its title) and is closed again."""
        self.d.click_item(self.main, R.IDC_HELP_BUTTON)
        viewer = self.d.wait_window(HELP_VIEWER, help_title(self.language))
        self.d.close(viewer)
        wait_until(lambda: not self.d.exists(viewer), message="the help viewer stayed")

    def answer_no_soundcard(self):
        self.w.answer_msgbox(self.expect_message(self.text(R.IDS_NO_SOUNDCARD), "stop"), IDOK)

    def no_message_box(self, duration):
        """True when the program shows no message box for `duration` s."""
        return stays(lambda: not self.w.msgboxes(self.app, icons=False), duration)

    def assert_labels(self):
        """The main window's labels speak the test's language."""
        expected = {c: self.text(t) for c, t in MAIN_WINDOW_TEXTS.items()}
        expected[R.IDC_MIXER] = R.dialog("AppDlg")[R.IDC_MIXER]
        self.assertEqual(expected, {c: self.d.item_text(self.main, c) for c in expected})

    # -- monitoring --
    def start_stop_label(self):
        return self.d.item_text(self.main, R.IDC_START_STOP)

    def start_monitoring(self):
        """Start: the button then reads Stop."""
        self.assertEqual(self.text(R.IDS_START), self.start_stop_label())
        self.d.click_item(self.main, R.IDC_START_STOP)
        wait_until(lambda: self.start_stop_label() == self.text(R.IDS_STOP),
                   message="monitoring did not start")

    def stop_monitoring(self):
        """Stop: the button then reads Start."""
        self.d.click_item(self.main, R.IDC_START_STOP)
        wait_until(lambda: self.start_stop_label() == self.text(R.IDS_START),
                   message="monitoring did not stop")

    # -- the exit --
    def ask_exit(self, how=None):
        """Asks the program to end (`how`, by default the Exit button) and
        returns the question, checked: text, icon, Yes and No, its owner."""
        (how or (lambda: self.d.click_item(self.main, R.IDC_EXIT)))()
        return self.expect_message(self.text(R.IDS_CONFIRM_EXIT), "question", (IDYES, IDNO),
                                   owner=self.main)

    def exit_with_yes(self):
        """Exit and Yes: the program ends with exit code 0."""
        self.w.answer_msgbox(self.ask_exit(), IDYES)
        self.assertEqual(0, self.app.wait())
