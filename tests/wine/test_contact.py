"""End-to-end: the links of the main window and the About box, the About
box itself, the Help button and the Mixer button. The browser, the mail
client and the volume control are argslog.exe, which logs how it was
started."""

import os
import shutil
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from resources import ENGLISH, GERMAN, R  # noqa: E402
from world import (HELP_FOLDERS, HELP_VIEWER, CribwatchTestCase, exe_path, stays,  # noqa: E402
                   wait_until)

WEB_SITE = "https://kestrelon.example/cribwatch"
MAIL = "mailto:cribwatch@kestrelon.example"
WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_CONTEXTMENU = 0x0200, 0x0201, 0x0204, 0x007B
WM_CAPTURECHANGED = 0x0215
SS_NOTIFY = 0x0100
CLASSES = r"HKLM\Software\Classes"

BLUE, RED, PURPLE = (0, 0, 255), (255, 0, 0), (128, 0, 128)
NAME_LEFT, NAME_TOP = 85, 127  # where the About box paints the maker's name


def near(colour):
    return lambda p: all(abs(a - b) <= 24 for a, b in zip(p, colour))


class _ContactWorld(CribwatchTestCase):
    """Stand-ins registered for http and mailto, as today's browsers register
    themselves (the path and the argument both quoted)."""

    def setUp(self):
        super().setUp()
        self.stand = self.w.prefix / "drive_c" / "stand"
        self.stand.mkdir(exist_ok=True)
        for name in ("web", "mail"):
            shutil.copy(exe_path("argslog"), self.stand / (name + ".exe"))
            (self.stand / (name + ".log")).unlink(missing_ok=True)
        self.d.regset(CLASSES + r"\http\shell\open\command", "",
                      '"C:\\stand\\web.exe" -osint -url "%1"')
        self.d.regset(CLASSES + r"\mailto", "URL Protocol", "")
        self.d.regset(CLASSES + r"\mailto\shell\open\command", "", '"C:\\stand\\mail.exe" "%1"')

    def started(self, name):
        """The command lines the stand-in `name` was started with."""
        try:
            return (self.stand / (name + ".log")).read_text().splitlines()
        except FileNotFoundError:
            return []

    def wait_started(self, name, count):
        return wait_until(lambda: len(self.started(name)) >= count,
                          message="%s.exe was started %d times, not %d" % (name, len(self.started(name)), count))

    def colours(self, link):
        """How many of the link's pixels are blue, red and purple."""
        picture = self.d.grab(link)
        return tuple(picture.count(near(c)) for c in (BLUE, RED, PURPLE))

    def wait_colour(self, link, colour):
        index = (BLUE, RED, PURPLE).index(colour)
        return wait_until(lambda: self.colours(link)[index] > 20 and
                          sum(self.colours(link)) == self.colours(link)[index],
                          message="the link is not %r: %r" % (colour, self.colours(link)))

    def underlined(self, link, colour):
        """Whether one row of the link is `colour` from its text's left end to its right end."""
        picture = self.d.grab(link)
        xs = [x for y in range(picture.h) for x in range(picture.w) if near(colour)(picture.pixel(x, y))]
        return bool(xs) and any(all(near(colour)(picture.pixel(x, y)) for x in range(min(xs), max(xs) + 1))
                                for y in range(picture.h))

    def press(self, link, x=3, y=3):
        self.d.post(link, WM_LBUTTONDOWN, 1, (y << 16) | x)

    def move(self, link, x, y):
        self.d.post(link, WM_MOUSEMOVE, 0, ((y & 0xFFFF) << 16) | (x & 0xFFFF))


class ContactLinks(_ContactWorld):

    def test_a_link_is_blue_red_under_the_pointer_and_purple_after_a_press(self):
        self.start_main()
        link = self.d.item(self.main, R.IDC_WEB_LINK)
        self.assertEqual(self.text(R.IDS_WEB_LINK), self.d.text(link))
        self.wait_colour(link, BLUE)
        self.assertTrue(self.underlined(link, BLUE))
        self.move(link, 3, 3)
        self.wait_colour(link, RED)
        # A right click and a context menu request do nothing.
        self.d.post(link, WM_RBUTTONDOWN, 2, 0)
        self.d.post(link, WM_CONTEXTMENU, link, 0)
        self.press(link)
        self.wait_started("web", 1)
        self.assertEqual([], self.started("mail"))
        self.wait_colour(link, RED)  # still under the pointer
        # The browser takes the pointer away: the link leaves its hover colour.
        self.d.post(link, WM_CAPTURECHANGED, 0, 0)
        self.wait_colour(link, PURPLE)
        self.move(link, 3, 3)
        self.wait_colour(link, RED)
        width = self.d.rect(link, "client")
        self.move(link, width["right"] + 40, 3)
        self.wait_colour(link, PURPLE)
        self.press(link)
        self.wait_started("web", 2)
        self.assertTrue(stays(lambda: len(self.started("web")) == 2, 1), "one start per press")
        # The browser gets the site as its one argument, none of the registered ones.
        self.assertEqual(['"C:\\stand\\web.exe" ' + WEB_SITE] * 2, self.started("web"))
        self.exit_with_yes()

    def test_the_mail_link_leaves_the_main_window_monitoring(self):
        self.start_main(CallParams="0301,1,3")
        self.start_monitoring()
        link = self.d.item(self.main, R.IDC_MAIL_LINK)
        # The template's static takes no pointer input; the link gives itself
        # SS_NOTIFY when it is first drawn, so real clicks reach it.
        self.assertNotIn("SS_NOTIFY", R.script)
        wait_until(lambda: next(c["style"] for c in self.d.children(self.main) if c["hwnd"] == link) & SS_NOTIFY)
        self.d.mouse(link, 3, 3, "right")
        self.assertTrue(stays(lambda: self.started("mail") == [], 1), "a right click opened mail")
        self.d.mouse(link, 3, 3)
        self.wait_started("mail", 1)
        self.assertIn(MAIL, self.started("mail")[0])
        self.assertEqual([], self.started("web"))
        self.assertTrue(self.app.alive())
        self.assertEqual(self.text(R.IDS_STOP), self.start_stop_label())
        self.exit_with_yes()


