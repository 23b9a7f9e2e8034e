"""End-to-end tests of Cribwatch's main window under Wine: labels in both
languages, the clock fields, the three sliders and their meters, the
activity indicator, minimising to the tray and back (by the tray message
and by real clicks on the icon in a virtual desktop's taskbar), and
Enter/Esc.

Everything is observed from outside, as a user and the desktop see it: the
window's texts, trackbar positions, static pictures, pixels on the screen
and the registry profile. Each class owns one world (with the room
microphone, in silence); each test starts the program in it afresh."""

import datetime
import os
import re
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from world import (IDYES, SC_MINIMIZE, VK, WaitTimeout, World, WorldTestCase, stays,
                   wait_until)  # noqa: E402

GERMAN, ENGLISH = "0", "1"

LABELS = {
    GERMAN: {
        50: "Mikrofon", 51: "Rufauslösung", 52: "Datum / Uhrzeit", 53: "Status", 54: "Info",
        201: "Empfindlichkeit", 251: "Schwelle", 301: "Schwelle",
        100: "Hilfe", 101: "Einstellungen", 102: "Info", 103: "Mixer", 150: "Beenden",
        700: "Start", 800: "Besuchen Sie unsere Homepage", 810: "Feedback senden",
    },
    ENGLISH: {
        50: "Microphone", 51: "Calling", 52: "Date / Time", 53: "Status", 54: "Contact",
        201: "Sensitivity", 251: "Threshold", 301: "Threshold",
        100: "Help", 101: "Settings", 102: "About", 103: "Mixer", 150: "Exit",
        700: "Start", 800: "Visit our homepage", 810: "Send feedback",
    },
}
STOP_LABEL = {GERMAN: "Stopp", ENGLISH: "Stop"}

# Weekday abbreviations by Python's weekday() (Monday = 0).
WEEKDAYS = {
    GERMAN: ["Mo", "Di", "Mi", "Do", "Fr", "Sa", "So"],
    ENGLISH: ["Mo", "Tu", "We", "Th", "Fr", "Sa", "Su"],
}

SENSITIVITY, MIC_THRESHOLD, CALL_THRESHOLD = 200, 250, 300
START_STOP, EXIT = 700, 150
DATE, TIME = 600, 610
SEGMENTS = list(range(750, 756))

TRAY_MESSAGE = 0x465
TRAY_ICON_ID = 1000
WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_RBUTTONDOWN = 0x201, 0x202, 0x203, 0x204
WS_MAXIMIZE = 0x01000000

# A call number that lets monitoring start; at most 0 calls, so none is placed.
NO_CALLS = "0301234,1,0"


# ------------------------------------------------------------ pixel families --
# The meters are nested gradients that get lighter towards the channel's
# centre line; these tell their colours from the silver background, the
# sunken edge and the grey thumb (all grey: red, green and blue alike).

def is_blue(p):
    """The sensitivity meter's family (from 0xCC6666: red 0x66, green 0x66,
    blue 0xCC)."""
    r, g, b = p
    return b >= r + 32 and b >= g + 32 and abs(r - g) <= 24


def is_red(p):
    """Dark red (0x000080) and its lighter levels."""
    r, g, b = p
    return r >= g + 48 and r >= b + 48


def is_green(p):
    """Dark green (0x008000) and its lighter levels."""
    r, g, b = p
    return g >= r + 48 and g >= b + 48


