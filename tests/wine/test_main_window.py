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

from resources import ENGLISH, GERMAN, R  # noqa: E402
from world import (APP_TITLE, DIALOG_CLASS, IDCANCEL, IDOK, NO_CALLS, REPO, TRAY_ICON_ID,  # noqa: E402
                   TRAY_MESSAGE, VK, WM_LBUTTONDBLCLK, WM_LBUTTONDOWN, WM_LBUTTONUP, WM_RBUTTONDOWN,
                   CribwatchTestCase, WaitTimeout, is_blue, is_green, is_red, stays, wait_until)

# The activity indicator's segments: the pictures of the window's template
# that show the unlit segment, in the order of their ids.
SEGMENTS = sorted(c for c, picture in R.dialog("AppDlg").items() if picture == R.IDB_INDICATOR_OFF)

WS_MAXIMIZE = 0x01000000


# ------------------------------------------------------------------ meters --

def fill_length(driver, slider, family):
    """Pixels of the colour family along the slider's centre line (the
    longer of the two middle rows): the part of the meter fill that the
    thumb does not cover."""
    pic = driver.grab(slider)
    best = 0
    for y in (pic.h // 2 - 1, pic.h // 2):
        best = max(best, sum(1 for x in range(pic.w) if family(pic.pixel(x, y))))
    return best


def meter_fill(driver, slider):
    """Pixels of a level meter's fill (dark red or dark green)."""
    return fill_length(driver, slider, is_red) + fill_length(driver, slider, is_green)


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


def weekdays(language):
    """The program's weekday abbreviations (its table in
    app/display_format.cpp, Sunday first) by Python's weekday(), Monday 0."""
    source = (REPO / "app" / "display_format.cpp").read_text()
    table = re.search(r"kWeekdays%s\[7\]\s*=\s*\{([^}]*)\}"
                      % ("German" if language == GERMAN else "English"), source)
    names = re.findall(r'"([^"]*)"', table.group(1)) if table else []
    assert len(set(names)) == 7, "no table of seven weekdays in display_format.cpp: %r" % names
    return names[1:] + names[:1]


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
    test.assertEqual(weekdays(language)[shown.weekday()], wd, "weekday of %s %s" % (date_text, time_text))
    # The field shows the second of the last once-a-second step; generous
    # slack for a busy machine, far below any wrong field or time zone.
    delta = abs((seen_at - shown).total_seconds())
    test.assertLess(delta, 30, "clock %s %s, machine %s" % (date_text, time_text, seen_at))


# ------------------------------------------------------------------ worlds --

class _MainWindowWorld(CribwatchTestCase):
    """One world per class (room microphone in silence); each test starts
    Cribwatch afresh with the profile it needs and ends it through Exit."""

    virtual_desktop = None

    @classmethod
    def world_arguments(cls):
        return dict(sound=True, virtual_desktop=cls.virtual_desktop)

    @classmethod
    def set_up_world(cls, world):
        size = world.screen.split("x")
        cls.screen_w, cls.screen_h = int(size[0]), int(size[1])

    def start_watching_clock(self):
        """Starts the program and finds its main window as early as it
        exists. Returns the clock fields as first read once the window
        shows, and the seconds from the start to that reading."""
        self.start(CallParams=NO_CALLS)

        def look():
            self.w._check_running(self.app)
            return self.find_main()
        try:
            self.main = wait_until(look, interval=0.005)
        except WaitTimeout:
            self.fail("the main window never appeared; processes %r; windows %r"
                      % (self.d.procs(), self.d.windows()))
        # It shows once its initialisation is done; read the clock at once.
        wait_until(lambda: self.w._check_running(self.app) or self.d.visible(self.main), interval=0.005,
                   message="the main window did not become visible")
        first = (self.d.item_text(self.main, R.IDC_DATE), self.d.item_text(self.main, R.IDC_TIME))
        return first, time.monotonic() - self.started_at

    def find_main(self):
        """The main window of the one Cribwatch of this world, once the
        dialog has made all its controls (in template order; the last
        segment comes last). Found by class, title and controls among all
        windows: while Wine starts a program its process may briefly show
        up under the program's name in a launcher process, so its Windows
        id is not relied on."""
        for win in self.d.windows():
            if win["cls"] != DIALOG_CLASS or win["title"] != APP_TITLE:
                continue
            h = win["hwnd"]
            if all(self.d.item(h, i) for i in (R.IDC_START_STOP, R.IDC_SENSITIVITY, SEGMENTS[-1])):
                return h
        return None

    def item(self, control_id):
        h = self.d.item(self.main, control_id)
        self.assertTrue(h, "control %d missing" % control_id)
        return h

    def time_shown(self):
        return self.d.item_text(self.main, R.IDC_TIME)

    def wait_clock_ticks(self):
        shown = self.time_shown()
        wait_until(lambda: self.time_shown() not in ("", shown), message="the time stayed %r" % shown)

    def minimise_behind_notepad(self):
        """Minimises the main window and activates another program's window
        (Wine reports the minimised activation only then); the window hides
        in the tray. Returns notepad's process (ended after the test) and
        window."""
        other, note = self.w.minimise_behind_notepad(self.main)
        self.apps.append(other)
        return other, note

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

    # -- shared checks --
    def check_labels_and_clock(self):
        first, first_at = self.start_watching_clock()
        # Before the first once-a-second step the clock fields are empty. A
        # reading taken within 0.9 s of starting the process lies before
        # the tenth 100 ms tick for sure; a later one may lie after it.
        if first_at < 0.9:
            self.assertEqual(("", ""), first, "clock fields %.2f s after the start" % first_at)
        else:
            for text, pattern in zip(first, (DATE_RE, TIME_RE)):
                self.assertTrue(text == "" or pattern.match(text), "clock field %r" % text)

        self.assertEqual(APP_TITLE, self.d.title(self.main))
        self.assert_labels()

        # Then, once a second, date and weekday/time of the local clock; it
        # goes on ticking.
        wait_until(lambda: self.time_shown() != "", message="the clock never showed")
        for _ in range(2):
            check_clock(self, self.language, self.d.item_text(self.main, R.IDC_DATE), self.time_shown(),
                        datetime.datetime.now())
            self.wait_clock_ticks()

        # The Start/Stop label follows monitoring in the same language.
        self.start_monitoring()
        self.stop_monitoring()
        self.exit_with_yes()


class GermanMainWindow(_MainWindowWorld):
    language = GERMAN

    def test_labels_and_clock(self):
        self.check_labels_and_clock()

    def test_no_soundcard_message_with_a_device(self):
        self.start_main()
        self.assertTrue(self.no_message_box(2.0))
        self.assertEqual(self.text(R.IDS_START), self.start_stop_label())
        self.exit_with_yes()

    def test_sliders_follow_the_profile_and_the_keyboard(self):
        self.start_main(Reaction="60,40,20")
        sens, mic, call = (self.item(R.IDC_SENSITIVITY), self.item(R.IDC_MIC_THRESHOLD),
                           self.item(R.IDC_CALL_THRESHOLD))
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
        self.assertTrue(stays(lambda: meter_fill(self.d, mic) <= 1 and meter_fill(self.d, call) == 0, 1.0, 0.1),
                        "a meter filled in silence")

        # Keyboard: PageDown +10, Right +1, PageUp -10 on the focused slider.
        self.assertEqual(sens, self.d.focus(sens))
        self.d.key(self.main, VK.NEXT, VK.NEXT, VK.RIGHT)
        wait_until(lambda: self.d.tbpos(sens) == 81, message="the sensitivity slider did not reach 81")
        at81 = settled_fill(self.d, sens, is_blue, lambda n: n > at60 + width * 0.1)
        self.d.key(self.main, VK.PRIOR, VK.PRIOR, VK.PRIOR, VK.PRIOR, VK.PRIOR)
        wait_until(lambda: self.d.tbpos(sens) == 31, message="the sensitivity slider did not reach 31")
        at31 = settled_fill(self.d, sens, is_blue, lambda n: 0 < n < at60 - width * 0.1)
        self.assertLess(at31, at81)

        self.assertEqual(call, self.d.focus(call))
        self.d.key(self.main, VK.NEXT, VK.RIGHT, VK.RIGHT)
        wait_until(lambda: self.d.tbpos(call) == 32, message="the calling threshold did not reach 32")

        # Moving the microphone threshold to 0 takes effect at once: level 0
        # now counts as loud and the alarm level (calling meter) rises.
        self.assertEqual(mic, self.d.focus(mic))
        self.d.key(self.main, VK.LEFT, VK.LEFT, VK.LEFT)
        wait_until(lambda: self.d.tbpos(mic) == 37, message="the microphone threshold did not reach 37")
        self.assertEqual(0, meter_fill(self.d, call))
        self.d.key(self.main, VK.HOME)
        wait_until(lambda: self.d.tbpos(mic) == 0, message="the microphone threshold did not reach 0")
        wait_until(lambda: meter_fill(self.d, call) > 20,
                   message="the calling meter did not rise after the threshold went to 0")

        # Exit stores the positions the keyboard left.
        self.exit_with_yes()
        self.assertEqual("31,0,32", self.w.profile_get("Reaction"))
        self.assertEqual(GERMAN, self.w.profile_get("Language"))

    def test_activity_indicator(self):
        # One step lights the segment after the last one lit. A freshly
        # started program stands at the first segment without lighting it, so
        # its first run lights the second segment first; Stop puts the
        # indicator before the first segment, so every later run begins
        # there.
        first = self.closely_seen_run(self.fresh_indicator)
        second = self.closely_seen_run(self.stopped_indicator)
        self.assertEqual(SEGMENTS[1], first["lit"][0], "lit segments: %r" % first["lit"])
        self.assertEqual(SEGMENTS[0], second["lit"][0], "lit segments: %r" % second["lit"])
        self.assertEqual(first["on"], second["on"])
        self.assertEqual(first["off"], second["off"])
        self.assertEqual(first["off"], second["before"][0], "the unlit picture after Stop")
        self.exit_with_yes()

    def snapshot(self):
        return [self.d.image(h) for h in self.segments]

    def fresh_indicator(self):
        """A program started afresh (the one before ended): every segment
        holds a picture, and while monitoring is off nothing moves."""
        if self.app is not None:
            self.exit_with_yes()
        self.start_main(CallParams=NO_CALLS)
        self.segments = [self.item(i) for i in SEGMENTS]
        initial = self.snapshot()
        self.assertTrue(all(initial), "every segment holds a picture: %r" % initial)
        self.assertTrue(stays(lambda: self.snapshot() == initial, 0.6, 0.05))
        return initial

    def stopped_indicator(self):
        """Stop: all six show the unlit picture and stay so."""
        self.stop_monitoring()
        wait_until(lambda: len(set(self.snapshot())) == 1, message="segments after Stop: %r" % self.snapshot())
        stopped = self.snapshot()
        self.assertTrue(stays(lambda: self.snapshot() == stopped, 0.6, 0.05))
        return stopped

    def closely_seen_run(self, prepare, attempts=3):
        """A run of the indicator (see run_indicator) from the state that
        prepare() makes, whose first step was seen: steps are at least two
        100 ms ticks apart, so a first lit snapshot taken less than 0.15 s
        after one that was still unchanged shows the run's first step. A
        run seen less closely (a busy machine) is tried again."""
        for _ in range(attempts):
            run = self.run_indicator(prepare())
            if run["gap"] < 0.15:
                return run
        self.fail("the first step of a run was not seen closely in %d tries: %r" % (attempts, run))

    def run_indicator(self, before):
        """Clicks Start and follows the lit segment for about two cycles.
        Returns the lit segments in the order seen (consecutive repeats
        dropped), the on/off handles, the snapshot before, and how long
        before the first lit snapshot the last unchanged one was taken."""
        self.d.click_item(self.main, R.IDC_START_STOP)
        last_unchanged = time.monotonic()
        first_change = None
        runs = []   # [segment, first seen, last seen]
        handles = set()
        deadline = time.monotonic() + 30
        while time.monotonic() < deadline:
            snap = self.snapshot()
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
        self.assertEqual(self.text(R.IDS_STOP), self.start_stop_label())
        self.assertGreaterEqual(len(lit), 14, "lit segments seen: %r" % lit)
        self.assertEqual(1, len(handles), "one lit and one unlit picture: %r" % handles)
        # The lit segment walks from the first to the last and round again.
        # A step can go unseen only while the polling here was held up.
        exact = 0
        for a, b in zip(runs, runs[1:]):
            if b[0] == SEGMENTS[(SEGMENTS.index(a[0]) + 1) % len(SEGMENTS)]:
                exact += 1
            else:
                self.assertGreater(b[1] - a[2], 0.1, "segment %d followed %d at once; lit segments %r"
                                   % (b[0], a[0], lit))
        self.assertGreaterEqual(exact, (len(runs) - 1) // 2, "order of lit segments: %r" % lit)
        on, off = handles.pop()
        self.assertNotEqual(on, off)
        return {"lit": lit, "on": on, "off": off, "before": before, "gap": first_change - last_unchanged}

    def test_enter_and_escape_do_nothing(self):
        self.start_main(CallParams=NO_CALLS)
        profile = self.w.profile()
        wait_until(lambda: self.time_shown() != "")
        # Typed Enter and Esc (the dialog turns them into OK and Cancel) on
        # a slider, Esc on the Start button (with the focus on a push button
        # Enter presses that button, as in every dialog), and the two
        # commands themselves.
        slider, button = self.item(R.IDC_SENSITIVITY), self.item(R.IDC_START_STOP)
        for vk, focus in ((VK.RETURN, slider), (VK.ESCAPE, slider), (VK.ESCAPE, button)):
            self.assertEqual(focus, self.d.focus(focus))
            self.assertEqual(focus, self.d.key(self.main, vk))
        self.d.command(self.main, IDOK)
        self.d.command(self.main, IDCANCEL)
        self.assertTrue(stays(lambda: self.app.alive() and self.d.visible(self.main)
                              and not self.w.msgboxes(self.app, icons=False), 1.5, 0.1),
                        "Enter or Esc did something")
        self.assertEqual(profile, self.w.profile())
        self.assertEqual(self.text(R.IDS_START), self.start_stop_label())
        # The window runs on: the clock still ticks.
        self.wait_clock_ticks()
        self.exit_with_yes()


class EnglishMainWindow(_MainWindowWorld):
    language = ENGLISH

    def test_labels_and_clock(self):
        self.check_labels_and_clock()

    def test_calling_meter_with_microphone_threshold_zero(self):
        # Threshold 0: level 0 (silence) counts as loud, so the alarm level
        # rises by 0.02 a tick; the calling meter is dark green below the
        # calling threshold (70) and dark red from it on.
        self.start_main(Reaction="75,0,70")
        mic, call = self.item(R.IDC_MIC_THRESHOLD), self.item(R.IDC_CALL_THRESHOLD)
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
        self.assertEqual(0, meter_fill(self.d, mic))
        self.exit_with_yes()

    def test_minimise_to_tray_and_back(self):
        d, main = self.d, self.start_main()
        wait_until(lambda: d.state(main)["foreground"] == main or d.foreground(main) == main,
                   message="the main window did not come to the front")
        other, note = self.minimise_behind_notepad()

        # Hidden, the window is not painted: its clock stands still.
        stale = self.time_shown()
        # Only a left-button press on our icon brings it back.
        for wparam, lparam in ((TRAY_ICON_ID, WM_RBUTTONDOWN), (TRAY_ICON_ID, WM_LBUTTONUP),
                               (TRAY_ICON_ID, WM_LBUTTONDBLCLK), (999, WM_LBUTTONDOWN)):
            d.post(main, TRAY_MESSAGE, wparam, lparam)
            self.assertTrue(stays(lambda: not d.visible(main) and self.app.alive(), 0.6, 0.05),
                            "tray message %d/0x%x showed the window" % (wparam, lparam))

        self.assertEqual(stale, self.time_shown(), "the hidden window's clock went on")
        d.post(main, TRAY_MESSAGE, TRAY_ICON_ID, WM_LBUTTONDOWN)
        self.wait_restored(self.screen_h)
        # It still works: the labels are there and the clock ticks.
        self.assertEqual(self.text(R.IDS_EXIT), d.item_text(main, R.IDC_EXIT))
        self.wait_clock_ticks()
        d.close(note)
        other.wait()
        self.exit_with_yes()


    def test_the_tray_icon_comes_back_when_the_taskbar_is_made_anew(self):
        # Explorer restarted: its "TaskbarCreated" adds the icon again (relay trace).
        self.w.driver.regset("Software\\Wine\\Debug", "RelayInclude", "shell32.Shell_NotifyIconA")
        self.start(env={"WINEDEBUG": "+relay"})
        self.main = self.w.wait_main_window(self.app)
        adds = lambda: len(re.findall(r"Call shell32\.Shell_NotifyIconA\(0+,", self.app.stderr()))
        self.assertEqual(1, adds())
        self.d.post(self.main, self.d.msgid("TaskbarCreated"), 0, 0)
        wait_until(lambda: adds() == 2, message="the tray icon was not added again")
        self.w.driver.regdel("Software\\Wine\\Debug", "RelayInclude")
        self.exit_with_yes()


class TrayIconOnTheTaskbar(_MainWindowWorld):
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
        d, main = self.d, self.start_main()
        tray = wait_until(lambda: d.find("Shell_TrayWnd", "*", 0, True),
                          message="no taskbar (Wine shows it once a tray icon exists)")
        icon = wait_until(lambda: self.find_icon(tray), message="no icon in the notification area")
        other, note = self.minimise_behind_notepad()

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
        self.exit_with_yes()


if __name__ == "__main__":
    unittest.main()
