"""Start-up and exit of the real Cribwatch.exe under Wine: the language
dialog at the first start, the single-instance rule, the exit question, the
missing sound card, Start/Stop at the simplest, and bad profile values."""

import os
import re
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from resources import ENGLISH, GERMAN, R  # noqa: E402
from world import (APP_TITLE, IDNO, IDOK, IDYES, LANGUAGE_DIALOG_CONTROLS,  # noqa: E402
                   MAIN_WINDOW_CONTROLS, SC_CLOSE, VK, CribwatchTestCase, stays, wait_until)


class FirstStart(CribwatchTestCase):
    """An empty profile: the language dialog comes first."""

    language = None

    def wait_language_dialog(self):
        dlg = self.w.wait_language_dialog(self.app)
        self.assertEqual(APP_TITLE, self.d.title(dlg))
        self.assertEqual(1, self.d.item_check(dlg, R.IDC_LANG_GERMAN), "Deutsch is preselected")
        self.assertEqual(0, self.d.item_check(dlg, R.IDC_LANG_ENGLISH))
        self.assertTrue(self.d.item(dlg, IDOK), "the dialog has its OK button")
        # The main window exists but is not shown yet.
        main = self.w.main_window(self.app)
        self.assertTrue(main)
        self.assertFalse(self.d.visible(main))
        self.assertEqual({}, self.w.profile())
        return dlg

    def choose_english(self, dlg):
        self.d.click_item(dlg, R.IDC_LANG_ENGLISH)
        wait_until(lambda: self.d.item_check(dlg, R.IDC_LANG_ENGLISH) == 1)
        self.assertEqual(0, self.d.item_check(dlg, R.IDC_LANG_GERMAN), "the radio buttons clear each other")

    def come_up_in(self, language):
        """The start-up goes on in `language`: the no-sound-card message,
        then the main window with its labels in that language."""
        self.language = language
        self.answer_no_soundcard()
        self.main = self.w.wait_main_window(self.app)
        self.assert_labels()
        self.assertEqual(APP_TITLE, self.d.title(self.main))

    def test_english_is_stored_at_once_and_the_window_speaks_english(self):
        self.start()
        dlg = self.wait_language_dialog()
        self.choose_english(dlg)
        self.d.click_item(dlg, IDOK)
        # Stored when the dialog is confirmed, while the start-up goes on.
        self.w.wait_msgbox(self.app)
        self.assertEqual({"Language": ENGLISH}, self.w.profile())
        self.come_up_in(ENGLISH)
        # Nothing else is written until the exit.
        self.assertTrue(stays(lambda: self.w.profile() == {"Language": ENGLISH}, 1.5))
        self.exit_with_yes()
        self.assertEqual({"Language": ENGLISH, "Reaction": "75,50,30"}, self.w.profile())

    def test_enter_confirms_german(self):
        self.start()
        self.d.key(self.wait_language_dialog(), VK.RETURN)
        wait_until(lambda: self.w.profile() == {"Language": GERMAN})
        self.come_up_in(GERMAN)
        self.exit_with_yes()

    def test_escape_gives_german_and_stores_nothing_until_the_exit(self):
        self.start()
        self.d.key(self.wait_language_dialog(), VK.ESCAPE)
        self.come_up_in(GERMAN)
        self.assertTrue(stays(lambda: self.w.profile() == {}, 1.5), "nothing is stored before the exit")
        self.exit_with_yes()
        self.assertEqual({"Language": GERMAN, "Reaction": "75,50,30"}, self.w.profile())
        # After that orderly exit the next start does not ask again.
        self.start_main()
        self.assertIsNone(self.w.language_dialog(self.app))
        self.assert_labels()
        self.exit_with_yes()

    def test_close_box_of_the_language_dialog_is_like_escape(self):
        self.start()
        dlg = self.wait_language_dialog()
        self.choose_english(dlg)
        self.d.close(dlg)
        self.come_up_in(GERMAN)
        self.assertEqual({}, self.w.profile())
        self.exit_with_yes()
        self.assertEqual(GERMAN, self.w.profile_get("Language"))


class SecondInstance(CribwatchTestCase):

    language = ENGLISH

    def test_second_instance_is_refused_in_german_and_changes_nothing(self):
        main = self.start_main()
        self.assertEqual(self.text(R.IDS_EXIT), self.d.item_text(main, R.IDC_EXIT))
        self.w.profile_set("CallParams", "0301234,3,5")
        before = self.w.registry_dump()
        second = self.launch()
        # German whatever the running instance speaks: the second one has
        # not loaded any settings. The message has no owner.
        box = self.expect_message(R.text(R.IDS_ALREADY_RUNNING, GERMAN), "information", owner=0, proc=second)
        self.assertEqual([], self.w.dialogs(second), "the second instance shows no window of its own")
        self.w.answer_msgbox(box, IDOK)
        second.wait()
        # The first instance runs on untouched; the profile is as it was.
        self.assertTrue(self.app.alive())
        self.assertTrue(self.d.visible(main))
        self.assertEqual([], self.w.msgboxes(self.app, icons=False))
        self.assertEqual(before, self.w.registry_dump())
        self.exit_with_yes()


