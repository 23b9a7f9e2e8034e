"""The two help files: the pages of both languages (help/de, help/en), their
links, the program's messages and labels they quote, and the .chm files that
chmcmd builds from them.

The files are built here into a temporary folder, the way the Windows builds
build them (help/build_chm.py), so that these tests need no Windows build.
Where the environment names the Windows build folders (CRIB_I686_BUILD,
CRIB_X64_BUILD) and they hold help files, those are checked too."""

import html
import html.entities
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest
from html.parser import HTMLParser
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "wine"))
from resources import ENGLISH, GERMAN, R  # noqa: E402

HERE = Path(__file__).resolve().parent
REPO = HERE.parent.parent
HELP = REPO / "help"
BUILD_CHM = HELP / "build_chm.py"
SHARED = [HELP / "hilfe.css"]

LANGUAGES = {"de": "CribPC-Ger.chm", "en": "CribPC-Eng.chm"}
LOCALE_IDS = {"de": 0x0407, "en": 0x0409}
WELCOME = "willkommen.htm"
# The program's texts, by their names in res/resource.h.
MESSAGES = [R.IDS_CONFIRM_EXIT, R.IDS_ALREADY_RUNNING, R.IDS_CONNECT_QUESTION, R.IDS_INVALID_NUMBER,
            R.IDS_SOFTPHONE_NOT_FOUND, R.IDS_NO_SOUNDCARD, R.IDS_NO_CALL_NUMBER, R.IDS_MIN_DELAY,
            R.IDS_PORT_NOT_OPENED, R.IDS_NO_TELEPHONY_APP]
# Labels of the main window and its dialogs, per page.
LABELS = {
    "hauptfenster.htm": "MICROPHONE CALLING SENSITIVITY THRESHOLD SETTINGS HELP ABOUT EXIT DATE_TIME STATUS "
                        "CONTACT_GROUP WEB_LINK MAIL_LINK START STOP",
    "einstellungen.htm": "LANGUAGE GERMAN ENGLISH CANCEL CALLING_PARAMS CONNECT_TO MISCELLANEOUS CALL_NUMBER "
                         "CALLING_DELAY MAXIMUM MINUTES CALLS MAKE_PROTOCOL SOFTPHONE_FILE CONNECTION_TEST "
                         "SERIAL_MODEM SERIAL_GROUP PORT BAUD MODEM_COMMAND TELEPHONY_APP",
    "anrufe.htm": "TELEPHONY_APP",
    "protokoll.htm": "MAKE_PROTOCOL",
    "modem.htm": "SERIAL_MODEM SERIAL_GROUP PORT BAUD MODEM_COMMAND",
    "softphone.htm": "SOFTPHONE_FILE CONNECTION_TEST",
    "kalibrieren.htm": "CALIBRATE CALIBRATION_AID CALIB_HIGHEST CALIB_QUIET_LEVEL CALIB_THRESHOLD "
                       "CALIB_PROPOSAL APPLY CANCEL",
}
# Facts every language must state somewhere in its pages.
FACTS = [r"HKEY_CURRENT_USER\Software\Kestrelon\Cribwatch\Settings", "ATE0", "ATD",
         "8N1", "https://kestrelon.example/cribwatch", "cribwatch@kestrelon.example",
         "75 / 50 / 30", "ipphone.exe", "1&1 SoftPhone", ".log"]
EXTERNAL = re.compile(r"^(https?:|mailto:)", re.I)
# Tags that part the words before and after them in the visible text.
BREAKING_TAGS = {"br", "p", "td", "th", "tr", "li", "h1", "h2", "div", "pre", "title", "table"}
VOID_TAGS = {"br", "meta", "link", "img", "hr", "input", "param", "col", "area", "base"}


def pages(lang):
    return sorted(p.name for p in (HELP / lang).glob("*.htm"))


def source_names(lang):
    """Every file that goes into the help file of lang: its folder and the
    shared files."""
    return {p.name for p in (HELP / lang).iterdir() if p.is_file()} | {p.name for p in SHARED}


