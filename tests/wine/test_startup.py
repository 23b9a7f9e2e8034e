"""Start-up and exit of the real Cribwatch.exe under Wine: the language
dialog at the first start, the single-instance rule, the exit question, the
missing sound card, Start/Stop at the simplest, and bad profile values."""

import os
import re
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from world import (IDNO, IDOK, IDYES, SC_CLOSE, VK, World, WorldTestCase, stays,  # noqa: E402
                   wait_until)

# Texts of the program (German / English).
CONFIRM_EXIT_DE = "Möchten Sie Cribwatch wirklich beenden ?"
CONFIRM_EXIT_EN = "Do you want exit Cribwatch now ?"
ALREADY_RUNNING_DE = "Cribwatch ist auf diesem System bereits aktiviert !"
NO_SOUNDCARD_DE = "Es wurde auf diesem System keine Soundkarte gefunden."
NO_SOUNDCARD_EN = "No soundcard found on this system !"
NO_NUMBER_DE = "Sie haben keine Rufnummer eingetragen."

GERMAN_LABELS = {150: "Beenden", 100: "Hilfe", 101: "Einstellungen", 102: "Info", 103: "Mixer",
                 700: "Start", 50: "Mikrofon", 51: "Rufauslösung", 201: "Empfindlichkeit"}
ENGLISH_LABELS = {150: "Exit", 100: "Help", 101: "Settings", 102: "About", 103: "Mixer",
                  700: "Start", 50: "Microphone", 51: "Calling", 201: "Sensitivity"}

EXIT_BUTTON = 150
START_BUTTON = 700


class CribwatchWorld(WorldTestCase):
    """One world for all tests of a class; each test starts its own program
    and leaves none running."""

    sound = False

    @classmethod
    def world_arguments(cls):
        return dict(sound=cls.sound)

    def setUp(self):
        super().setUp()
        self.w.profile_clear()
        self.apps = []

    def tearDown(self):
        for app in self.apps:
            if app.alive():
                app.kill()
        # The next test starts with no instance on the desktop.
        wait_until(lambda: self.d.find("#32770", "Cribwatch") is None,
                   message="a Cribwatch window outlived its process")
        for app in self.apps:
            app.check_no_crash()

    # -- helpers --
    def start(self):
        app = self.w.start_app()
        self.apps.append(app)
        return app

    def answer_no_soundcard(self, app, text=NO_SOUNDCARD_DE):
        """The no-sound-card message of the initialisation (no sound server
        in this world): checks and confirms it."""
        box = self.w.wait_msgbox(app)
        self.assertEqual(text, box["text"])
        self.assertEqual("stop", box["icon"])
        self.assertEqual([IDOK], [b["id"] for b in box["buttons"]])
        self.w.answer_msgbox(box, IDOK)

    def start_to_main_window(self, language=None):
        """Starts the program with a stored language (no language dialog)
        and returns (app, main window) once the window is visible."""
        if language is not None:
            self.w.profile_set("Language", str(language))
        app = self.start()
        if not self.sound:
            self.answer_no_soundcard(app, NO_SOUNDCARD_DE if language in (None, 0) else NO_SOUNDCARD_EN)
        main = self.w.wait_main_window(app)
        return app, main

    def labels(self, main, ids):
        return {i: self.d.item_text(main, i) for i in ids}

    def no_message_box(self, app, duration=1.5):
        return stays(lambda: not self.w.msgboxes(app, icons=False), duration)

    def exit_with_yes(self, app, main, question=CONFIRM_EXIT_DE):
        self.d.click_item(main, EXIT_BUTTON)
        box = self.w.wait_msgbox(app)
        self.assertEqual(question, box["text"])
        self.w.answer_msgbox(box, IDYES)
        self.assertEqual(0, app.wait())


