"""The set-up scripts on both kinds of x86-64 host: whether the host runs
32-bit code, which Wine loader and which build run where, and how the i686
Wine tests are registered and counted where no 32-bit code runs.

The other kind of host is made with no32.py (32-bit code is killed at its
first system call), or, where the kernel takes no seccomp filter, with the
scripts' variable CRIB_NO_32BIT=1."""

import json
import os
import re
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

HERE = Path(__file__).resolve().parent
REPO = HERE.parent.parent
WINE_ENV = REPO / "scripts" / "wine-env.sh"


def _seccomp_works():
    r = subprocess.run([sys.executable, str(HERE / "no32.py"), "true"],
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return r.returncode == 0


SECCOMP = _seccomp_works()


def run(args, no_32bit=None):
    """Runs a command; no_32bit: "filter" (no32.py), "variable"
    (CRIB_NO_32BIT=1), or "either" (the filter where the kernel takes it)."""
    e = {k: v for k, v in os.environ.items() if k != "CRIB_NO_32BIT"}
    if no_32bit == "either":
        no_32bit = "filter" if SECCOMP else "variable"
    if no_32bit == "filter":
        args = [sys.executable, str(HERE / "no32.py")] + list(args)
    elif no_32bit == "variable":
        e["CRIB_NO_32BIT"] = "1"
    return subprocess.run(args, env=e, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)


def wine_env(*args, **kw):
    return run(["bash", str(WINE_ENV)] + list(args), **kw)


def elf_class(path):
    with open(path, "rb") as f:
        head = f.read(5)
    assert head[:4] == b"\x7fELF", path
    return head[4]  # 1: 32-bit, 2: 64-bit


class Detection(unittest.TestCase):
    def test_the_answer_is_what_32bit_code_does_here(self):
        with tempfile.TemporaryDirectory() as d:
            plain = wine_env("can-run-32bit", d)
            self.assertEqual(os.listdir(d), [], "the probe is removed again")
        self.assertIn(plain.returncode, (0, 1), plain.stderr)
        # Checked independently: does the 32-bit Wine loader itself run?
        loader = wine_env("loader", "win32").stdout.strip()
        loader_runs = subprocess.run([loader, "--version"], stdout=subprocess.DEVNULL,
                                     stderr=subprocess.DEVNULL).returncode == 0
        self.assertEqual(loader_runs, plain.returncode == 0, plain.stdout)
        self.assertEqual("yes" if loader_runs else "no:", plain.stdout.split(" ")[0].strip())

        forced = wine_env("can-run-32bit", no_32bit="variable")
        self.assertEqual((1, "no: CRIB_NO_32BIT is set\n"), (forced.returncode, forced.stdout))
        if SECCOMP:
            filtered = wine_env("can-run-32bit", no_32bit="filter")
            self.assertEqual(1, filtered.returncode)
            self.assertRegex(filtered.stdout, r"^no: a 32-bit test program did not run: .+\n$")
            # 64-bit code still runs there, the 64-bit loader among it.
            self.assertEqual(0, run([wine_env("loader", "win64").stdout.strip(), "--version"],
                                    no_32bit="filter").returncode)

    def test_loader_and_build_for_each_kind_of_host(self):
        for arch, bits in (("win32", 1), ("win64", 2)):
            r = wine_env("loader", arch)
            self.assertEqual(0, r.returncode, r.stderr)
            self.assertEqual(bits, elf_class(r.stdout.strip()), arch)
        self.assertEqual(2, wine_env("loader", "win16").returncode)

        can = wine_env("can-run-32bit").returncode == 0
        plain = wine_env("run-arch")
        self.assertEqual("i686\n" if can else "x86_64\n", plain.stdout)
        for how in ("variable", "filter") if SECCOMP else ("variable",):
            r = wine_env("run-arch", no_32bit=how)
            self.assertEqual("x86_64\n", r.stdout, how)
            lines = r.stderr.splitlines()
            self.assertEqual(1, len(lines), r.stderr)
            self.assertIn("runs no 32-bit code", lines[0])
            self.assertIn("x86_64", lines[0])


class Registration(unittest.TestCase):
    """The test registration of the native build, configured as on a host
    without 32-bit code (the Windows builds need not exist for it)."""

    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        cls.build = Path(cls.tmp.name) / "native"
        r = run(["cmake", "-S", str(REPO), "-B", str(cls.build), "-DCRIB_SANITIZE=OFF",
                 "-DCRIB_I686_BUILD=" + cls.tmp.name + "/i686",
                 "-DCRIB_X64_BUILD=" + cls.tmp.name + "/x86_64"], no_32bit="either")
        if r.returncode != 0:
            raise AssertionError("cmake failed:\n" + r.stdout + r.stderr)
        shown = run(["ctest", "--test-dir", str(cls.build), "--show-only=json-v1"])
        cls.tests = {t["name"]: {p["name"]: p["value"] for p in t.get("properties", [])}
                     for t in json.loads(shown.stdout)["tests"]}

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    def arch_tests(self, arch):
        return {n: p for n, p in self.tests.items() if n.startswith("wine.%s." % arch)}

    def test_i686_tests_are_skipped_and_x86_64_tests_run(self):
        i686, x64 = self.arch_tests("i686"), self.arch_tests("x86_64")
        # The same tests for both, and the tests of the 32-bit release for
        # i686 only; none of the i686 ones is dropped.
        i686_names = {n.split(".", 2)[2] for n in i686}
        x64_names = {n.split(".", 2)[2] for n in x64}
        self.assertLess(x64_names, i686_names)
        for name in i686_names - x64_names:
            self.assertTrue(name.startswith("e2e.test_release."), name)
        self.assertGreater(len(i686), 3)
        for name, props in i686.items():
            self.assertEqual(77, props.get("SKIP_RETURN_CODE"), name)
            self.assertNotIn("FIXTURES_REQUIRED", props, name)
        for name, props in x64.items():
            self.assertNotIn("SKIP_RETURN_CODE", props, name)
            if not name.endswith(".template"):
                self.assertIn("CRIB_WINE_ARCH=win64", props["ENVIRONMENT"], name)
        self.assertTrue((self.build / "host-32bit.txt").read_text().startswith("no: "))

    def test_the_summary_counts_them_as_skipped_and_says_why(self):
        r = run(["bash", str(REPO / "scripts" / "run-tests.sh"), str(self.build), "-L", "i686"])
        self.assertEqual(0, r.returncode, r.stdout[-2000:])
        lines = r.stdout.strip().splitlines()
        n = len(self.arch_tests("i686"))
        self.assertEqual("0 passed, 0 failed, %d skipped" % n, lines[-1])
        self.assertRegex(lines[-2], r"^Skipped: the i686 Wine tests, because this host runs no 32-bit code \(.+\)\.$")
        self.assertEqual(n, len(re.findall(r"\*\*\*Skipped", r.stdout)))


if __name__ == "__main__":
    unittest.main()
