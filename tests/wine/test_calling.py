"""End-to-end: the alarm call of the real Cribwatch.exe, through the modem on
a serial port (a scripted modem on a socat pty) and through the softphone
(fakephone.exe, which logs every command it receives)."""

import os
import re
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from modem import ScriptedModem  # noqa: E402
from pictures import ALARM_CALL, FAILED_CALL, RunPicture  # noqa: E402
from resources import ENGLISH, R  # noqa: E402
from sounds import square_wave, write_wav  # noqa: E402
from world import (DIALOG_CLASS, IDOK, CribwatchTestCase, exe_path, stays, wait_until,  # noqa: E402
                   windows_path)

SOFTPHONE_TITLE = "1&1 Softphone"

# How long a call may take to show once the room is loud (the alarm needs
# 1.5 s of noise; capture starts about a second late): generous.
CALL_DEADLINE = 30
# How long the tests watch for a call that must not come. The countdown of
# one calling-delay minute is 60 s; this is well inside it and well beyond
# the one or two ticks a wrongly placed second call would take.
QUIET_SPAN = 10
# The worlds' calling threshold ("Reaction" 75,50,30).
CALL_THRESHOLD = 30


def fakephone_lines(log):
    try:
        return log.read_text(errors="replace").splitlines()
    except FileNotFoundError:
        return []


def phone_commands(lines):
    """The commands a phone received: CB_SETCURSEL lines and button commands
    (not the controls' own notifications)."""
    return [l for l in lines
            if l.startswith("CB_SETCURSEL") or (l.startswith("COMMAND") and l.endswith(" 0"))]


def button_commands(ids):
    return ["COMMAND %d 0 0" % i for i in ids]


class _CallingWorld(CribwatchTestCase):
    """A world per test, with the room sound; Cribwatch speaks English."""

    world_per_test = True
    world_options = dict(sound=True)
    language = ENGLISH
    com3 = False

    def setUp(self):
        super().setUp()
        self.modem = None
        self.addCleanup(lambda: self.modem and self.modem.stop())
        self.pty = self.w.add_com_port(3) if self.com3 else None
        self.tmp = self.w.dir / "calling"
        self.tmp.mkdir()
        self.w.profile_set("Reaction", "75,50,%d" % CALL_THRESHOLD)
        self.w.profile_set("Logging", "0")
        if self.com3:       # the modem channel: COM3 at 19200 baud, command ATD
            self.w.profile_set("Connect", "2")
            self.w.profile_set("Modem", "3,19200,ATD")

    def loud(self, seconds):
        """Plays noise into the room for `seconds` (in the background)."""
        wav = write_wav(self.tmp / ("loud-%d.wav" % time.monotonic_ns()), square_wave(seconds))
        return self.w.play(wav, wait=False)

    def assert_running(self):
        self.assertTrue(self.app.alive(), "Cribwatch ended: %s" % self.app.stderr()[-2000:])
        self.assertIsNone(self.app.crash_reason())

    def assert_run_picture(self, mark):
        """The run's picture beside its protocol: 1200 x 400, the threshold
        line at the calling threshold, and the first mark of colour `mark`
        where the protocol first reaches that threshold."""
        logs = list((self.w.dir / "cwd").glob("*.log"))
        self.assertEqual(1, len(logs), logs)
        png = logs[0].with_suffix(".png")
        wait_until(png.exists, message="no picture beside " + logs[0].name)
        levels = [float(line.split("\t")[2]) for line in logs[0].read_text().splitlines()]
        run = RunPicture(png)
        self.assertEqual((1200, 400), (run.width, run.height))
        self.assertLessEqual(abs(run.threshold_row() - run.row_of(CALL_THRESHOLD)), 1)
        reached = next(i for i, level in enumerate(levels) if level >= CALL_THRESHOLD)
        marks = run.marks(mark)
        self.assertTrue(marks, "no call marked")
        # The call is in the second of the line that shows it, or at its end.
        self.assertTrue(run.column_of(reached, len(levels)) - 1 <= marks[0]
                        <= run.column_of(reached + 1, len(levels)) + 1,
                        (marks, reached, len(levels)))
        return marks

    def start_modem(self, *options):
        self.modem = ScriptedModem(self.pty, self.tmp, *options)
        return self.modem

    def start_with_modem(self, *options, calls=None):
        """The scripted modem (with these options), then Cribwatch (with the
        CallParams `calls`, if given), which opens the port and switches the
        echo off."""
        if calls is not None:
            self.w.profile_set("CallParams", calls)
        modem = self.start_modem(*options)
        self.start_main()
        self.wait_received(b"ATE0\r")
        return modem

    def wait_received(self, data, timeout=CALL_DEADLINE):
        return wait_until(lambda: data in self.modem.received(), timeout,
                          message="the modem did not receive %r; it has %r" % (
                              data, self.modem.received()[-200:]))