class _Page(HTMLParser):
    """Links, anchors, visible text and tag nesting of one page."""

    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.links = []
        self.anchors = set()
        self.text = []
        self.problems = []
        self.stack = []

    def handle_starttag(self, tag, attrs):
        attrs = dict(attrs)
        for key in ("href", "src"):
            if attrs.get(key) is not None:
                self.links.append(attrs[key])
        for key in ("id", "name"):
            if attrs.get(key):
                self.anchors.add(attrs[key])
        if tag in BREAKING_TAGS:
            self.text.append(" ")
        if tag not in VOID_TAGS:
            self.stack.append((tag, self.getpos()[0]))

    def handle_startendtag(self, tag, attrs):
        self.handle_starttag(tag, attrs)
        if tag not in VOID_TAGS:
            self.stack.pop()

    def handle_endtag(self, tag):
        if tag in BREAKING_TAGS:
            self.text.append(" ")
        if not self.stack or self.stack[-1][0] != tag:
            opened = self.stack[-1] if self.stack else None
            self.problems.append("line %d: </%s> closes %s" % (self.getpos()[0], tag, opened))
            return
        self.stack.pop()

    def handle_data(self, data):
        self.text.append(data)

    def visible_text(self):
        return " ".join("".join(self.text).split())


def parse(path):
    parser = _Page()
    parser.feed(path.read_text(encoding="ascii"))
    parser.close()
    return parser


def text_pattern(message):
    """A pattern for a program text as a page shows it: white space folded,
    a "%s" stands for any word."""
    folded = " ".join(message.split())
    return re.compile(r"\S+".join(re.escape(part) for part in folded.split("%s")))


def hhp_section(lang, name):
    """The lines of one [section] of the language's project file."""
    project = next((HELP / lang).glob("*.hhp")).read_text(encoding="ascii")
    m = re.search(r"^\[%s\]\s*\n(.*?)(?=^\[|\Z)" % re.escape(name), project, re.S | re.M)
    return [line.strip() for line in (m.group(1) if m else "").splitlines() if line.strip()]


def hhp_option(lang, key):
    for line in hhp_section(lang, "OPTIONS"):
        k, _, v = line.partition("=")
        if k.strip().lower() == key.lower():
            return v.strip()
    return None


def build(lang, output, source=None):
    """Runs help/build_chm.py as the Windows builds do; the finished run."""
    return subprocess.run(
        [sys.executable, str(BUILD_CHM), "--chmcmd", shutil.which("chmcmd") or "chmcmd"]
        + [a for s in SHARED for a in ("--shared", str(s))]
        + [str(source or HELP / lang), str(output)],
        stdout=subprocess.PIPE, stderr=subprocess.STDOUT, universal_newlines=True, timeout=300)


