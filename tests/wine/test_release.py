"""End-to-end: the release as a parent gets it (`make dist`, build/dist/).
The installer run silently, the Start-menu shortcut and the uninstall entry;
the installed program started as its shortcut starts it; the uninstaller,
silent and with "remove my settings" ticked; the portable zip unpacked to a
folder with spaces and umlauts; the version resource. The version is the
one of the file VERSION. These run in 32-bit worlds only: the release holds
the 32-bit program."""

import os
import sys
import unittest
import zipfile
from pathlib import Path

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from resources import ENGLISH, GERMAN, R  # noqa: E402
from world import (APP_TITLE, BUILD_DIR, COMPANY_KEY, DIALOG_CLASS, IDYES, MAIN_WINDOW_CONTROLS,  # noqa: E402
                   REPO, CribwatchTestCase, pe_machine, unix_path, wait_until, windows_path)

VERSION = (REPO / "VERSION").read_text().strip()
DIST = Path(os.environ.get("CRIB_DIST_DIR") or BUILD_DIR.parent / "dist")
SETUP = DIST / ("Cribwatch-%s-setup.exe" % VERSION)
ZIP = DIST / ("Cribwatch-%s-portable.zip" % VERSION)

RELEASE_FILES = {"Cribwatch.exe", "CribPC-Ger.chm", "CribPC-Eng.chm", "LICENSE.txt", "README.txt"}
MAKER = COMPANY_KEY.split("\\")[-1]
UNINSTALL_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Cribwatch"
CSIDL_COMMON_PROGRAMS, CSIDL_PROGRAM_FILESX86, CSIDL_COMMON_DOCUMENTS = 0x17, 0x2A, 0x2E
I386 = 0x14C
# NSIS runs its uninstaller from a copy of this name in the temp folder.
UNINSTALLER_COPY = "Un.exe"
BS_TYPEMASK, BS_CHECKBOX, BS_AUTOCHECKBOX = 0x0F, 2, 3
ID_NEXT = 1  # the button that goes on: Next, I Agree, Install, Uninstall, Finish, Close


def version_numbers():
    return [int(n) for n in VERSION.split(".")] + [0]


class _Release(CribwatchTestCase):
    """A fresh world for each test; where the program belongs in it."""

    world_per_test = True

    def setUp(self):
        super().setUp()
        self.folder = self.d.folder(CSIDL_PROGRAM_FILESX86) + "\\%s\\%s" % (MAKER, APP_TITLE)
        self.shortcut = self.d.folder(CSIDL_COMMON_PROGRAMS) + "\\%s.lnk" % APP_TITLE
        # Where the installed program keeps its protocol files.
        self.documents = self.d.folder(CSIDL_COMMON_DOCUMENTS) + "\\" + APP_TITLE
        self.assertFalse(self.unix(self.folder).exists())
        self.assertFalse(self.unix(self.shortcut).exists())

    def unix(self, path):
        return unix_path(self.w.prefix, path)

    def checkboxes(self, window):
        """The visible check boxes of a window and its pages."""
        return [c["hwnd"] for c in self.d.children(window, all_descendants=True)
                if c["cls"] == "Button" and c["visible"]
                and c["style"] & BS_TYPEMASK in (BS_CHECKBOX, BS_AUTOCHECKBOX)]

    def window_of(self, pid):
        return wait_until(lambda: [w["hwnd"] for w in self.d.windows(pid) if w["visible"]],
                          message="process %s shows no window" % pid)[0]


class _Installed(_Release):
    """The installer has run silently."""

    def setUp(self):
        super().setUp()
        self.assertEqual(0, self.launch(SETUP, args=["/S"]).wait(120), "the silent install failed")

    def installed(self, name=""):
        return self.folder + ("\\" + name if name else "")

    def run_uninstaller(self, *args):
        """Starts the uninstaller as the uninstall entry does and returns
        the Windows id of the copy that does the work (0 when it already
        ended)."""
        command = self.d.regget(UNINSTALL_KEY, "UninstallString")
        self.assertEqual('"%s"' % self.installed("Uninstall.exe"), command)
        starter = self.launch(self.unix(command.strip('"')), args=args)
        self.assertEqual(0, starter.wait(60))
        # The starter has ended after starting the copy.
        return self.d.winpid(starter.mark, UNINSTALLER_COPY)

    def wait_uninstaller_end(self, pid):
        wait_until(lambda: pid not in [p["pid"] for p in self.d.procs()], 120,
                   message="the uninstaller did not end")

    def assert_removed(self):
        """Files, folders, shortcut and entry are gone."""
        self.assertFalse(self.unix(self.folder).exists())
        self.assertFalse(self.unix(self.folder).parent.exists(), "the maker's folder stayed")
        self.assertFalse(self.unix(self.shortcut).exists())
        self.assertFalse(self.unix(self.documents).exists(), "the empty protocol folder stayed")
        self.assertIsNone(self.d.reglist(UNINSTALL_KEY))

    def give_settings(self):
        """Settings as the program leaves them; returns them."""
        self.w.profile_set("Language", ENGLISH)
        self.w.profile_set("CallParams", "0301234,5,3")
        return self.w.registry_dump()


