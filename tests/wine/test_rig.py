"""Self-test of the Wine test rig (world.py, uidriver.exe), with the small
probe program rigprobe.exe instead of Cribwatch."""

import gc
import os
import struct
import subprocess
import sys
import tempfile
import time
import unittest
import warnings
from pathlib import Path

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import world  # noqa: E402
from sounds import write_wav  # noqa: E402
from world import (IDNO, IDYES, VK, CrashError, DriverError, World, WorldTestCase, WaitTimeout,  # noqa: E402
                   stays, wait_until)

PROBE_TITLE = "Rig Probe"


def probe_window(w, proc):
    return wait_until(lambda: w.driver.find("#32770", PROBE_TITLE, proc.winpid or -1, True),
                      message="the probe window did not appear")


def probe_status(w, h):
    return w.driver.item_text(h, 15)


class RigWindows(WorldTestCase):
    """One world: windows, controls, keys, message boxes, registry, pictures."""

    def setUp(self):
        super().setUp()
        self.proc = self.w.start_exe("rigprobe")
        self.h = probe_window(self.w, self.proc)
        wait_until(lambda: probe_status(self.w, self.h) == "ready")

    def tearDown(self):
        if self.proc.alive():
            self.d.close(self.h)
            self.proc.wait()

    def test_controls_read_back(self):
        d, h = self.d, self.h
        # Non-ASCII text comes through as the program set it.
        self.assertEqual("Grüße", d.item_text(h, 10))
        self.assertEqual("Press", d.item_text(h, 11))
        self.assertEqual(PROBE_TITLE, d.title(h))
        self.assertEqual("#32770", d.class_name(h))
        self.assertEqual(40, d.tbpos(d.item(h, 13)))
        self.assertEqual((0, 100), d.tbrange(d.item(h, 13)))
        self.assertIsNone(d.item(h, 999))
        self.assertTrue(d.visible(h))
        self.assertTrue(d.item_state(h, 11)["enabled"])
        ids = sorted(c["id"] for c in d.children(h))
        self.assertEqual([10, 11, 12, 13, 14, 15], ids)
        wins = self.proc.windows()
        self.assertIn(h, [x["hwnd"] for x in wins])
        self.assertTrue(all(x["pid"] == self.proc.winpid for x in wins))

    def test_check_box_click_and_keys(self):
        d, h = self.d, self.h
        box = d.item(h, 12)
        self.assertEqual(0, d.check(box))
        d.click(box)
        wait_until(lambda: d.check(box) == 1)
        d.click(box)
        wait_until(lambda: d.check(box) == 0)
        # Keys go to the focused control: arrows move the trackbar...
        bar = d.item(h, 13)
        self.assertEqual(bar, d.focus(bar))
        d.key(h, VK.RIGHT, VK.RIGHT)
        wait_until(lambda: d.tbpos(bar) == 42)
        # ... Enter is the dialog's OK (the probe only reports it) ...
        d.key(h, VK.RETURN)
        wait_until(lambda: probe_status(self.w, h) == "ok")
        # ... and typed characters reach an edit.
        edit = d.item(h, 14)
        d.focus(edit)
        d.chars(edit, "0301")
        wait_until(lambda: d.text(edit) == "0301")
        d.set_text(edit, "x y")
        self.assertEqual("x y", d.text(edit))
        # Escape ends the probe with its own exit code.
        d.key(h, VK.ESCAPE)
        self.assertEqual(4, self.proc.wait())

    def test_message_box_found_answered_and_its_icon_recognised(self):
        d, h = self.d, self.h
        self.assertEqual([], self.w.msgboxes(self.proc, "*"))
        d.click_item(h, 11)
        box = self.w.wait_msgbox(self.proc, PROBE_TITLE)
        self.assertEqual("Pressed", box["text"])
        self.assertEqual("information", box["icon"])
        self.assertEqual([IDYES, IDNO], sorted(b["id"] for b in box["buttons"]))
        self.assertEqual(h, box["owner"])
        self.assertFalse(d.is_msgbox(h), "the probe window is no message box")
        # The main window's own dialogs are not mistaken for it.
        self.assertEqual([h], self.w.dialogs(self.proc, PROBE_TITLE))
        self.w.answer_msgbox(box, IDNO)
        wait_until(lambda: probe_status(self.w, h) == "no")
        d.click_item(h, 11)
        box = self.w.wait_msgbox(self.proc, PROBE_TITLE)
        self.w.answer_msgbox(box, IDYES)
        wait_until(lambda: probe_status(self.w, h) == "yes")
        with self.assertRaises(DriverError):
            d.answer(h, 77)

    def test_close_box_gives_the_exit_code(self):
        self.d.close(self.h)
        self.assertEqual(3, self.proc.wait())
        self.assertFalse(self.proc.alive())
        self.assertFalse(self.d.exists(self.h))

    def test_registry_round_trip(self):
        d = self.d
        key = r"Software\Kestrelon\RigProbe"
        self.assertEqual("1", d.regget(key, "Started"))
        d.regset(key, "Text", "Möchten\t, 2")
        self.assertEqual("Möchten\t, 2", d.regget(key, "Text"))
        long_value = "9" * 2000
        d.regset(key + r"\Sub", "Long", long_value)
        self.assertEqual(long_value, d.regget(key + r"\Sub", "Long"))
        dump = d.regdump(key)
        self.assertEqual({"Started": "1", "Text": "Möchten\t, 2"}, dump["values"])
        self.assertEqual({"Long": long_value}, dump["keys"]["Sub"]["values"])
        self.assertTrue(d.regdel(key, "Text"))
        self.assertFalse(d.regdel(key, "Text"))
        self.assertIsNone(d.regget(key, "Text"))
        self.assertEqual({"Started": "1"}, d.reglist(key))
        self.assertTrue(d.regdelkey(key))
        self.assertIsNone(d.reglist(key))
        self.assertIsNone(d.regdump(key))
        # The program's profile helpers use the same registry.
        self.w.profile_set("Language", "1")
        self.assertEqual({"Language": "1"}, self.w.profile())
        self.w.profile_clear()
        self.assertEqual({}, self.w.profile())

    def test_real_mouse_clicks(self):
        d, h = self.d, self.h
        box = d.item(h, 12)
        r = d.rect(box, "client")
        x, y = (r["right"] - r["left"]) // 2, (r["bottom"] - r["top"]) // 2
        # Every left click toggles the check box; none may be lost, also
        # when the pointer has to travel between clicks.
        for n in range(6):
            self.assertEqual(3, d.mouse(box, x, y))
            wait_until(lambda: d.check(box) == (n + 1) % 2, 10,
                       message="left click %d on the check box was lost" % (n + 1))
            d.mouse(h, 2, 2)  # away, onto the dialog's face (changes nothing)
            self.assertEqual((n + 1) % 2, d.check(box))
        # A right click is no click for a check box.
        d.mouse(box, x, y, "right")
        self.assertTrue(stays(lambda: d.check(box) == 0, 1.0), "a right click checked the box")
        with self.assertRaises(DriverError):
            d.mouse(box, x, y, "middle")
        # A click on the push button asks its question.
        button = d.item(h, 11)
        br = d.rect(button, "client")
        d.mouse(button, (br["right"] - br["left"]) // 2, (br["bottom"] - br["top"]) // 2)
        box = self.w.wait_msgbox(self.proc, PROBE_TITLE)
        self.assertEqual("Pressed", box["text"])
        self.w.answer_msgbox(box, IDNO)
        wait_until(lambda: probe_status(self.w, h) == "no")

    def test_pictures(self):
        d, h = self.d, self.h
        r = d.rect(h, "client")
        pic = d.grab(h)
        self.assertEqual((r["right"] - r["left"], r["bottom"] - r["top"]), (pic.w, pic.h))
        # The dialog face is one grey everywhere but the controls; the label
        # "Grüße" has dark pixels.
        face = pic.pixel(2, 2)
        self.assertEqual(face, d.pixel(h, 2, 2))
        lr = d.rect(d.item(h, 10), "client")
        label = d.grab(d.item(h, 10))
        self.assertGreater(label.count(lambda p: sum(p) < 200), 5)
        self.assertGreater(lr["right"] - lr["left"], 0)
        with tempfile.TemporaryDirectory() as tmp:
            bmp = Path(tmp) / "probe.bmp"
            d.capture(h, bmp)
            data = bmp.read_bytes()
            self.assertEqual(b"BM", data[:2])
            width, height = struct.unpack("<ii", data[18:26])
            self.assertEqual((pic.w, pic.h), (width, height))
            png = Path(tmp) / "screen.png"
            self.w.screenshot(png)
            self.assertGreater(png.stat().st_size, 100)


class RigFiles(unittest.TestCase):
    """What the rig reads off files, without a world."""

    def test_the_file_tells_the_machine(self):
        arch = {"win32": 0x14C, "win64": 0x8664}[world.WINE_ARCH]
        self.assertEqual(arch, world.pe_machine(world.exe_path("rigprobe")))
        self.assertIsNone(world.pe_machine(Path(world.__file__)))
        self.assertIsNone(world.pe_machine(Path("/nonexistent/x.exe")))

    def test_worlds_have_wines_own_fonts(self):
        # Marlett draws the caption buttons; without it they read "0 1 r".
        wine_fonts = {f.name for f in Path("/usr/share/wine/fonts").glob("*.ttf")}
        self.assertIn("marlett.ttf", wine_fonts, "Debian's fonts-wine is not installed")
        template = world.ensure_template(world.WINE_ARCH)
        have = {f.name for f in (template / "drive_c" / "windows" / "Fonts").iterdir()}
        self.assertLessEqual(wine_fonts, have)


class RigLifecycle(unittest.TestCase):
    """Worlds of their own: clean-up, crashes, hidden owners, devices."""

    def test_cleanup_ends_every_process_of_the_world(self):
        with World() as w:
            p = w.start_exe("rigprobe")
            probe_window(w, p)
            pids = w.leftover_processes()
            self.assertIn(p.pid, pids)
            self.assertIn(w.driver.proc.pid, pids)
            self.assertGreater(len(pids), 4, "Xvfb, wineserver, services, ... belong to the world")
            folder = w.dir
        self.assertEqual([], w.leftover_processes())
        self.assertFalse(p.alive())
        if not world.KEEP:
            self.assertFalse(folder.exists())

    def test_worlds_are_isolated(self):
        with World() as a, World() as b:
            self.assertNotEqual(a.display, b.display)
            self.assertNotEqual(a.prefix, b.prefix)
            self.assertEqual((1024, 768), a.driver.screen())
            a.driver.regset(r"Software\Kestrelon\Iso", "v", "a")
            self.assertIsNone(b.driver.regget(r"Software\Kestrelon\Iso", "v"))
            pa = a.start_exe("rigprobe")
            probe_window(a, pa)
            self.assertIsNone(b.driver.find("#32770", PROBE_TITLE))

    def test_a_crash_fails_the_test(self):
        with self.assertRaises(CrashError):
            with World() as w:
                p = w.start_exe("rigprobe", args=["crash"])
                code = p.wait(allow_crash=True)
                self.assertIsNotNone(p.crash_reason(), "exit code %s, stderr %r" % (code, p.stderr()))
                # Leaving the world without looking still reports the crash.

    def test_the_program_is_found_under_its_windows_process_id(self):
        with World() as w:
            # Two copies started at once: each Process names its own.
            a = w.start_exe("rigprobe")
            b = w.start_exe("rigprobe")
            ha, hb = probe_window(w, a), probe_window(w, b)
            self.assertNotEqual(a.winpid, b.winpid)
            self.assertEqual(a.winpid, w.driver.info(ha)["pid"])
            self.assertEqual(b.winpid, w.driver.info(hb)["pid"])
            procs = {q["pid"]: q for q in w.driver.procs()}
            for p in (a, b):
                # The loader runs the program itself: no launcher in between.
                self.assertEqual(("rigprobe.exe", 0), (procs[p.winpid]["exe"], procs[p.winpid]["ppid"]))
            self.assertEqual(0, w.driver.winpid("no-such-mark", "rigprobe.exe"))
            self.assertEqual(0, w.driver.winpid(a.mark, "uidriver.exe"))
            # Closing the window of a's id ends a, and only a.
            w.driver.close(ha)
            self.assertEqual(3, a.wait())
            self.assertIsNone(a.winpid)
            self.assertEqual([], w.dialogs(a, PROBE_TITLE))
            self.assertTrue(b.alive())
            self.assertEqual([hb], w.dialogs(b, PROBE_TITLE))

    def test_exit_codes_and_waits(self):
        with World() as w:
            p = w.start_exe("rigprobe", args=["exit", "17"])
            self.assertEqual(17, p.wait())
            self.assertIsNone(p.crash_reason())
            q = w.start_exe("rigprobe")
            probe_window(w, q)
            with self.assertRaises(WaitTimeout):
                q.wait(timeout=0.5)
            self.assertTrue(stays(q.alive, 0.3))
            w.driver.close(w.driver.find("#32770", PROBE_TITLE, q.winpid))
            self.assertEqual(3, q.wait())

    def test_message_box_of_a_hidden_owner_is_found(self):
        with World() as w:
            p = w.start_exe("rigprobe", args=["init-box"])
            box = w.wait_msgbox(p, PROBE_TITLE)
            self.assertEqual("Starting", box["text"])
            self.assertEqual("exclamation", box["icon"])
            owner = box["owner"]
            self.assertFalse(w.driver.visible(owner), "the owner is still initialising")
            self.assertEqual([owner], w.dialogs(p, PROBE_TITLE))
            w.answer_msgbox(box, 1)
            probe_window(w, p)

    def test_virtual_desktop(self):
        with World(virtual_desktop="800x600") as w:
            p = w.start_exe("rigprobe")
            h = probe_window(w, p)
            w.driver.click_item(h, 11)
            box = w.wait_msgbox(p, PROBE_TITLE)
            self.assertEqual("information", box["icon"])
            w.answer_msgbox(box, IDYES)
            wait_until(lambda: probe_status(w, h) == "yes")
            # The programs see the 800 x 600 desktop, not the 1024 x 768 display.
            self.assertEqual((800, 600), w.driver.screen())

    def test_com_port_pair(self):
        with World(com_ports=[3]) as w:
            other = w.com_ports[3]
            fd = os.open(other, os.O_RDWR | os.O_NOCTTY)
            try:
                self.assertEqual(5, w.driver.comwrite(3, "ATE0\r"))
                got = b""
                deadline = time.monotonic() + 10
                while b"\r" not in got and time.monotonic() < deadline:
                    import select
                    if select.select([fd], [], [], 0.2)[0]:
                        got += os.read(fd, 64)
                self.assertEqual(b"ATE0\r", got)
                os.write(fd, b"OK\r\n")
                self.assertEqual("OK\r\n", w.driver.comread(3, 5000))
            finally:
                os.close(fd)

    def test_room_sound(self):
        # Nothing the world opened is left for the garbage collector to
        # complain about, also with a sound played in the background.
        with warnings.catch_warnings(record=True) as caught:
            warnings.simplefilter("always")
            with World(sound=True) as w:
                pactl = subprocess.run(["pactl", "info"], env=w.env, capture_output=True, text=True)
                self.assertIn("Default Source: room.monitor", pactl.stdout)
                with tempfile.TemporaryDirectory() as tmp:
                    wav = write_wav(Path(tmp) / "tone.wav", [0x4000] * 2205)
                    w.play(wav)
                    p = w.play(wav, wait=False)
                    self.assertIsNone(p.stderr)
                    self.assertEqual(0, p.wait(60))
            del w, p
            gc.collect()
        self.assertEqual([], [str(c.message) for c in caught if issubclass(c.category, ResourceWarning)])
        # No sound server: the world's clients find none and start none.
        with World() as w:
            r = subprocess.run(["pactl", "info"], env=w.env, capture_output=True)
            self.assertNotEqual(0, r.returncode)


if __name__ == "__main__":
    unittest.main()