class FirstStart(CribwatchWorld):
    """An empty profile: the language dialog comes first."""

    def wait_language_dialog(self, app):
        dlg = self.w.wait_language_dialog(app)
        self.assertEqual("Cribwatch", self.d.title(dlg))
        self.assertEqual(1, self.d.item_check(dlg, 100), "Deutsch is preselected")
        self.assertEqual(0, self.d.item_check(dlg, 101))
        self.assertTrue(self.d.item(dlg, 1), "the dialog has its OK button")
        # The main window exists but is not shown yet.
        main = self.w.main_window(app)
        self.assertTrue(main)
        self.assertFalse(self.d.visible(main))
        self.assertEqual({}, self.w.profile())
        return dlg

    def test_english_is_stored_at_once_and_the_window_speaks_english(self):
        app = self.start()
        dlg = self.wait_language_dialog(app)
        self.d.click_item(dlg, 101)
        wait_until(lambda: self.d.item_check(dlg, 101) == 1)
        self.assertEqual(0, self.d.item_check(dlg, 100), "the radio buttons clear each other")
        self.d.click_item(dlg, 1)
        # Stored when the dialog is confirmed, while the start-up goes on.
        box = self.w.wait_msgbox(app)
        self.assertEqual({"Language": "1"}, self.w.profile())
        self.assertEqual(NO_SOUNDCARD_EN, box["text"])
        self.w.answer_msgbox(box, IDOK)
        main = self.w.wait_main_window(app)
        self.assertEqual(ENGLISH_LABELS, self.labels(main, ENGLISH_LABELS))
        self.assertEqual("Cribwatch", self.d.title(main))
        # Nothing else is written until the exit.
        self.assertTrue(stays(lambda: self.w.profile() == {"Language": "1"}, 1.5))
        self.exit_with_yes(app, main, CONFIRM_EXIT_EN)
        self.assertEqual({"Language": "1", "Reaction": "75,50,30"}, self.w.profile())

    def test_enter_confirms_german(self):
        app = self.start()
        dlg = self.wait_language_dialog(app)
        self.d.key(dlg, VK.RETURN)
        wait_until(lambda: self.w.profile() == {"Language": "0"})
        self.answer_no_soundcard(app)
        main = self.w.wait_main_window(app)
        self.assertEqual(GERMAN_LABELS, self.labels(main, GERMAN_LABELS))
        self.exit_with_yes(app, main)

    def test_escape_gives_german_and_stores_nothing_until_the_exit(self):
        app = self.start()
        dlg = self.wait_language_dialog(app)
        self.d.key(dlg, VK.ESCAPE)
        self.answer_no_soundcard(app, NO_SOUNDCARD_DE)
        main = self.w.wait_main_window(app)
        self.assertEqual(GERMAN_LABELS, self.labels(main, GERMAN_LABELS))
        self.assertTrue(stays(lambda: self.w.profile() == {}, 1.5), "nothing is stored before the exit")
        self.exit_with_yes(app, main, CONFIRM_EXIT_DE)
        self.assertEqual({"Language": "0", "Reaction": "75,50,30"}, self.w.profile())
        # After that orderly exit the next start does not ask again.
        app2 = self.start()
        self.answer_no_soundcard(app2)
        main2 = self.w.wait_main_window(app2)
        self.assertIsNone(self.w.language_dialog(app2))
        self.assertEqual("Beenden", self.d.item_text(main2, EXIT_BUTTON))
        self.exit_with_yes(app2, main2)

    def test_close_box_of_the_language_dialog_is_like_escape(self):
        app = self.start()
        dlg = self.wait_language_dialog(app)
        self.d.click_item(dlg, 101)
        wait_until(lambda: self.d.item_check(dlg, 101) == 1)
        self.d.close(dlg)
        self.answer_no_soundcard(app, NO_SOUNDCARD_DE)
        main = self.w.wait_main_window(app)
        self.assertEqual("Beenden", self.d.item_text(main, EXIT_BUTTON))
        self.assertEqual({}, self.w.profile())
        self.exit_with_yes(app, main)
        self.assertEqual("0", self.w.profile_get("Language"))