class Installer(_Installed):

    def test_the_silent_install_puts_files_shortcut_and_entry_in_place(self):
        self.assertEqual(RELEASE_FILES | {"Uninstall.exe"},
                         {p.name for p in self.unix(self.folder).iterdir()})
        program = self.unix(self.installed("Cribwatch.exe"))
        self.assertEqual(I386, pe_machine(program))
        with zipfile.ZipFile(ZIP) as z:
            for name in RELEASE_FILES:
                self.assertEqual(z.read(name), self.unix(self.installed(name)).read_bytes(), name)
        for name in ("CribPC-Ger.chm", "CribPC-Eng.chm"):
            self.assertEqual((BUILD_DIR / name).read_bytes(), self.unix(self.installed(name)).read_bytes())

        link = self.d.shortcut(self.shortcut)
        self.assertEqual(self.installed("Cribwatch.exe"), link["target"])
        self.assertEqual(self.documents, link["workdir"])
        self.assertTrue(self.unix(self.documents).is_dir())
        self.assertEqual("", link["args"])
        self.assertEqual((self.installed("Cribwatch.exe"), 0), (link["icon"], link["icon_index"]))

        entry = self.d.reglist(UNINSTALL_KEY)
        self.assertEqual(APP_TITLE, entry["DisplayName"])
        self.assertEqual(VERSION, entry["DisplayVersion"])
        self.assertEqual(MAKER, entry["Publisher"])
        self.assertEqual(self.installed("Cribwatch.exe") + ",0", entry["DisplayIcon"])
        self.assertEqual(self.folder, entry["InstallLocation"])
        self.assertEqual('"%s" /S' % self.installed("Uninstall.exe"), entry["QuietUninstallString"])

    def test_the_shortcut_starts_the_program_help_finds_its_file_and_protocols_go_to_the_documents(self):
        link = self.d.shortcut(self.shortcut)
        for language in (GERMAN, ENGLISH):
            with self.subTest(language=language):
                self.language = language
                self.start_main(exe=self.unix(link["target"]), cwd=self.unix(link["workdir"]),
                                Logging="1", CallParams="0301234,5,3")
                self.open_help()
                self.start_monitoring()
                self.stop_monitoring()
                self.exit_with_yes()
        # Two runs, named by their start second (the same second shares one file).
        self.assertIn(len(list(self.unix(self.documents).glob("*.log"))), (1, 2))

    def test_setup_and_uninstall_wait_for_the_running_program_and_silently_give_up(self):
        self.start_main(exe=self.unix(self.installed("Cribwatch.exe")), cwd=self.unix(self.documents))
        before = self.unix(self.installed("Cribwatch.exe")).stat().st_mtime_ns
        self.assertEqual(2, self.launch(SETUP, args=["/S"]).wait(120))
        self.wait_uninstaller_end(self.run_uninstaller("/S"))
        self.assertEqual(before, self.unix(self.installed("Cribwatch.exe")).stat().st_mtime_ns)
        self.assertIsNotNone(self.d.reglist(UNINSTALL_KEY))
        self.assertTrue(self.app.alive())
        self.exit_with_yes()

    def test_the_silent_uninstall_removes_everything_but_the_settings(self):
        settings = self.give_settings()
        self.wait_uninstaller_end(self.run_uninstaller("/S"))
        self.assert_removed()
        self.assertEqual(settings, self.w.registry_dump())

    def test_the_uninstall_with_remove_settings_ticked_deletes_them(self):
        self.give_settings()
        pid = self.run_uninstaller()
        self.assertTrue(pid, "no uninstaller runs")
        page = self.window_of(pid)
        boxes = self.checkboxes(page)
        self.assertEqual(1, len(boxes), "the page offers one choice")
        self.assertEqual(0, self.d.check(boxes[0]), "removing the settings is not the default")
        self.d.click(boxes[0])
        wait_until(lambda: self.d.check(boxes[0]) == 1, message="the box did not tick")
        self.d.click_item(page, ID_NEXT)
        wait_until(lambda: self.d.reglist(UNINSTALL_KEY) is None, 60, message="nothing was uninstalled")
        # The button is off while the uninstaller works; then it closes it.
        wait_until(lambda: self.d.item_state(page, ID_NEXT)["enabled"], message="no Close button")
        self.d.click_item(page, ID_NEXT)
        self.wait_uninstaller_end(pid)
        self.assert_removed()
        self.assertIsNone(self.w.registry_dump(), "the settings stayed")