class ExitQuestion(CribwatchTestCase):
    """The Exit button, WM_CLOSE and the close box all ask first."""

    def test_no_changes_nothing_and_yes_saves_language_and_sliders(self):
        self.start_main(Reaction="80,45,25")
        profile = self.w.profile()
        self.assertEqual({"Language": GERMAN, "Reaction": "80,45,25"}, profile)
        for how in (None,                                           # the Exit button
                    lambda: self.d.close(self.main),                 # WM_CLOSE
                    lambda: self.d.syscommand(self.main, SC_CLOSE)):  # the close box
            self.w.answer_msgbox(self.ask_exit(how), IDNO)
            self.assertTrue(self.no_message_box(1.0))
            self.assertTrue(self.app.alive())
            self.assertTrue(self.d.visible(self.main))
            self.assertEqual(profile, self.w.profile())
        # The clock still ticks after the declined exits.
        wait_until(lambda: re.match(r"\d\d\.\d\d\.\d{4}$", self.d.item_text(self.main, R.IDC_DATE)))
        self.exit_with_yes()
        self.assertEqual(profile, self.w.profile())

    def test_close_box_with_yes_ends_the_program(self):
        self.language = ENGLISH
        self.start_main()
        self.w.answer_msgbox(self.ask_exit(lambda: self.d.syscommand(self.main, SC_CLOSE)), IDYES)
        self.assertEqual(0, self.app.wait())
        self.assertEqual({"Language": ENGLISH, "Reaction": "75,50,30"}, self.w.profile())


class NoSoundCard(CribwatchTestCase):
    """No sound server: the program says so once and runs on."""

    def test_message_once_then_start_and_stop_work(self):
        self.start_main(CallParams="0301234,1,10")
        self.assertTrue(self.no_message_box(2.0), "the message comes only once")
        self.start_monitoring()
        self.assertTrue(self.no_message_box(1.0))
        self.stop_monitoring()
        self.assertTrue(self.app.alive())
        self.exit_with_yes()

    def test_start_without_a_number_is_refused(self):
        for call_params in (None, "?,1,10", "5,1,10"):
            with self.subTest(call_params=call_params):
                self.w.profile_clear()
                self.start_main(**({} if call_params is None else {"CallParams": call_params}))
                self.d.click_item(self.main, R.IDC_START_STOP)
                self.w.answer_msgbox(self.expect_message(self.text(R.IDS_NO_CALL_NUMBER), "stop"), IDOK)
                self.assertTrue(stays(lambda: self.start_stop_label() == self.text(R.IDS_START), 1.0))
                self.exit_with_yes()


class BadProfileValues(CribwatchTestCase):
    """Whatever the profile holds, the program comes up and ends cleanly."""

    language = None
    KEYS = ("Language", "Connect", "CallParams", "SoftPhone", "Logging", "Reaction", "Modem")
    LONG = "1234567890" * 200
    CASES = {
        "long digits": dict.fromkeys(KEYS, LONG),
        "long text": dict.fromkeys(KEYS, "x,ATD" * 400),
        "not numbers": dict.fromkeys(KEYS, "abc,def,ghi"),
        "beyond int": dict.fromkeys(KEYS, "99999999999,99999999999,99999999999"),
        "negative beyond int": dict.fromkeys(KEYS, "-99999999999,-99999999999,-99999999999"),
        "commas only": dict.fromkeys(KEYS, ",,,,"),
        "empty": dict.fromkeys(KEYS, ""),
        "modem with huge port": {"Language": "0", "Connect": "2", "Modem": "99999999999,-5,ATD" + "9" * 1000,
                                 "CallParams": "," * 600, "Reaction": "500,-500,99999999999"},
    }

    def come_up(self):
        """Answers whatever the start-up asks (language dialog, messages)
        until the main window is visible."""
        def step():
            self.w._check_running(self.app)
            main = self.w.find_dialog(self.app, MAIN_WINDOW_CONTROLS, visible=True)
            if main and not self.w.msgboxes(self.app, icons=False):
                return main
            for box in self.w.msgboxes(self.app, icons=False):
                if box["visible"]:
                    ids = [b["id"] for b in box["buttons"]]
                    self.d.answer(box["hwnd"], IDOK if IDOK in ids else ids[0])
                    return None
            lang = self.w.find_dialog(self.app, LANGUAGE_DIALOG_CONTROLS, visible=True)
            if lang:
                self.d.key(lang, VK.RETURN)
            return None
        self.main = wait_until(step, message="the main window did not come up")

    def test_every_key_with_bad_values(self):
        for name, values in self.CASES.items():
            with self.subTest(case=name):
                self.w.profile_clear()
                self.language = None
                self.start(**values)
                self.come_up()
                self.assertTrue(stays(self.app.alive, 1.0))
                self.assertTrue(self.d.visible(self.main))
                # The exit question speaks the window's language.
                exit_label = self.d.item_text(self.main, R.IDC_EXIT)
                self.language = GERMAN if exit_label == R.text(R.IDS_EXIT, GERMAN) else ENGLISH
                self.assertEqual(self.text(R.IDS_EXIT), exit_label)
                self.exit_with_yes()
                profile = self.w.profile()
                self.assertRegex(profile["Language"], r"^-?\d+$")
                self.assertRegex(profile["Reaction"], r"^-?\d+,-?\d+,-?\d+$")
                # Keys the exit does not write are left as they were.
                for key in set(values) - {"Language", "Reaction"}:
                    self.assertEqual(values[key], profile.get(key), key)

    def test_a_modem_value_of_300_mb_neither_stops_the_start_nor_the_exit(self):
        # Its size must not decide what the program allocates: the value is
        # cut to the working buffer, and the exit leaves it as it is. (The
        # registry holds it as UTF-16: 150 million characters.)
        self.w.profile_set("Language", ENGLISH)
        self.w.profile_set("Modem", "9", times=150 * 1000 * 1000)
        self.addCleanup(self.w.profile_delete, "Modem")
        self.language = ENGLISH
        self.start()
        self.come_up()
        self.assertTrue(stays(self.app.alive, 1.0))
        self.exit_with_yes()
        self.assertRegex(self.w.profile_get("Reaction"), r"^\d+,\d+,\d+$")


if __name__ == "__main__":
    unittest.main()