class HelpSources(unittest.TestCase):
    """The pages as they stand in the repository."""

    def test_both_languages_have_the_same_files(self):
        de = {p.name for p in (HELP / "de").iterdir()}
        en = {p.name for p in (HELP / "en").iterdir()}
        self.assertEqual(de, en)
        self.assertIn(WELCOME, de)
        self.assertGreaterEqual(len(pages("de")), 10, "a help of a few pages only")

    def test_every_page_is_linked_from_the_welcome_page(self):
        for lang in LANGUAGES:
            with self.subTest(lang=lang):
                links = parse(HELP / lang / WELCOME).links
                linked = {link.split("#")[0] for link in links if not EXTERNAL.match(link)}
                missing = set(pages(lang)) - linked - {WELCOME}
                self.assertFalse(missing, "not linked from %s" % WELCOME)
                for other in LANGUAGES:
                    self.assertFalse(linked - {""} - source_names(other),
                                     "linked pages that %s lacks" % other)

    def test_every_internal_link_resolves(self):
        for lang in LANGUAGES:
            names = source_names(lang)
            for page in pages(lang):
                parsed = parse(HELP / lang / page)
                for link in parsed.links:
                    if EXTERNAL.match(link):
                        continue
                    with self.subTest(lang=lang, page=page, link=link):
                        target, _, anchor = link.partition("#")
                        self.assertNotIn("/", target, "links stay in the help file's one folder")
                        self.assertNotIn("\\", target)
                        target = target or page
                        self.assertIn(target, names, "no such file")
                        if anchor:
                            self.assertIn(anchor, parse(HELP / lang / target).anchors, "no such anchor")

    def test_the_project_lists_every_page_and_opens_the_welcome_page(self):
        for lang, chm in LANGUAGES.items():
            with self.subTest(lang=lang):
                self.assertEqual(hhp_option(lang, "Compiled file"), chm)
                self.assertEqual(hhp_option(lang, "Default topic"), WELCOME)
                self.assertTrue(hhp_option(lang, "Title"))
                files = set(hhp_section(lang, "FILES"))
                self.assertEqual(files, set(pages(lang)) | {p.name for p in SHARED})
                language = hhp_option(lang, "Language") or ""
                self.assertEqual(int(language.split()[0], 16), LOCALE_IDS[lang])

    def test_the_table_of_contents_names_every_page(self):
        for lang in LANGUAGES:
            with self.subTest(lang=lang):
                toc = (HELP / lang / hhp_option(lang, "Contents file")).read_text(encoding="ascii")
                local = re.findall(r'<param name="Local" value="([^"]*)">', toc, re.I)
                self.assertEqual(sorted(local), pages(lang))
                self.assertEqual(local[0], WELCOME)
                names = re.findall(r'<param name="Name" value="([^"]*)">', toc, re.I)
                self.assertEqual(len(names), len(local))
                # The contents pane shows these as they are: no entities there.
                for name in names:
                    self.assertNotIn("&", name)

    def test_sources_are_plain_ascii_with_known_entities(self):
        for lang in LANGUAGES:
            for path in sorted((HELP / lang).iterdir()) + SHARED:
                with self.subTest(path=str(path.relative_to(REPO))):
                    data = path.read_bytes()
                    bad = [i for i, b in enumerate(data) if b > 126 or (b < 32 and b not in (9, 10))]
                    self.assertFalse(bad, "bytes outside printable ASCII at %s" % bad[:5])
                    for entity in re.findall(r"&([A-Za-z][A-Za-z0-9]*);", data.decode("ascii")):
                        self.assertIn(entity, html.entities.name2codepoint)
                    self.assertFalse(re.search(r"&(?![A-Za-z][A-Za-z0-9]*;|#\d+;)", data.decode("ascii")),
                                     "a bare & (write &amp;)")

    def test_tags_are_closed_in_order(self):
        for lang in LANGUAGES:
            for page in pages(lang):
                with self.subTest(lang=lang, page=page):
                    parsed = parse(HELP / lang / page)
                    self.assertFalse(parsed.problems)
                    self.assertFalse(parsed.stack, "left open")
                    self.assertTrue(re.search(r"<title>[^<]+</title>",
                                              (HELP / lang / page).read_text(encoding="ascii")))

    def test_the_messages_are_quoted_word_for_word(self):
        for lang, language in (("de", GERMAN), ("en", ENGLISH)):
            text = parse(HELP / lang / "meldungen.htm").visible_text()
            # 3004 is one text for both; 1001 comes before the settings are read: always German.
            messages = [R.text(i, language) for i in MESSAGES] + [
                R.string(R.IDS_CAPTURE_ERROR), R.text(R.IDS_ALREADY_RUNNING, GERMAN)]
            for message in messages:
                with self.subTest(lang=lang, text=message):
                    self.assertTrue(text_pattern(message).search(text), "not quoted: %r" % message)

    def test_the_labels_are_the_programs_own(self):
        for lang, language in (("de", GERMAN), ("en", ENGLISH)):
            for page, names in LABELS.items():
                text = parse(HELP / lang / page).visible_text()
                for name in names.split():
                    label = " ".join(R.text(getattr(R, "IDS_" + name), language).split())
                    with self.subTest(lang=lang, page=page, label=label):
                        self.assertTrue(label in text, "label not named: %r" % label)

    def test_each_language_states_the_facts(self):
        for lang in LANGUAGES:
            text = " ".join(parse(HELP / lang / page).visible_text() for page in pages(lang))
            for fact in FACTS:
                with self.subTest(lang=lang, fact=fact):
                    self.assertTrue(fact in text, "not stated: %r" % fact)