def fill_length(driver, slider, family):
    """Pixels of the colour family along the slider's centre line (the
    longer of the two middle rows): the part of the meter fill that the
    thumb does not cover."""
    pic = driver.grab(slider)
    best = 0
    for y in (pic.h // 2 - 1, pic.h // 2):
        best = max(best, sum(1 for x in range(pic.w) if family(pic.pixel(x, y))))
    return best


def settled_fill(driver, slider, family, predicate=lambda n: True, timeout=None):
    """The fill length once two grabs in a row agree and satisfy predicate."""
    last = [None]

    def look():
        n = fill_length(driver, slider, family)
        ok = n == last[0] and predicate(n)
        last[0] = n
        return (n,) if ok else None
    return wait_until(look, timeout, interval=0.15,
                      message="a slider's meter did not settle as expected")[0]


# --------------------------------------------------------------- the clock --

DATE_RE = re.compile(r"^(\d{2})\.(\d{2})\.(\d{4})$")
TIME_RE = re.compile(r"^(\S\S) (\d{2}):(\d{2}):(\d{2})$")


def check_clock(test, language, date_text, time_text, seen_at):
    """Date "DD.MM.YYYY" and "<wd> HH:MM:SS" in the language, close to the
    machine's local time when they were read."""
    dm = DATE_RE.match(date_text)
    tm = TIME_RE.match(time_text)
    test.assertIsNotNone(dm, "date field %r" % date_text)
    test.assertIsNotNone(tm, "time field %r" % time_text)
    day, month, year = (int(v) for v in dm.groups())
    wd, hour, minute, second = tm.group(1), int(tm.group(2)), int(tm.group(3)), int(tm.group(4))
    shown = datetime.datetime(year, month, day, hour, minute, second)
    test.assertEqual(WEEKDAYS[language][shown.weekday()], wd,
                     "weekday of %s %s" % (date_text, time_text))
    # The field shows the second of the last once-a-second step; generous
    # slack for a busy machine, far below any wrong field or time zone.
    delta = abs((seen_at - shown).total_seconds())
    test.assertLess(delta, 30, "clock %s %s, machine %s" % (date_text, time_text, seen_at))


# ------------------------------------------------------------------ worlds --

class _MainWindowWorld(WorldTestCase):
    """One world per class (room microphone in silence); each test starts
    Cribwatch afresh with the profile it needs and ends it through Exit."""

    language = GERMAN
    virtual_desktop = None

    @classmethod
    def world_arguments(cls):
        return dict(sound=True, virtual_desktop=cls.virtual_desktop)

    @classmethod
    def set_up_world(cls, world):
        size = world.screen.split("x")
        cls.screen_w, cls.screen_h = int(size[0]), int(size[1])

    def setUp(self):
        super().setUp()
        self.app = None
        self.main = None
        self.extra = []

    def tearDown(self):
        for p in self.extra:
            p.kill()
        if self.app is None or not self.app.alive():
            return
        if not self.main:
            self.app.kill()
            return
        try:
            self.exit_app()
        except Exception:
            self.app.kill()
            raise

    def start(self, reaction=None, call_params=None):
        """Sets the profile, starts the program and finds its main window as
        early as it exists. Returns the clock fields as first read, and the
        seconds from the start to that reading."""
        self.w.profile_clear()
        self.w.profile_set("Language", self.language)
        if reaction is not None:
            self.w.profile_set("Reaction", reaction)
        if call_params is not None:
            self.w.profile_set("CallParams", call_params)
        t0 = time.monotonic()
        self.app = self.w.start_app()

        def look():
            self.assert_running()
            return self.find_main()
        try:
            self.main = wait_until(look, interval=0.005)
        except WaitTimeout:
            self.fail("the main window never appeared; processes %r; windows %r"
                      % (self.d.procs(), self.d.windows()))
        # It shows once its initialisation is done; read the clock at once.
        wait_until(lambda: self.assert_running() or self.d.visible(self.main), interval=0.005,
                   message="the main window did not become visible")
        first = (self.d.item_text(self.main, DATE), self.d.item_text(self.main, TIME))
        first_at = time.monotonic() - t0
        return first, first_at

    def find_main(self):
        """The main window of the one Cribwatch of this world, once the
        dialog has made all its controls (in template order; 755 comes
        last). Found by class, title and controls among all windows: while
        Wine starts a program its process may briefly show up under the
        program's name in a launcher process, so its Windows id is not
        relied on."""
        for win in self.d.windows():
            if win["cls"] != "#32770" or win["title"] != "Cribwatch":
                continue
            h = win["hwnd"]
            if all(self.d.item(h, i) for i in (START_STOP, SENSITIVITY, SEGMENTS[-1])):
                return h
        return None

    def msgboxes(self):
        """Message boxes that the main window owns."""
        return [b for b in self.d.msgboxes(0, False) if b["owner"] == self.main]

    def assert_running(self):
        if not self.app.alive():
            self.app.check_no_crash()
            self.fail("Cribwatch ended (exit code %s)" % self.app.exit_code)
        return None

    def item(self, control_id):
        h = self.d.item(self.main, control_id)
        self.assertTrue(h, "control %d missing" % control_id)
        return h

    def wait_restored(self, work_bottom):
        """Waits until the main window is shown in its normal state, in front
        and centred on the work area (the screen down to work_bottom); the
        window is moved only after it has been shown, so poll for all of it."""
        last = [None]

        def restored():
            s = last[0] = self.d.state(self.main)
            r = s["rect"]
            w, h = r["right"] - r["left"], r["bottom"] - r["top"]
            return (s["visible"] and not s["iconic"] and not s["style"] & WS_MAXIMIZE
                    and s["foreground"] == self.main and w > 300 and h > 200
                    and abs(r["left"] - (self.screen_w - w) / 2) <= 1.0
                    and abs(r["top"] - (work_bottom - h) / 2) <= 1.0)
        try:
            wait_until(restored)
        except WaitTimeout:
            self.fail("the window was not restored normal, in front and centred on %dx%d: %r"
                      % (self.screen_w, work_bottom, last[0]))

    def exit_app(self):
        """Exit button, Yes: the program ends with 0 and no crash."""
        self.d.click_item(self.main, EXIT)
        box = wait_until(lambda: self.assert_running() or (self.msgboxes() or [None])[0],
                         message="no exit question")
        box = wait_until(lambda: (lambda b: b if b["icon"] != "unknown" else None)(self.d.msgbox(box["hwnd"])),
                         message="the exit question's icon was not recognised")
        self.assertEqual("Cribwatch", box["title"])
        self.assertEqual("question", box["icon"])
        self.w.answer_msgbox(box, IDYES)
        self.assertEqual(0, self.app.wait())

    # -- shared checks --
    def check_labels_and_clock(self):
        first, first_at = self.start(call_params=NO_CALLS)
        # Before the first once-a-second step the clock fields are empty. A
        # reading taken within 0.9 s of starting the process lies before
        # the tenth 100 ms tick for sure; a later one may lie after it.
        if first_at < 0.9:
            self.assertEqual(("", ""), first, "clock fields %.2f s after the start" % first_at)
        else:
            for text, pattern in zip(first, (DATE_RE, TIME_RE)):
                self.assertTrue(text == "" or pattern.match(text), "clock field %r" % text)
            sys.stderr.write("note: first clock reading %.2f s after the start\n" % first_at)

        self.assertEqual("Cribwatch", self.d.title(self.main))
        labels = {i: self.d.item_text(self.main, i) for i in LABELS[self.language]}
        self.assertEqual(LABELS[self.language], labels)

        # Then, once a second, date and weekday/time of the local clock.
        wait_until(lambda: self.d.item_text(self.main, TIME) != "",
                   message="the clock never showed")
        date_text = self.d.item_text(self.main, DATE)
        time_text = self.d.item_text(self.main, TIME)
        check_clock(self, self.language, date_text, time_text, datetime.datetime.now())
        # It goes on ticking.
        wait_until(lambda: self.d.item_text(self.main, TIME) not in ("", time_text),
                   message="the time stayed %r" % time_text)
        date_text = self.d.item_text(self.main, DATE)
        time_text = self.d.item_text(self.main, TIME)
        check_clock(self, self.language, date_text, time_text, datetime.datetime.now())

        # The Start/Stop label follows monitoring in the same language.
        self.d.click_item(self.main, START_STOP)
        wait_until(lambda: self.d.item_text(self.main, START_STOP) == STOP_LABEL[self.language],
                   message="Start did not become %r" % STOP_LABEL[self.language])
        self.d.click_item(self.main, START_STOP)
        wait_until(lambda: self.d.item_text(self.main, START_STOP) == LABELS[self.language][700],
                   message="Stop did not become Start again")
        self.exit_app()


class GermanMainWindow(_MainWindowWorld, unittest.TestCase):
    language = GERMAN

    def test_labels_and_clock(self):
        self.check_labels_and_clock()

    def test_sliders_follow_the_profile_and_the_keyboard(self):
        self.start(reaction="60,40,20")
        sens, mic, call = self.item(SENSITIVITY), self.item(MIC_THRESHOLD), self.item(CALL_THRESHOLD)
        for h in (sens, mic, call):
            self.assertEqual((0, 100), self.d.tbrange(h))
        self.assertEqual([60, 40, 20], [self.d.tbpos(h) for h in (sens, mic, call)])

        # The sensitivity slider's meter shows its own position.
        at60 = settled_fill(self.d, sens, is_blue, lambda n: n > 0)
        width = self.d.grab(sens).w
        self.assertGreater(at60, width * 0.4, "fill at 60 of a %d pixel slider" % width)
        self.assertLess(at60, width * 0.7, "fill at 60 of a %d pixel slider" % width)

        # In silence the microphone meter is empty, and with the level below
        # the microphone threshold the alarm level stays 0.
        self.assertTrue(stays(lambda: fill_length(self.d, mic, is_red) + fill_length(self.d, mic, is_green) <= 1
                              and fill_length(self.d, call, is_red) + fill_length(self.d, call, is_green) == 0,
                              1.0, 0.1), "a meter filled in silence")

        # Keyboard: PageDown +10, Right +1, PageUp -10 on the focused slider.
        self.assertEqual(sens, self.d.focus(sens))
        self.d.key(self.main, VK.NEXT, VK.NEXT, VK.RIGHT)
        wait_until(lambda: self.d.tbpos(sens) == 81, message="slider 200 did not reach 81")
        at81 = settled_fill(self.d, sens, is_blue, lambda n: n > at60 + width * 0.1)
        self.d.key(self.main, VK.PRIOR, VK.PRIOR, VK.PRIOR, VK.PRIOR, VK.PRIOR)
        wait_until(lambda: self.d.tbpos(sens) == 31, message="slider 200 did not reach 31")
        at31 = settled_fill(self.d, sens, is_blue, lambda n: 0 < n < at60 - width * 0.1)
        self.assertLess(at31, at81)

        self.assertEqual(call, self.d.focus(call))
        self.d.key(self.main, VK.NEXT, VK.RIGHT, VK.RIGHT)
        wait_until(lambda: self.d.tbpos(call) == 32, message="slider 300 did not reach 32")

        # Moving the microphone threshold to 0 takes effect at once: level 0
        # now counts as loud and the alarm level (calling meter) rises.
        self.assertEqual(mic, self.d.focus(mic))
        self.d.key(self.main, VK.LEFT, VK.LEFT, VK.LEFT)
        wait_until(lambda: self.d.tbpos(mic) == 37, message="slider 250 did not reach 37")
        self.assertEqual(0, fill_length(self.d, call, is_red) + fill_length(self.d, call, is_green))
        self.d.key(self.main, VK.HOME)
        wait_until(lambda: self.d.tbpos(mic) == 0, message="slider 250 did not reach 0")
        wait_until(lambda: fill_length(self.d, call, is_red) + fill_length(self.d, call, is_green) > 20,
                   message="the calling meter did not rise after the threshold went to 0")

        # Exit stores the positions the keyboard left.
        self.exit_app()
        self.assertEqual("31,0,32", self.w.profile_get("Reaction"))
        self.assertEqual(GERMAN, self.w.profile_get("Language"))

    def test_activity_indicator(self):
        self.start(call_params=NO_CALLS)
        segs = [self.item(i) for i in SEGMENTS]

        def snapshot():
            return [self.d.image(h) for h in segs]

        initial = snapshot()
        self.assertTrue(all(initial), "every segment holds a picture: %r" % initial)
        # While monitoring is off nothing moves.
        self.assertTrue(stays(lambda: snapshot() == initial, 0.6, 0.05))

        first_run = self.run_indicator(snapshot, initial)
        self.d.click_item(self.main, START_STOP)
        wait_until(lambda: self.d.item_text(self.main, START_STOP) == "Start")
        # After Stop all six show the unlit picture and stay so.
        wait_until(lambda: len(set(snapshot())) == 1, message="segments after Stop: %r" % snapshot())
        stopped = snapshot()
        self.assertEqual(first_run["off"], stopped[0])
        self.assertTrue(stays(lambda: snapshot() == stopped, 0.6, 0.05))

        second_run = self.run_indicator(snapshot, stopped)
        self.assertEqual(first_run["on"], second_run["on"])
        self.assertEqual(first_run["off"], second_run["off"])
        self.check_first_segment(first_run, 751)
        self.check_first_segment(second_run, 750)
        self.exit_app()

    def run_indicator(self, snapshot, before):
        """Clicks Start and follows the lit segment for about two cycles.
        Returns the lit segments in the order seen (consecutive repeats
        dropped), the on/off handles, and how long before the first lit
        snapshot the last unchanged one was taken."""
        self.d.click_item(self.main, START_STOP)
        last_unchanged = time.monotonic()
        first_change = None
        runs = []   # [segment, first seen, last seen]
        handles = set()
        deadline = time.monotonic() + 30
        while time.monotonic() < deadline:
            snap = snapshot()
            now = time.monotonic()
            if first_change is None and snap == before:
                last_unchanged = now
                time.sleep(0.01)
                continue
            # A snapshot is read segment by segment while the program may
            # be stepping; only those with one picture on five alike count.
            counts = {v: snap.count(v) for v in set(snap)}
            if sorted(counts.values()) != [1, 5]:
                continue
            on = next(v for v, c in counts.items() if c == 1)
            off = next(v for v, c in counts.items() if c == 5)
            handles.add((on, off))
            segment = SEGMENTS[snap.index(on)]
            if first_change is None:
                first_change = now
            if runs and runs[-1][0] == segment:
                runs[-1][2] = now
            else:
                runs.append([segment, now, now])
            if len(runs) >= 14:
                break
            time.sleep(0.01)
        lit = [r[0] for r in runs]
        self.assertEqual(STOP_LABEL[self.language], self.d.item_text(self.main, START_STOP))
        self.assertGreaterEqual(len(lit), 14, "lit segments seen: %r" % lit)
        self.assertEqual(1, len(handles), "one lit and one unlit picture: %r" % handles)
        # The lit segment walks from 750 to 755 and round again. A step can
        # go unseen only while the polling here was held up.
        exact = 0
        for a, b in zip(runs, runs[1:]):
            if b[0] == 750 + (a[0] - 750 + 1) % 6:
                exact += 1
            else:
                self.assertGreater(b[1] - a[2], 0.1, "segment %d followed %d at once; lit segments %r"
                                   % (b[0], a[0], lit))
        self.assertGreaterEqual(exact, (len(runs) - 1) // 2, "order of lit segments: %r" % lit)
        on, off = handles.pop()
        self.assertNotEqual(on, off)
        return {"lit": lit, "on": on, "off": off, "gap": first_change - last_unchanged}

    def check_first_segment(self, run, expected):
        # Steps are at least two 100 ms ticks apart: a first lit snapshot
        # taken less than 0.15 s after one that was still unchanged shows
        # the run's first step.
        if run["gap"] < 0.15:
            self.assertEqual(expected, run["lit"][0], "lit segments: %r" % run["lit"])
        else:
            sys.stderr.write("note: first step not observed closely enough (%.3f s); "
                             "lit segments %r\n" % (run["gap"], run["lit"]))

    def test_enter_and_escape_do_nothing(self):
        self.start(call_params=NO_CALLS)
        call = self.item(CALL_THRESHOLD)
        self.assertEqual(call, self.d.focus(call))
        wait_until(lambda: self.d.item_text(self.main, TIME) != "")
        # Typed Enter and Esc (the dialog turns them into OK and Cancel),
        # and the two commands themselves.
        self.d.key(self.main, VK.RETURN)
        self.d.key(self.main, VK.ESCAPE)
        self.d.command(self.main, 1)
        self.d.command(self.main, 2)
        self.assertTrue(stays(lambda: self.app.alive() and self.d.visible(self.main)
                              and not self.msgboxes(), 1.5, 0.1),
                        "Enter or Esc did something")
        self.assertEqual(LABELS[GERMAN][700], self.d.item_text(self.main, START_STOP))
        # The window runs on: the clock still ticks.
        shown = self.d.item_text(self.main, TIME)
        wait_until(lambda: self.d.item_text(self.main, TIME) != shown,
                   message="the clock stopped after Enter/Esc")
        self.exit_app()


class EnglishMainWindow(_MainWindowWorld, unittest.TestCase):
    language = ENGLISH

    def test_labels_and_clock(self):
        self.check_labels_and_clock()

    def test_calling_meter_with_microphone_threshold_zero(self):
        # Threshold 0: level 0 (silence) counts as loud, so the alarm level
        # rises by 0.02 a tick; the calling meter is dark green below the
        # calling threshold (70) and dark red from it on.
        self.start(reaction="75,0,70")
        mic, call = self.item(MIC_THRESHOLD), self.item(CALL_THRESHOLD)
        width = self.d.grab(call).w
        seen = []   # (green pixels, red pixels)
        deadline = time.monotonic() + 30
        while time.monotonic() < deadline:
            pic = self.d.grab(call)
            row = [pic.pixel(x, pic.h // 2) for x in range(pic.w)]
            seen.append((sum(map(is_green, row)), sum(map(is_red, row))))
            if seen[-1][1] > width * 0.8 and len(seen) > 2 and seen[-1] == seen[-2] == seen[-3]:
                break
            time.sleep(0.05)
        greens = [g for g, r in seen if g and not r]
        reds = [r for g, r in seen if r and not g]
        self.assertTrue(greens, "the calling meter was never dark green: %r" % seen[:20])
        self.assertTrue(reds, "the calling meter never turned dark red: %r" % seen[-20:])
        # The colour changes once, from green to red, ...
        kinds = [("g" if g else "") + ("r" if r else "") for g, r in seen if g or r]
        switch = kinds.index("r")
        self.assertEqual(["g"] * switch, kinds[:switch], kinds)
        self.assertEqual(["r"] * (len(kinds) - switch), kinds[switch:], kinds)
        # ... the fill only grows, and ends filling the channel.
        lengths = [g + r for g, r in seen if g or r]
        self.assertEqual(sorted(lengths), lengths, "fill lengths %r" % lengths)
        self.assertGreater(max(greens), min(greens), "the green fill did not grow: %r" % greens)
        self.assertGreater(reds[-1], max(greens))
        self.assertGreater(reds[-1], width * 0.8)
        # The microphone meter shows level 0: no fill at all.
        self.assertEqual(0, fill_length(self.d, mic, is_red) + fill_length(self.d, mic, is_green))
        self.exit_app()

    def test_minimise_to_tray_and_back(self):
        self.start()
        d, main = self.d, self.main
        wait_until(lambda: d.state(main)["foreground"] == main or d.foreground(main) == main,
                   message="the main window did not come to the front")
        d.syscommand(main, SC_MINIMIZE)
        wait_until(lambda: d.state(main)["iconic"], message="the window did not minimise")
        # Wine reports the minimised activation once another window is
        # active: bring up another program's window.
        other = self.w.start_exe(str(self.w.prefix / "drive_c" / "windows" / "notepad.exe"), name="notepad")
        self.extra.append(other)
        note = wait_until(lambda: d.find("Notepad", "*", 0, True),
                          message="notepad did not appear")
        d.foreground(note)
        wait_until(lambda: not d.visible(main), message="the minimised window stayed visible")

        # Only a left-button press on our icon brings it back.
        for wparam, lparam in ((TRAY_ICON_ID, WM_RBUTTONDOWN), (TRAY_ICON_ID, WM_LBUTTONUP),
                               (TRAY_ICON_ID, WM_LBUTTONDBLCLK), (999, WM_LBUTTONDOWN)):
            d.post(main, TRAY_MESSAGE, wparam, lparam)
            self.assertTrue(stays(lambda: not d.visible(main) and self.app.alive(), 0.6, 0.05),
                            "tray message %d/0x%x showed the window" % (wparam, lparam))

        d.post(main, TRAY_MESSAGE, TRAY_ICON_ID, WM_LBUTTONDOWN)
        self.wait_restored(self.screen_h)
        # It still works: the labels are there and the clock ticks.
        self.assertEqual(LABELS[ENGLISH][150], d.item_text(main, EXIT))
        shown = d.item_text(main, TIME)
        wait_until(lambda: d.item_text(main, TIME) != shown, message="the clock stopped")

        d.close(note)
        other.wait()
        self.exit_app()


class TrayIconOnTheTaskbar(_MainWindowWorld, unittest.TestCase):
    """A virtual desktop with a taskbar: the program's icon sits in its
    notification area and real clicks on it reach the program."""

    language = ENGLISH
    virtual_desktop = "1024x768"

    def find_icon(self, tray):
        """Client coordinates of the middle of the right-most icon in the
        taskbar's notification area, or None."""
        pic = self.d.grab(tray)
        y = pic.h // 2
        row = [pic.pixel(x, y) for x in range(pic.w)]
        face = max(set(row), key=row.count)
        xs = [x for x in range(pic.w - 120, pic.w) if row[x] != face]
        if len(xs) < 8:
            return None
        return xs[-1] - 7, y

    def test_clicks_on_the_tray_icon(self):
        self.start()
        d, main = self.d, self.main
        tray = wait_until(lambda: d.find("Shell_TrayWnd", "*", 0, True),
                          message="no taskbar (Wine shows it once a tray icon exists)")
        icon = wait_until(lambda: self.find_icon(tray), message="no icon in the notification area")
        d.syscommand(main, SC_MINIMIZE)
        wait_until(lambda: d.state(main)["iconic"], message="the window did not minimise")
        other = self.w.start_exe(str(self.w.prefix / "drive_c" / "windows" / "notepad.exe"), name="notepad")
        self.extra.append(other)
        note = wait_until(lambda: d.find("Notepad", "*", 0, True),
                          message="notepad did not appear")
        d.foreground(note)
        wait_until(lambda: not d.visible(main), message="the minimised window stayed visible")

        # The driver places the pointer and then clicks; under Wine the
        # pointer may not have arrived for the first click, so each click
        # is given more than once (a second press changes nothing more).
        for _ in range(2):
            d.mouse(tray, icon[0], icon[1], "right")
            self.assertTrue(stays(lambda: not d.visible(main), 1.0, 0.05), "a right click showed the window")
        for attempt in range(3):
            d.mouse(tray, icon[0], icon[1])
            try:
                wait_until(lambda: d.visible(main) and not d.state(main)["iconic"], timeout=3)
                break
            except WaitTimeout:
                sys.stderr.write("note: left click %d on the tray icon was not seen\n" % (attempt + 1))
                if attempt == 2:
                    raise AssertionError("left clicks on the icon did not restore the window")
        # Centred on the desktop's work area, the screen above the taskbar.
        self.wait_restored(d.rect(tray)["top"])
        d.close(note)
        other.wait()
        self.exit_app()


if __name__ == "__main__":
    unittest.main()
