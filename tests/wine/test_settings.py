"""End-to-end: the settings dialog of the real Cribwatch.exe and its
connection test, over the running monitor."""

import os
import re
import shutil
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import test_calling as calling  # noqa: E402
from resources import ENGLISH, GERMAN, R  # noqa: E402
from world import (DIALOG_CLASS, IDCANCEL, IDNO, IDOK, IDYES, SC_CLOSE, VK, CribwatchTestCase,  # noqa: E402
                   exe_path, stays, wait_until, windows_path)

CB_GETCURSEL, CB_SETCURSEL = 0x0147, 0x014E
RADIOS = (R.IDC_LANG_GERMAN, R.IDC_LANG_ENGLISH, R.IDC_CONN_TELEPHONY_APP, R.IDC_CONN_SOFTPHONE, R.IDC_CONN_MODEM)
SOFTPHONE_FOLDER = "\\1&1\\1&1 SoftPhone\\ipphone.exe"
PROFILE_NAMES = {R.string(i) for i in range(R.IDS_KEY_LANGUAGE, R.IDS_KEY_MODEM + 1)}
# The common file dialog's file name box and file type list.
FILE_NAME_BOX, FILE_TYPE_LIST = 1148, 1136


class _SettingsTest(CribwatchTestCase):

    def open_settings(self):
        self.d.click_item(self.main, R.IDC_SETTINGS)
        self.dlg = self.w.wait_dialog(self.app, [R.IDC_CALL_NUMBER, R.IDC_COM_PORT],
                                      title=self.text(R.IDS_SETTINGS))
        return self.dlg

    def shown(self):
        """What the open dialog shows, by setting."""
        d, dlg = self.d, self.dlg
        return {
            "radios": [d.item_check(dlg, i) for i in RADIOS],
            "number": d.item_text(dlg, R.IDC_CALL_NUMBER),
            "delay": d.item_text(dlg, R.IDC_CALLING_DELAY),
            "max": d.item_text(dlg, R.IDC_MAX_CALLS),
            "port": d.send(d.item(dlg, R.IDC_COM_PORT), CB_GETCURSEL),
            "baud": d.item_text(dlg, R.IDC_BAUD_RATE),
            "command": d.item_text(dlg, R.IDC_MODEM_COMMAND),
            "path": d.item_text(dlg, R.IDC_SOFTPHONE_PATH),
            "logging": d.item_check(dlg, R.IDC_LOGGING),
        }

    def type_into(self, control_id, text):
        self.d.set_text(self.d.item(self.dlg, control_id), text)

    def select(self, control_id, index):
        self.d.send(self.d.item(self.dlg, control_id), CB_SETCURSEL, index)

    def close_with(self, how):
        """Ends the dialog (ok, cancel, escape, close) and waits until it is gone."""
        dlg = self.dlg
        {"ok": lambda: self.d.click_item(dlg, IDOK),
         "cancel": lambda: self.d.click_item(dlg, R.IDCANCEL),
         "escape": lambda: self.d.key(dlg, VK.ESCAPE),
         "close": lambda: self.d.syscommand(dlg, SC_CLOSE)}[how]()
        wait_until(lambda: not self.d.exists(dlg), message="the settings dialog stayed open (%s)" % how)