class ModemCalls(_CallingWorld):
    """The modem channel: COM3 at 19200 baud, command ATD."""

    com3 = True

    def setUp(self):
        super().setUp()
        self.w.profile_set("CallParams", "555,1,3")

    def test_echo_off_at_start_up_then_the_alarm_dials_once_per_countdown(self):
        modem = self.start_with_modem()
        self.assertEqual([], self.w.msgboxes(self.app))
        self.assertEqual(b"ATE0\r", modem.received())

        self.start_monitoring()
        self.assertTrue(stays(lambda: modem.received() == b"ATE0\r", 2),
                        "a call went out in a quiet room")
        self.loud(QUIET_SPAN + 15)
        self.wait_received(b"ATD 555\r")
        # The modem's "OK" to ATE0 was drained, not answered; exactly one
        # dial command, and the calling delay of one minute holds the next.
        self.assertEqual(b"ATE0\rATD 555\r", modem.received())
        self.assertTrue(stays(lambda: modem.received() == b"ATE0\rATD 555\r", QUIET_SPAN),
                        "a second call came before the countdown ran out: %r" % modem.received())
        self.assert_running()
        self.exit_with_yes()

    def test_modem_garbage_never_stops_the_dial_command(self):
        # One flood of more than 8192 bytes without a carriage return, with
        # NUL bytes and lines ended by line feeds only. (One, not more: the
        # program stops reading once its line buffer is full, and socat, which
        # plays the cable, then blocks in its write towards the program and
        # would hold back the dial command as well; a real line does not.)
        # Each call reads at most five times 256 bytes before it dials, so ten
        # calls without delay fill the line buffer on the way.
        modem = self.start_with_modem("--garbage", "big,nul,lf", calls="555,0,10")
        modem.signal_garbage()
        time.sleep(1)
        self.start_monitoring()
        self.loud(12)
        wait_until(lambda: modem.received().count(b"ATD 555\r") == 10, CALL_DEADLINE,
                   message="ten calls did not come: %r" % modem.received()[-100:])
        self.assertTrue(stays(lambda: modem.received().count(b"ATD 555\r") == 10, 3))
        self.assert_running()
        self.assertEqual(b"ATE0\r" + b"ATD 555\r" * 10, modem.received())
        self.exit_with_yes()

    def test_lines_without_carriage_returns_and_nuls_only(self):
        modem = self.start_with_modem("--reply", "garbage", "--garbage", "nul,lf", calls="555,0,3")
        self.start_monitoring()
        self.loud(12)
        wait_until(lambda: modem.received().count(b"ATD 555\r") == 3, CALL_DEADLINE,
                   message="three calls did not come: %r" % modem.received())
        self.assert_running()
        self.exit_with_yes()

    def test_a_sound_server_that_goes_away_is_reported_once_and_a_new_one_is_heard(self):
        # The room's sound server ends under the monitoring program: the
        # capture error comes once, the window goes on (the clock, Stop and
        # Start), and once a new server runs, levels and calls come back.
        modem = self.start_with_modem(calls="555,0,3")
        self.start_monitoring()
        # With the settings dialog open the message waits; it comes once the
        # dialog is closed, and the main window stays disabled under it.
        self.d.click_item(self.main, R.IDC_SETTINGS)
        dialog = self.w.wait_dialog(self.app, [R.IDC_CALL_NUMBER], title=self.text(R.IDS_SETTINGS))
        self.w.stop_sound_server()
        silent_since = time.monotonic()
        self.assertTrue(self.no_message_box(15), "the capture error came over the settings dialog")
        self.d.click_item(dialog, R.IDCANCEL)
        box = self.w.wait_msgbox(self.app)
        self.assertEqual(self.main, box["owner"])
        self.assertTrue(box["text"].startswith(R.string(R.IDS_CAPTURE_ERROR).split("%s")[0]), box["text"])
        self.assertEqual("exclamation", box["icon"])
        clock = self.d.item_text(self.main, R.IDC_TIME)
        wait_until(lambda: self.d.item_text(self.main, R.IDC_TIME) != clock, 5,
                   message="the clock stopped under the message")
        self.assertFalse(self.d.enabled(self.main), "the main window is usable under the message")
        self.w.answer_msgbox(box, IDOK)
        wait_until(lambda: self.d.enabled(self.main), message="the main window stayed disabled")
        self.assertTrue(self.no_message_box(8), "the capture error came again")
        # Nothing heard for two minutes: one trouble call, through the modem.
        self.wait_received(b"ATD 555\r", timeout=200)
        sys.stderr.write("note: trouble call %.1f s after the sound server ended\n"
                         % (time.monotonic() - silent_since))
        self.assertTrue(stays(lambda: modem.received() == b"ATE0\rATD 555\r", 10),
                        "more than one trouble call: %r" % modem.received())
        self.stop_monitoring()
        self.start_monitoring()

        self.w.start_sound_server()
        self.loud(25)
        wait_until(lambda: sum(self.d.meter(self.d.item(self.main, R.IDC_MIC_THRESHOLD))) > 0, 15,
                   message="no level within 15 s of the new sound server")
        wait_until(lambda: modem.received().count(b"ATD 555\r") >= 2, CALL_DEADLINE,
                   message="no alarm call with the new sound server: %r" % modem.received())
        self.assertEqual(b"ATE0\rATD 555\rATD 555\r", modem.received()[:len(b"ATE0\rATD 555\rATD 555\r")])
        self.assertEqual([], self.w.msgboxes(self.app), "nothing more was said")
        self.assert_running()
        self.exit_with_yes()

    def start_to_port_message(self):
        """Starts Cribwatch: the port message comes once, then the window."""
        self.start()
        self.w.answer_msgbox(self.expect_message(self.text(R.IDS_PORT_NOT_OPENED), "exclamation"), IDOK)
        self.main = self.w.wait_main_window(self.app)
        self.assertTrue(self.no_message_box(2), "the port message came again")

    def test_a_baud_rate_outside_the_list_shows_the_message_and_dials_nothing(self):
        for baud in ("0", "28800"):
            with self.subTest(baud=baud):
                self.w.profile_set("Modem", "3,%s,ATD" % baud)
                modem = self.start_modem()
                self.start_to_port_message()
                self.start_monitoring()
                self.loud(6)
                self.assertTrue(stays(lambda: modem.received() == b"", 10),
                                "the modem received %r" % modem.received())
                self.assert_running()
                self.exit_with_yes()
                modem.stop()
                self.modem = None

    def test_a_missing_port_shows_the_message(self):
        for port in ("42", "0", "-7", "99999999999"):
            with self.subTest(port=port):
                self.w.profile_set("Modem", "%s,19200,ATD" % port)
                self.start_to_port_message()
                self.assert_running()
                self.exit_with_yes()