class AboutBox(_ContactWorld):
    language = ENGLISH

    def test_texts_painted_name_links_and_the_clock_under_it(self):
        self.start_main()
        about = self.open_about()
        self.assertEqual({R.IDC_INFO_QUESTIONS: self.text(R.IDS_QUESTIONS),
                          R.IDC_INFO_CONTACT: self.text(R.IDS_CONTACT),
                          R.IDC_INFO_MAIL_LINK: MAIL, R.IDC_INFO_WEB_LINK: WEB_SITE},
                         {i: self.d.item_text(about, i) for i in (R.IDC_INFO_QUESTIONS, R.IDC_INFO_CONTACT,
                                                                  R.IDC_INFO_MAIL_LINK, R.IDC_INFO_WEB_LINK)})
        # "Kestrelon" in blue from 85, 127 of the client area: the band of its
        # line holds blue only there (the links lie lower).
        def name_pixels():
            picture = self.d.grab(about)
            return [(x, y) for y in range(NAME_TOP - 6, NAME_TOP + 20) for x in range(picture.w)
                    if near(BLUE)(picture.pixel(x, y))]
        wait_until(lambda: len(name_pixels()) > 20, message="no name painted")
        pixels = name_pixels()
        self.assertIn(min(x for x, _ in pixels), range(NAME_LEFT, NAME_LEFT + 4))
        self.assertIn(min(y for _, y in pixels), range(NAME_TOP, NAME_TOP + 6))
        # The tick goes on under the box.
        clock = self.d.item_text(self.main, R.IDC_TIME)
        wait_until(lambda: self.d.item_text(self.main, R.IDC_TIME) != clock)
        # The web link leaves the box open; the mail link closes it.
        self.press(self.d.item(about, R.IDC_INFO_WEB_LINK))
        self.wait_started("web", 1)
        self.assertIn(WEB_SITE, self.started("web")[0])
        self.assertTrue(stays(lambda: self.d.exists(about), 1))
        self.press(self.d.item(about, R.IDC_INFO_MAIL_LINK))
        self.wait_started("mail", 1)
        wait_until(lambda: not self.d.exists(about), message="the mail link left the box open")
        self.exit_with_yes()


class HelpButton(CribwatchTestCase):
    """The help files beside the program (the build's), found from a start-up
    folder that has none."""

    def test_help_opens_the_file_of_the_language_at_its_welcome_topic(self):
        self.assertFalse(list((self.w.dir / "cwd").glob("*.chm")))
        for language in (GERMAN, ENGLISH, "2"):
            with self.subTest(language=language):
                self.language = language
                self.start_main()
                if language in HELP_FOLDERS:
                    self.open_help()
                else:
                    self.d.click_item(self.main, R.IDC_HELP_BUTTON)
                    self.assertTrue(stays(lambda: self.d.find(HELP_VIEWER) is None, 2),
                                    "help for a language without a help file")
                self.exit_with_yes()


class MixerButton(_ContactWorld):

    def test_the_volume_control_of_the_system_folder_is_started(self):
        system = self.w.prefix / "drive_c" / "windows" / "system32"
        for name in ("sndvol32", "sndvol"):
            self.assertFalse((system / (name + ".exe")).exists(), "Wine brought %s.exe" % name)
        self.addCleanup(lambda: [(system / n).unlink(missing_ok=True)
                                 for n in ("sndvol.exe", "sndvol.log", "sndvol32.exe", "sndvol32.log")])
        self.start_main()
        # Only the newer volume control, as on Windows since Vista.
        shutil.copy(exe_path("argslog"), system / "sndvol.exe")
        self.d.click_item(self.main, R.IDC_MIXER)
        wait_until(lambda: (system / "sndvol.log").exists(), message="sndvol.exe was not started")
        # The older one is preferred where it exists.
        shutil.copy(exe_path("argslog"), system / "sndvol32.exe")
        self.d.click_item(self.main, R.IDC_MIXER)
        wait_until(lambda: (system / "sndvol32.log").exists(), message="sndvol32.exe was not started")
        self.assertEqual(1, len((system / "sndvol.log").read_text().splitlines()))
        self.exit_with_yes()


if __name__ == "__main__":
    unittest.main()