class SettingsDialog(_SettingsTest):
    """No sound device, no COM ports: the dialog and the profile."""

    def test_a_fresh_profile_shows_the_defaults_and_an_empty_number_is_stored_as_a_question_mark(self):
        self.start_main()
        self.open_settings()
        self.assertEqual(self.text(R.IDS_CANCEL), self.d.item_text(self.dlg, R.IDCANCEL))
        self.assertEqual(self.text(R.IDS_SERIAL_MODEM), self.d.item_text(self.dlg, R.IDC_CONN_MODEM))
        # Every channel is offered, the telephony app in the language too.
        self.assertEqual(self.text(R.IDS_TELEPHONY_APP), self.d.item_text(self.dlg, R.IDC_CONN_TELEPHONY_APP))
        self.assertTrue(self.d.enabled(self.d.item(self.dlg, R.IDC_CONN_TELEPHONY_APP)))
        shown = self.shown()
        self.assertTrue(shown.pop("path").endswith(SOFTPHONE_FOLDER))
        self.assertEqual({"radios": [1, 0, 0, 1, 0], "number": "", "delay": "1", "max": "10", "port": 0,
                          "baud": "115200", "command": "ATD", "logging": 0}, shown)
        self.close_with("ok")
        self.assertEqual("?,1,10", self.w.profile_get("CallParams"))
        self.open_settings()
        self.assertEqual("?", self.shown()["number"])
        self.close_with("cancel")
        self.exit_with_yes()

    def test_a_delay_of_zero_is_refused_and_the_second_ok_stores_everything(self):
        self.start(env={"WINEDEBUG": "trace+reg"})
        self.answer_no_soundcard()
        self.main = self.w.wait_main_window(self.app)
        before = self.w.profile()
        self.open_settings()
        self.d.click_item(self.dlg, R.IDC_CONN_MODEM)
        wait_until(lambda: self.shown()["radios"][2:] == [0, 0, 1], message="402 did not take over")
        self.d.click_item(self.dlg, R.IDC_LOGGING)
        for control, text in ((R.IDC_CALL_NUMBER, "0301234"), (R.IDC_CALLING_DELAY, "0"),
                              (R.IDC_MAX_CALLS, "3"), (R.IDC_MODEM_COMMAND, "ATDT"),
                              (R.IDC_SOFTPHONE_PATH, "C:\\Phone\\phone.exe")):
            self.type_into(control, text)
        self.select(R.IDC_COM_PORT, 2)
        self.select(R.IDC_BAUD_RATE, 8)
        typed = self.shown()
        self.d.click_item(self.dlg, IDOK)
        box = self.expect_message(self.text(R.IDS_MIN_DELAY), "stop", owner=self.dlg)
        self.w.answer_msgbox(box, IDOK)
        self.assertTrue(self.d.exists(self.dlg))
        self.assertEqual(typed, self.shown())
        self.assertEqual(before, self.w.profile())
        self.type_into(R.IDC_CALLING_DELAY, "5")
        self.d.click_item(self.dlg, IDOK)
        # The serial channel is opened at once: this world has no COM3.
        self.w.answer_msgbox(self.expect_message(self.text(R.IDS_PORT_NOT_OPENED), "exclamation"), IDOK)
        self.assertEqual({"Language": GERMAN, "Connect": "2", "CallParams": "0301234,5,3",
                          "SoftPhone": "C:\\Phone\\phone.exe", "Logging": "1", "Modem": "3,19200,ATDT"},
                         self.w.profile())
        # The registry keeps values by name; the order of the writes shows in Wine's trace.
        written = re.findall(r'NtSetValueKey \(\w+,L"(\w+)"', self.app.stderr())
        self.assertEqual(["Language", "Connect", "CallParams", "SoftPhone", "Logging", "Modem"],
                         [name for name in written if name in PROFILE_NAMES])
        self.exit_with_yes()

    def test_values_outside_the_lists_show_nothing_chosen_and_store_zero(self):
        self.start_main(Modem="12,28800,ATX", Connect="7")
        self.open_settings()
        shown = self.shown()
        self.assertEqual((-1, "", [1, 0, 0, 0, 0]), (shown["port"], shown["baud"], shown["radios"]))
        self.close_with("ok")
        self.assertEqual("0,0,ATX", self.w.profile_get("Modem"))
        self.assertEqual("7", self.w.profile_get("Connect"), "no channel chosen: it stays")
        self.exit_with_yes()

    def test_cancel_escape_and_the_close_box_change_nothing_and_english_relabels_at_once(self):
        self.start_main(CallParams="555,2,4")
        before = self.w.profile()
        for how in ("cancel", "escape", "close"):
            with self.subTest(how=how):
                self.open_settings()
                self.d.click_item(self.dlg, R.IDC_LANG_ENGLISH)
                self.type_into(R.IDC_CALL_NUMBER, "999")
                self.type_into(R.IDC_CALLING_DELAY, "0")
                if how == "escape":
                    self.d.focus(self.d.item(self.dlg, R.IDC_CALL_NUMBER))
                self.close_with(how)
                self.assertTrue(self.no_message_box(0.5))
                self.assertEqual(before, self.w.profile())
                self.assert_labels()
        self.open_settings()
        self.d.click_item(self.dlg, R.IDC_LANG_ENGLISH)
        self.close_with("ok")
        self.language = ENGLISH
        wait_until(lambda: self.start_stop_label() == self.text(R.IDS_START))
        self.assert_labels()
        self.open_settings()  # now captioned in English
        self.assertEqual([0, 1], self.shown()["radios"][:2])
        self.close_with("cancel")
        self.exit_with_yes()

    def test_browse_puts_the_chosen_program_into_the_path_field_and_cancel_keeps_it(self):
        self.start_main()
        self.open_settings()
        self.type_into(R.IDC_SOFTPHONE_PATH, "C:\\before.exe")
        for answer, expected in ((IDCANCEL, "C:\\before.exe"), (IDOK, "C:\\windows\\notepad.exe")):
            self.d.click_item(self.dlg, R.IDC_BROWSE)
            chooser = self.w.wait_dialog(self.app, [FILE_NAME_BOX, FILE_TYPE_LIST], title="*")
            # The first file type is the first part of text 2022.
            self.assertEqual(self.text(R.IDS_BROWSE_FILTER).split("|")[0],
                             self.d.item_text(chooser, FILE_TYPE_LIST))
            name = next(c["hwnd"] for c in self.d.children(chooser, True)
                        if c["id"] == FILE_NAME_BOX and c["cls"] == "Edit")
            self.d.set_text(name, "C:\\windows\\notepad.exe")
            self.d.command(chooser, answer)
            wait_until(lambda: not self.d.exists(chooser), message="the file dialog stayed open")
            self.assertEqual(expected, self.d.item_text(self.dlg, R.IDC_SOFTPHONE_PATH))
        self.assertNotEqual("C:\\windows\\notepad.exe", self.w.profile_get("SoftPhone"),
                            "stored only with OK")
        self.close_with("ok")
        self.assertEqual("C:\\windows\\notepad.exe", self.w.profile_get("SoftPhone"))
        self.exit_with_yes()

    def test_oversized_and_format_like_entries_are_cut_to_their_fields(self):
        self.start_main()
        self.open_settings()
        number = "%s%n%x%s" + "1" * 60
        path = "C:\\" + "p" * 300
        command = "AT" + "D" * 200
        for control, text in ((R.IDC_CALL_NUMBER, number), (R.IDC_CALLING_DELAY, "123456789012"),
                              (R.IDC_MAX_CALLS, "99999999999"), (R.IDC_SOFTPHONE_PATH, path),
                              (R.IDC_MODEM_COMMAND, command)):
            self.type_into(control, text)
        # The connection test takes the number as it stands: no format is read from it.
        self.d.click_item(self.dlg, R.IDC_CONNECTION_TEST)
        question = self.text(R.IDS_CONNECT_QUESTION).replace("%s", number)
        self.w.answer_msgbox(self.expect_message(question, "question", (IDYES, IDNO), owner=self.dlg), IDNO)
        self.close_with("ok")
        self.assertEqual("%s,%d,%d" % (number[:49], 2147483647, 2147483647),
                         self.w.profile_get("CallParams"))
        self.assertEqual(path[:259], self.w.profile_get("SoftPhone"))
        self.assertEqual("1,115200," + command[:127], self.w.profile_get("Modem"))
        self.start_monitoring()
        self.assertTrue(self.app.alive())
        self.stop_monitoring()
        self.exit_with_yes()