class SecondInstance(CribwatchWorld):

    def test_second_instance_is_refused_in_german_and_changes_nothing(self):
        first, main = self.start_to_main_window(language=1)
        self.assertEqual("Exit", self.d.item_text(main, EXIT_BUTTON))
        self.w.profile_set("CallParams", "0301234,3,5")
        before = self.w.registry_dump()
        second = self.start()
        box = self.w.wait_msgbox(second)
        # German whatever the running instance speaks: the second one has
        # not loaded any settings.
        self.assertEqual(ALREADY_RUNNING_DE, box["text"])
        self.assertEqual("information", box["icon"])
        self.assertEqual([IDOK], [b["id"] for b in box["buttons"]])
        self.assertEqual(0, box["owner"], "the message has no owner")
        self.assertEqual([], self.w.dialogs(second), "the second instance shows no window of its own")
        self.w.answer_msgbox(box, IDOK)
        second.wait()
        # The first instance runs on untouched; the profile is as it was.
        self.assertTrue(first.alive())
        self.assertTrue(self.d.visible(main))
        self.assertEqual([], self.w.msgboxes(first, icons=False))
        self.assertEqual(before, self.w.registry_dump())
        self.exit_with_yes(first, main, CONFIRM_EXIT_EN)


class ExitQuestion(CribwatchWorld):

    def assert_unchanged(self, app, main, profile):
        self.assertTrue(app.alive())
        self.assertTrue(self.d.visible(main))
        self.assertEqual(profile, self.w.profile())

    def ask_and_decline(self, app, main, how):
        how()
        box = self.w.wait_msgbox(app)
        self.assertEqual(CONFIRM_EXIT_DE, box["text"])
        self.assertEqual("question", box["icon"])
        self.assertEqual([IDYES, IDNO], sorted(b["id"] for b in box["buttons"]))
        self.assertEqual(main, box["owner"])
        self.w.answer_msgbox(box, IDNO)

    def test_no_changes_nothing_and_yes_saves_language_and_sliders(self):
        self.w.profile_set("Reaction", "80,45,25")
        app, main = self.start_to_main_window(language=0)
        profile = self.w.profile()
        self.assertEqual({"Language": "0", "Reaction": "80,45,25"}, profile)
        for how in (lambda: self.d.click_item(main, EXIT_BUTTON),   # the Exit button
                    lambda: self.d.close(main),                      # WM_CLOSE
                    lambda: self.d.syscommand(main, SC_CLOSE)):      # the close box
            self.ask_and_decline(app, main, how)
            self.assertTrue(self.no_message_box(app, 1.0))
            self.assert_unchanged(app, main, profile)
        # The clock still ticks after the declined exits.
        wait_until(lambda: re.match(r"\d\d\.\d\d\.\d{4}$", self.d.item_text(main, 600)))
        self.d.click_item(main, EXIT_BUTTON)
        box = self.w.wait_msgbox(app)
        self.w.answer_msgbox(box, IDYES)
        self.assertEqual(0, app.wait())
        self.assertEqual({"Language": "0", "Reaction": "80,45,25"}, self.w.profile())

    def test_close_box_with_yes_ends_the_program(self):
        app, main = self.start_to_main_window(language=1)
        self.d.syscommand(main, SC_CLOSE)
        box = self.w.wait_msgbox(app)
        self.assertEqual(CONFIRM_EXIT_EN, box["text"])
        self.w.answer_msgbox(box, IDYES)
        self.assertEqual(0, app.wait())
        self.assertEqual({"Language": "1", "Reaction": "75,50,30"}, self.w.profile())

    def test_enter_and_escape_do_nothing(self):
        app, main = self.start_to_main_window(language=0)
        profile = self.w.profile()
        # (With the focus on a push button Enter presses that button, as in
        # every dialog; here it rests on a slider.)
        slider = self.d.item(main, 200)
        for vk, focus in ((VK.RETURN, slider), (VK.ESCAPE, slider),
                          (VK.ESCAPE, self.d.item(main, START_BUTTON))):
            self.assertEqual(focus, self.d.focus(focus))
            self.assertEqual(focus, self.d.key(main, vk))
            self.assertTrue(self.no_message_box(app, 1.5), "key %#x asked something" % vk)
            self.assert_unchanged(app, main, profile)
        self.assertEqual("Start", self.d.item_text(main, START_BUTTON))
        self.exit_with_yes(app, main)