class InteractiveInstall(_Release):
    world_options = dict(sound=True)
    language = ENGLISH

    def test_the_installer_offers_to_start_the_program_as_its_shortcut_does(self):
        self.w.profile_set("Language", self.language)
        setup = self.launch(SETUP)
        window = self.window_of(setup.wait_winpid())

        def page():
            return [c["hwnd"] for c in self.d.children(window)
                    if c["cls"] == DIALOG_CLASS and c["visible"]]

        def next_page():
            """Next, then the page that shows next (read once: the installer
            may be between pages at any moment)."""
            shown = page()
            self.d.click_item(window, ID_NEXT)

            def changed():
                now = page()
                return now if now and now != shown else None
            return wait_until(changed, message="the installer stayed on its page")[0]

        folder_page = next_page()  # the licence, agreed to
        edits = [c["hwnd"] for c in self.d.children(folder_page) if c["cls"] == "Edit"]
        self.assertEqual(1, len(edits))
        self.assertEqual(self.folder, self.d.text(edits[0]), "not offered to install into its own folder")
        next_page()  # the folder, and Install
        boxes = wait_until(lambda: self.checkboxes(window), 120, message="no offer to start the program")
        self.assertEqual(1, len(boxes))
        self.assertEqual(1, self.d.check(boxes[0]), "the offer is not ticked")
        self.d.click_item(window, ID_NEXT)
        self.assertEqual(0, setup.wait(60))

        # The program runs, started where its shortcut starts it; Help finds its file beside it.
        pid = wait_until(lambda: self.d.winpid(setup.mark, "Cribwatch.exe"), message="the program did not start")
        self.main = wait_until(lambda: self.w.find_dialog(pid, MAIN_WINDOW_CONTROLS, visible=True),
                               message="no main window")
        self.open_help()
        self.d.click_item(self.main, R.IDC_EXIT)
        box = wait_until(lambda: self.d.msgboxes(pid), message="no exit question")[0]
        self.w.answer_msgbox(box, IDYES)
        wait_until(lambda: pid not in [p["pid"] for p in self.d.procs()], message="the program did not end")


class PortableZip(CribwatchTestCase):
    FOLDER = "Für unser Kind, Öfter hören"

    def test_unzipped_to_a_folder_with_spaces_and_umlauts_the_program_starts(self):
        folder = self.w.prefix / "drive_c" / self.FOLDER
        with zipfile.ZipFile(ZIP) as z:
            self.assertEqual(sorted(RELEASE_FILES), sorted(z.namelist()))
            z.extractall(folder)
        self.language = ENGLISH
        self.start_main(exe=folder / "Cribwatch.exe", cwd=folder)
        self.open_help()
        self.exit_with_yes()


class VersionResource(CribwatchTestCase):
    language = ENGLISH

    def test_program_and_installer_carry_the_version_of_the_file_VERSION(self):
        for path in (BUILD_DIR / "Cribwatch.exe", SETUP):
            with self.subTest(path=path.name):
                info = self.d.version(windows_path(path))
                self.assertIsNotNone(info, "no version resource")
                self.assertEqual(version_numbers(), info["file_version"])
                self.assertEqual(version_numbers(), info["product_version"])
                strings = info["strings"]
                self.assertEqual((APP_TITLE, MAKER, VERSION, VERSION),
                                 (strings["ProductName"], strings["CompanyName"], strings["FileVersion"],
                                  strings["ProductVersion"]))

    def test_the_about_box_names_the_version(self):
        self.start_main()
        about = self.open_about()
        lines = [self.d.text(c["hwnd"]) for c in self.d.children(about) if c["cls"] == "Static"]
        self.assertEqual(1, len([line for line in lines if " %s " % VERSION in line]), lines)
        self.d.close(about)
        wait_until(lambda: not self.d.exists(about), message="the About box stayed")
        self.exit_with_yes()


if __name__ == "__main__":
    unittest.main()