class ConnectionTestAndAlarm(calling._CallingWorld, _SettingsTest):
    """The room sound and the fake softphone: the connection test and an
    alarm that comes while the dialog is open."""

    def setUp(self):
        super().setUp()
        self.w.profile_set("Connect", "1")
        self.phone_log = self.tmp / "fakephone.log"

    def phone_commands(self):
        return calling.phone_commands(calling.fakephone_lines(self.phone_log))

    def test_the_connection_test_dials_the_typed_number_after_yes(self):
        self.w.profile_set("CallParams", "555,1,3")
        self.w.profile_set("SoftPhone", "C:\\nowhere\\phone.exe")
        self.start_main()
        self.open_settings()
        for empty in ("", "?"):  # "?" is what an emptied number shows after OK
            self.type_into(R.IDC_CALL_NUMBER, empty)
            self.d.click_item(self.dlg, R.IDC_CONNECTION_TEST)
            self.w.answer_msgbox(self.expect_message(self.text(R.IDS_INVALID_NUMBER), "stop", owner=self.dlg),
                                 IDOK)
        # No softphone runs and its path is wrong: 1004.
        self.type_into(R.IDC_CALL_NUMBER, "0301234")
        self.d.click_item(self.dlg, R.IDC_CONNECTION_TEST)
        question = self.text(R.IDS_CONNECT_QUESTION).replace("%s", "0301234")
        self.w.answer_msgbox(self.expect_message(question, "question", (IDYES, IDNO), owner=self.dlg), IDYES)
        self.w.answer_msgbox(self.expect_message(self.text(R.IDS_SOFTPHONE_NOT_FOUND), "stop"), IDOK)
        # With the phone running: No dials nothing, Yes the typed number, before any OK.
        self.launch("fakephone", args=[windows_path(self.phone_log)])
        self.d.wait_window(DIALOG_CLASS, calling.SOFTPHONE_TITLE)
        for answer in (IDNO, IDYES):
            self.d.click_item(self.dlg, R.IDC_CONNECTION_TEST)
            self.w.answer_msgbox(self.expect_message(question, "question", (IDYES, IDNO)), answer)
        wait_until(lambda: self.phone_commands(), message="the softphone was not dialled")
        self.assertEqual(["CB_SETCURSEL -1 0"] + calling.button_commands([1019, 1011, 1019, 1009, 1010,
                                                                           1011, 1012, 1006]),
                         self.phone_commands())
        self.close_with("cancel")
        self.assertEqual("555,1,3", self.w.profile_get("CallParams"))
        self.exit_with_yes()

    def test_the_clock_runs_and_an_alarm_calls_while_the_dialog_is_open(self):
        self.w.profile_set("CallParams", "0301,1,1")
        self.launch("fakephone", args=[windows_path(self.phone_log)])
        self.d.wait_window(DIALOG_CLASS, calling.SOFTPHONE_TITLE)
        self.start_main()
        self.start_monitoring()
        self.open_settings()
        clock = self.d.item_text(self.main, R.IDC_TIME)
        wait_until(lambda: self.d.item_text(self.main, R.IDC_TIME) != clock,
                   message="the clock stood still under the dialog")
        self.loud(10)
        wait_until(lambda: "COMMAND 1006 0 0" in self.phone_commands(), calling.CALL_DEADLINE,
                   message="no call while the dialog was open: %r" % self.phone_commands())
        self.assertTrue(self.d.exists(self.dlg))
        self.close_with("cancel")
        self.assert_running()
        self.exit_with_yes()