class NoSoundCard(CribwatchWorld):
    """No sound server: the program says so once and runs on."""

    def test_message_once_then_start_and_stop_work(self):
        self.w.profile_set("CallParams", "0301234,1,10")
        app, main = self.start_to_main_window(language=0)
        self.assertTrue(self.no_message_box(app, 2.0), "the message comes only once")
        button = self.d.item(main, START_BUTTON)
        self.assertEqual("Start", self.d.text(button))
        self.d.click(button)
        wait_until(lambda: self.d.text(button) == "Stopp")
        self.assertTrue(self.no_message_box(app, 1.0))
        self.d.click(button)
        wait_until(lambda: self.d.text(button) == "Start")
        self.assertTrue(app.alive())
        self.exit_with_yes(app, main)

    def test_start_without_a_number_is_refused(self):
        for call_params in (None, "?,1,10", "5,1,10"):
            with self.subTest(call_params=call_params):
                self.w.profile_clear()
                if call_params is not None:
                    self.w.profile_set("CallParams", call_params)
                app, main = self.start_to_main_window(language=0)
                self.d.click_item(main, START_BUTTON)
                box = self.w.wait_msgbox(app)
                self.assertEqual(NO_NUMBER_DE, box["text"])
                self.assertEqual("stop", box["icon"])
                self.w.answer_msgbox(box, IDOK)
                self.assertTrue(stays(lambda: self.d.item_text(main, START_BUTTON) == "Start", 1.0))
                self.exit_with_yes(app, main)


class WithSoundCard(CribwatchWorld):
    """The room's PulseAudio server gives Wine a sound device."""

    sound = True

    def test_no_soundcard_message_with_a_device(self):
        app, main = self.start_to_main_window(language=0)
        self.assertTrue(self.no_message_box(app, 2.0))
        self.assertEqual("Start", self.d.item_text(main, START_BUTTON))
        self.exit_with_yes(app, main)


class BadProfileValues(CribwatchWorld):
    """Whatever the profile holds, the program comes up and ends cleanly."""

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

    def come_up(self, app):
        """Answers whatever the start-up asks (language dialog, messages)
        until the main window is visible; returns it."""
        def step():
            self.w._check_running(app)
            main = self.w.find_dialog(app, (700, 200), visible=True)
            if main and not self.w.msgboxes(app, icons=False):
                return main
            for box in self.w.msgboxes(app, icons=False):
                if box["visible"]:
                    ids = [b["id"] for b in box["buttons"]]
                    self.d.answer(box["hwnd"], IDOK if IDOK in ids else ids[0])
                    return None
            lang = self.w.find_dialog(app, (100, 101, 1), visible=True)
            if lang:
                self.d.key(lang, VK.RETURN)
            return None
        return wait_until(step, message="the main window did not come up")

    def test_every_key_with_bad_values(self):
        for name, values in self.CASES.items():
            with self.subTest(case=name):
                self.w.profile_clear()
                for key, value in values.items():
                    self.w.profile_set(key, value)
                app = self.start()
                main = self.come_up(app)
                self.assertTrue(stays(app.alive, 1.0))
                self.assertTrue(self.d.visible(main))
                self.d.click_item(main, EXIT_BUTTON)
                box = self.w.wait_msgbox(app)
                self.assertIn(box["text"], (CONFIRM_EXIT_DE, CONFIRM_EXIT_EN))
                self.w.answer_msgbox(box, IDYES)
                self.assertEqual(0, app.wait())
                profile = self.w.profile()
                self.assertRegex(profile["Language"], r"^-?\d+$")
                self.assertRegex(profile["Reaction"], r"^-?\d+,-?\d+,-?\d+$")
                # Keys the exit does not write are left as they were.
                for key in set(values) - {"Language", "Reaction"}:
                    self.assertEqual(values[key], profile.get(key), key)


if __name__ == "__main__":
    unittest.main()