class SoftPhoneCalls(_CallingWorld):
    """The softphone channel, with fakephone.exe as the softphone."""

    def setUp(self):
        super().setUp()
        self.w.profile_set("Connect", "1")
        self.w.profile_set("CallParams", "0301-234 567,1,3")
        self.phone_dir = self.tmp / "phone"
        self.phone_dir.mkdir()
        self.phone_exe = self.phone_dir / "fakephone.exe"
        self.phone_exe.write_bytes(exe_path("fakephone").read_bytes())
        self.phone_log = self.phone_dir / "fakephone.log"

    def phone_window(self, timeout=None):
        return self.d.wait_window(DIALOG_CLASS, SOFTPHONE_TITLE, timeout=timeout)

    def close_phone(self):
        h = self.d.find(DIALOG_CLASS, SOFTPHONE_TITLE)
        if h:
            self.d.close(h)
            wait_until(lambda: "EXIT" in fakephone_lines(self.phone_log),
                       message="the softphone did not end")

    EXPECTED = ["CB_SETCURSEL -1 0"] + button_commands(
        [1019, 1011, 1019, 1009, 1010, 1011, 1012, 1013, 1014, 1015, 1006])

    def test_the_alarm_dials_the_running_softphone_once_per_countdown(self):
        self.w.profile_set("Logging", "1")
        phone = self.launch("fakephone", args=[windows_path(self.phone_log)])
        self.phone_window()
        self.start_main()
        self.start_monitoring()
        self.assertTrue(stays(lambda: phone_commands(fakephone_lines(self.phone_log)) == [], 2))
        self.loud(QUIET_SPAN + 15)
        wait_until(lambda: "COMMAND 1006 0 0" in fakephone_lines(self.phone_log), CALL_DEADLINE,
                   message="the softphone was not dialled: %r" % fakephone_lines(self.phone_log))
        self.assertEqual(self.EXPECTED, phone_commands(fakephone_lines(self.phone_log)))
        self.assertTrue(stays(lambda: len(phone_commands(fakephone_lines(self.phone_log))) == 12,
                              QUIET_SPAN), "a second call came before the countdown ran out")
        self.assertEqual(1, sum(l.startswith("START") for l in fakephone_lines(self.phone_log)))
        self.assert_running()
        self.d.close(self.phone_window())
        phone.wait()
        self.exit_with_yes()
        self.assertEqual(1, len(self.assert_run_picture(ALARM_CALL)))  # written at the exit

    def test_a_softphone_not_running_is_started_from_its_path_and_dialled_when_its_window_comes(self):
        # Its window comes 3 s after its start: the call waits for it.
        self.w.profile_set("SoftPhone", windows_path(self.phone_exe) + " --delay-window 3000")
        self.w.profile_set("CallParams", "0301-234 567,1,1")
        self.start_main()
        self.assertIsNone(self.d.find(DIALOG_CLASS, SOFTPHONE_TITLE))
        self.start_monitoring()
        loud_since = time.monotonic()
        self.loud(8)
        wait_until(lambda: "COMMAND 1006 0 0" in fakephone_lines(self.phone_log), CALL_DEADLINE,
                   message="the softphone was not dialled: %r" % fakephone_lines(self.phone_log))
        sys.stderr.write("note: the late softphone was dialled %.1f s after the room got loud\n"
                         % (time.monotonic() - loud_since))
        self.assertEqual([], self.w.msgboxes(self.app))
        lines = fakephone_lines(self.phone_log)
        self.assertTrue(lines[0].startswith("START"), lines)
        self.assertEqual("WINDOW", lines[1])
        self.assertEqual(self.EXPECTED, phone_commands(lines))
        self.assertTrue(self.d.visible(self.phone_window()))
        self.assertEqual([], self.w.msgboxes(self.app))  # the tick reports nothing
        self.assert_running()
        self.close_phone()
        self.exit_with_yes()

    def test_a_wrong_path_is_told_once_per_run_and_monitoring_goes_on(self):
        # Traced: the PC is kept awake from Start to Stop.
        self.w.driver.regset("Software\\Wine\\Debug", "RelayInclude", "kernel32.SetThreadExecutionState")
        self.w.profile_set("SoftPhone", "C:\\nowhere\\softphone.exe")
        self.w.profile_set("CallParams", "555,0,3")
        self.w.profile_set("Logging", "1")
        self.start(env={"WINEDEBUG": "+relay"})
        self.main = self.w.wait_main_window(self.app)
        self.start_monitoring()
        self.loud(8)
        box = self.expect_message(self.text(R.IDS_SOFTPHONE_NOT_FOUND), "stop", owner=self.main)
        self.w.answer_msgbox(box, IDOK)
        self.assertTrue(self.no_message_box(8), "the failed call was told twice in one run")
        self.assertIsNone(self.d.find(DIALOG_CLASS, SOFTPHONE_TITLE))
        self.assert_running()
        self.assertEqual(self.text(R.IDS_STOP), self.start_stop_label())
        self.stop_monitoring()
        self.assertEqual(["80000001", "80000000"],  # ES_CONTINUOUS with ES_SYSTEM_REQUIRED, then without
                         re.findall(r"Call KERNEL32\.SetThreadExecutionState\(0*(\w{8})\)", self.app.stderr()))
        self.assert_run_picture(FAILED_CALL)  # written at the Stop
        self.exit_with_yes()


if __name__ == "__main__":
    unittest.main()