class TelephonyApp(calling._CallingWorld, _SettingsTest):
    """The third channel: the app registered for tel: links (argslog.exe
    stands in for it and logs its command line)."""

    NUMBER = "+49 (30) 1234-5"
    LINK = '"C:\\phoneapp.exe" "tel:+493012345"'

    def setUp(self):
        super().setUp()
        self.w.profile_set("Connect", "0")
        self.w.profile_set("CallParams", self.NUMBER + ",1,3")
        self.app_log = self.w.prefix / "drive_c" / "phoneapp.log"

    def links(self):
        return self.app_log.read_text().splitlines() if self.app_log.exists() else []

    def connection_test(self, then):
        self.open_settings()
        self.d.click_item(self.dlg, R.IDC_CONNECTION_TEST)
        question = self.text(R.IDS_CONNECT_QUESTION).replace("%s", self.NUMBER)
        self.w.answer_msgbox(self.expect_message(question, "question", (IDYES, IDNO)), IDYES)
        then()
        self.close_with("cancel")
        self.start_monitoring()
        self.loud(8)

    def test_the_connection_test_and_an_alarm_open_the_registered_app_with_the_digits(self):
        shutil.copy(exe_path("argslog"), self.w.prefix / "drive_c" / "phoneapp.exe")
        self.d.regset(r"HKLM\Software\Classes\tel", "URL Protocol", "")
        self.d.regset(r"HKLM\Software\Classes\tel\shell\open\command", "", '"C:\\phoneapp.exe" "%1"')
        self.start_main()
        self.connection_test(lambda: wait_until(lambda: self.links() == [self.LINK],
                                                message="the app got %r" % self.links()))
        wait_until(lambda: self.links() == [self.LINK] * 2, calling.CALL_DEADLINE,
                   message="the alarm did not reach the app: %r" % self.links())
        self.assertEqual([], self.w.msgboxes(self.app))
        self.exit_with_yes()

    def test_without_an_app_the_test_says_so_and_a_failed_alarm_is_told_once(self):
        self.start_main()
        no_app = self.text(R.IDS_NO_TELEPHONY_APP)
        self.connection_test(lambda: self.w.answer_msgbox(self.expect_message(no_app, "stop"), IDOK))
        self.w.answer_msgbox(self.expect_message(no_app, "stop", owner=self.main), IDOK)
        self.assertTrue(self.no_message_box(5), "the failed call was told twice")
        self.assert_running()
        self.exit_with_yes()


class ModemReopened(calling._CallingWorld, _SettingsTest):
    """COM3 with the scripted modem: OK reopens the serial port."""

    com3 = True

    def test_ok_with_the_serial_channel_reopens_the_port_and_another_channel_only_closes_it(self):
        modem = self.start_with_modem()
        self.open_settings()
        self.close_with("ok")
        wait_until(lambda: modem.received() == b"ATE0\rATE0\r",
                   message="no fresh ATE0 after OK: %r" % modem.received())
        self.open_settings()
        self.d.click_item(self.dlg, R.IDC_CONN_SOFTPHONE)
        wait_until(lambda: self.shown()["radios"][2:] == [0, 1, 0])
        self.close_with("ok")
        self.assertTrue(self.no_message_box(1))
        self.assertTrue(stays(lambda: modem.received() == b"ATE0\rATE0\r", 2))
        self.assertEqual("1", self.w.profile_get("Connect"))
        self.exit_with_yes()


if __name__ == "__main__":
    unittest.main()