def check_chm(case, lang, data):
    """The built file of lang: a CHM of the language with every page in its
    directory (the directory lists the names as plain text)."""
    case.assertEqual(data[:4], b"ITSF", "no CHM header")
    case.assertEqual(int.from_bytes(data[20:24], "little"), LOCALE_IDS[lang])
    for name in sorted(source_names(lang)):
        if name.endswith(".hhp"):
            continue
        case.assertIn(("/" + name).encode("ascii"), data, "%s is not in the file" % name)


class HelpBuild(unittest.TestCase):
    """Both help files built from the sources into a temporary folder."""

    @classmethod
    def setUpClass(cls):
        cls.folder = Path(tempfile.mkdtemp(prefix="crib-help-"))
        cls.runs = {lang: build(lang, cls.folder / chm) for lang, chm in LANGUAGES.items()}

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.folder, ignore_errors=True)

    def test_chmcmd_is_there(self):
        self.assertTrue(shutil.which("chmcmd"), "chmcmd is missing (Debian package fp-utils)")

    def test_both_files_build_quietly_with_every_page(self):
        for lang, chm in LANGUAGES.items():
            with self.subTest(lang=lang):
                run = self.runs[lang]
                self.assertEqual(run.returncode, 0, run.stdout)
                self.assertEqual(run.stdout, "", "a successful build prints nothing")
                check_chm(self, lang, (self.folder / chm).read_bytes())

    def test_the_same_sources_give_the_same_bytes(self):
        for lang, chm in LANGUAGES.items():
            with self.subTest(lang=lang):
                again = self.folder / ("again-" + chm)
                run = build(lang, again)
                self.assertEqual(run.returncode, 0, run.stdout)
                self.assertEqual(again.read_bytes(), (self.folder / chm).read_bytes())

    def test_a_missing_page_fails_the_build_and_writes_nothing(self):
        source = self.folder / "broken"
        shutil.copytree(HELP / "de", source)
        hhp = next(source.glob("*.hhp"))
        hhp.write_text(hhp.read_text(encoding="ascii").replace(
            "[FILES]\n", "[FILES]\nnot-there.htm\n"), encoding="ascii")
        output = self.folder / "broken.chm"
        run = build("de", output, source)
        self.assertNotEqual(run.returncode, 0)
        self.assertIn("not-there.htm", run.stdout)
        self.assertFalse(output.exists())

    def test_a_missing_compiler_fails_the_build(self):
        output = self.folder / "nocompiler.chm"
        run = subprocess.run([sys.executable, str(BUILD_CHM), "--chmcmd", str(self.folder / "no-chmcmd"),
                              str(HELP / "en"), str(output)],
                             stdout=subprocess.PIPE, stderr=subprocess.STDOUT, universal_newlines=True)
        self.assertNotEqual(run.returncode, 0)
        self.assertFalse(output.exists())


class HelpInBuildFolders(unittest.TestCase):
    """The help files beside Cribwatch.exe in the Windows build folders that
    the environment names, where they have been built."""

    def test_the_build_folders_hold_both_files(self):
        folders = [os.environ.get(v) for v in ("CRIB_I686_BUILD", "CRIB_X64_BUILD")]
        folders = [Path(f) for f in folders if f and (Path(f) / "Cribwatch.exe").is_file()]
        if not folders:
            self.skipTest("no Windows build with Cribwatch.exe named in CRIB_I686_BUILD or CRIB_X64_BUILD")
        for folder in folders:
            for lang, chm in LANGUAGES.items():
                with self.subTest(folder=str(folder), lang=lang):
                    path = folder / chm
                    self.assertTrue(path.is_file(), "%s is missing beside Cribwatch.exe" % chm)
                    check_chm(self, lang, path.read_bytes())


if __name__ == "__main__":
    unittest.main()
