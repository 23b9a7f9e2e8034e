"""Benchmarks of Cribwatch under Wine. They print figures; speed never fails
them. A section fails (exit code 1) only when the program crashes or does
not work at all (no main window, Start refused, no call placed).

    python3 bench/cribbench.py --build BUILD_DIR [SECTION ...] [options]

Sections (all by default, in this order):
  quiet    (1) CPU share and memory over --quiet-seconds (60) with monitoring
           on, the window shown and a silent room microphone
  noise    (2) the same over --noise-seconds (600) while noise plays into
           the room; figures every minute and a memory-growth verdict
  cost     (3) the program's own cost: its CPU share with the window shown
           and minimised, then a bare recorder's (barerec.exe: the same
           recording, no window) in the same world, and the difference,
           in a silent room and with noise, --cost-seconds (60) per figure
  latency  (4) from the onset of a loud sound in the room to the dial
           button at the softphone, --runs (15) times; median and 95th
           percentile
  picture  (5) five runs with their protocol: from Stop to the run's
           picture on the disk, and the exit while monitoring, which
           writes the picture of the run it ends; median and maximum

With --before DIR the cost and latency sections measure DIR/Cribwatch.exe
(an older build, say) as well, one after the other in the same world, and
show both side by side.

The CPU share is the program's user + system time (from /proc/<pid>/stat of
the Linux process that runs Cribwatch.exe) over wall time, as a percentage
of one core. Memory is VmRSS of that process and, through procinfo.exe,
what Windows calls (GetProcessMemoryInfo) the working set and the pagefile
(commit) usage; GDI/USER object counts (GetGuiResources) are shown when the
platform provides them (Wine does not).
"""

import argparse
import json
import os
import random
import statistics
import sys
import threading
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
REPO = HERE.parent

# ----------------------------------------------------------------- set-up --

SECTIONS = ("quiet", "noise", "cost", "latency", "picture")
SECTION_ALIASES = {"1": "quiet", "2": "noise", "3": "cost", "4": "latency", "5": "picture", "idle": "quiet",
                   "cpu": "quiet", "soak": "noise", "load": "noise", "own": "cost", "alarm": "latency"}


def parse_args(argv):
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--build", required=True, help="the MinGW build folder (Cribwatch.exe, uidriver.exe, fakephone.exe)")
    ap.add_argument("--procinfo", help="procinfo.exe (Windows memory figures); skipped when absent")
    ap.add_argument("--quiet-seconds", type=float, default=60.0)
    ap.add_argument("--noise-seconds", type=float, default=600.0)
    ap.add_argument("--sample-seconds", type=float, default=60.0,
                    help="interval of the figures during the noise section")
    ap.add_argument("--cost-seconds", type=float, default=60.0,
                    help="length of each figure of the cost section")
    ap.add_argument("--runs", type=int, default=15, help="alarm latency runs (at least 15 advised)")
    ap.add_argument("--before", help="a second build folder whose Cribwatch.exe the cost and "
                    "latency sections measure too, for a side-by-side comparison")
    ap.add_argument("sections", nargs="*", help="quiet|noise|cost|latency|picture (or 1..5); default all")
    opts = ap.parse_args(argv)
    chosen = []
    for s in opts.sections or SECTIONS:
        name = SECTION_ALIASES.get(s.lower(), s.lower())
        if name not in SECTIONS:
            ap.error("unknown section %r (choose from %s)" % (s, ", ".join(SECTIONS)))
        if name not in chosen:
            chosen.append(name)
    opts.sections = [s for s in SECTIONS if s in chosen]
    if opts.runs < 1:
        ap.error("--runs must be at least 1")
    if opts.before is not None:
        before = Path(opts.before).resolve() / "Cribwatch.exe"
        if not before.is_file():
            ap.error("--before: no Cribwatch.exe in %s" % opts.before)
        opts.before = before
    return opts


# Imported by the soak (bench/soak.py), which names the build folder itself.
if __name__ == "__main__":
    OPTS = parse_args(sys.argv[1:])
    os.environ["CRIB_BUILD_DIR"] = str(Path(OPTS.build).resolve())
sys.path.insert(0, str(REPO / "tests" / "wine"))

from resources import ENGLISH, GERMAN, R  # noqa: E402
from sounds import sox_wav, square_wave, write_wav  # noqa: E402
from world import (DIALOG_CLASS, IDYES, TRAY_ICON_ID, TRAY_MESSAGE, WM_LBUTTONDOWN,  # noqa: E402
                   DriverError, World, exe_path, growth, is_red, stays, usage, wait_until, windows_path)

DIAL_BUTTON = 1006               # of the fake softphone (tests/wine/fakephone.cpp)
SOFTPHONE_TITLE = "1&1 Softphone"

BASE_PROFILE = {
    "Language": ENGLISH,
    "Connect": "1",           # SoftPhone
    "Reaction": "75,50,30",   # sensitivity, microphone threshold, calling threshold
    "Logging": "0",
}


def say(text=""):
    print(text, flush=True)


class BenchFailure(Exception):
    """The program crashed or did not work at all."""


# --------------------------------------------------------------- figures --

def share(a, b):
    """CPU share of one core in percent between two samples."""
    wall = b["t"] - a["t"]
    return 100.0 * (b["cpu"] - a["cpu"]) / wall if wall > 0 else float("nan")


def context_switches(pid):
    """Voluntary context switches of all threads of a process so far."""
    total = 0
    for tid in os.listdir("/proc/%d/task" % pid):
        try:
            with open("/proc/%d/task/%s/status" % (pid, tid)) as f:
                for line in f:
                    if line.startswith("voluntary_ctxt_switches:"):
                        total += int(line.split()[1])
        except OSError:
            pass   # a thread that just ended
    return total


class Cost:
    """One figure of the cost section."""

    def __init__(self, share, switches, load):
        self.share = share
        self.switches = switches
        self.load = load

    def describe(self):
        return "%5.2f %%, %4.0f switches/s (%s)" % (self.share, self.switches, self.load)


def load_text():
    return "load %s" % " ".join("%.2f" % v for v in os.getloadavg())


def percentile(values, p):
    """The p-th percentile by nearest rank: the smallest value that at
    least p % of the values do not exceed."""
    ordered = sorted(values)
    rank = max(1, -(-len(ordered) * p // 100))
    return ordered[int(rank) - 1]


def helper_shares(a, b):
    return {name: share(a["helpers"][name], b["helpers"][name])
            for name in sorted(set(a["helpers"]) & set(b["helpers"]))}


def fmt_kib(kib):
    return "n/a" if kib is None else "%.1f MiB" % (kib / 1024.0)


def fmt_bytes(b):
    return "n/a" if b is None else "%.1f MiB" % (b / 1048576.0)


def fmt_count(v):
    return "n/a" if v is None else str(v)


def describe_sample(s):
    win = s["win"] or {}
    parts = ["VmRSS %s" % fmt_kib(s["rss"]), "threads %s" % fmt_count(s["threads"])]
    if win:
        parts.append("working set %s" % fmt_bytes(win.get("working_set")))
        parts.append("commit %s" % fmt_bytes(win.get("pagefile")))
        if win.get("private"):
            parts.append("private %s" % fmt_bytes(win.get("private")))
        parts.append("GDI %s" % fmt_count(win.get("gdi")))
        parts.append("USER %s" % fmt_count(win.get("user")))
    return ", ".join(parts)


def write_noise_wav(path, seconds):
    """Pink noise whose loudness swells and fades every five seconds
    (tremolo 0.2 Hz, 90 %), so the level crosses the microphone threshold
    both ways and the meters change colour."""
    return sox_wav(path, "synth", "%.1f" % seconds, "pinknoise", "vol", 0.5, "tremolo", 0.2, 90)


# ---------------------------------------------------------- the bench --

class Bench:
    def __init__(self, w, opts):
        self.w = w
        self.d = w.driver
        self.opts = opts
        self.app = None
        self.main = None
        self.pid = None
        self.helpers = {}
        self.procinfo = Path(opts.procinfo) if opts.procinfo else None
        if self.procinfo is not None and not self.procinfo.exists():
            self.procinfo = None
        self.summary = []   # (section, figure, value)

    # -- the program --
    def set_profile(self, call_params, extra=None):
        self.w.profile_clear()
        values = dict(BASE_PROFILE)
        values["CallParams"] = call_params
        values.update(extra or {})
        for k, v in values.items():
            self.w.profile_set(k, v)

    def start_program(self, exe=None):
        self.app = self.w.start_exe(exe or "Cribwatch", name="Cribwatch")
        try:
            self.main = self.w.wait_main_window(self.app, timeout=60)
        except AssertionError as e:
            raise BenchFailure("the main window did not appear: %s" % e) from None
        self.pid = self.app.pid          # the Wine loader runs the program in its own process
        self.helpers = {name: pid for pid, comm in self.w.processes().items()
                        for name in ("wineserver", "Xvfb", "pulseaudio") if comm.startswith(name)}
        return self.main

    def start_phone(self, log):
        """The fake softphone, logging to `log`, once its window is open (it
        runs before the alarm, as it would at home)."""
        log.write_bytes(b"")
        phone = self.w.start_exe("fakephone", args=[windows_path(log)], name="fakephone")
        wait_until(lambda: b"WINDOW" in log.read_bytes(), 60, message="the fake softphone did not open")
        return phone

    def end_phone(self, phone):
        """Closes the softphone's window; kills it when it does not end."""
        try:
            if phone.alive():
                h = self.d.find(DIALOG_CLASS, SOFTPHONE_TITLE, phone.winpid or 0)
                if h:
                    self.d.close(h)
                phone.wait(15)
        except Exception:
            phone.kill()

    def alive_check(self):
        if not self.app.alive():
            reason = self.app.crash_reason()
            raise BenchFailure("Cribwatch ended during the benchmark (exit code %s)%s" % (
                self.app.exit_code, ": " + reason if reason else ""))

    def button_text(self):
        return self.d.item_text(self.main, R.IDC_START_STOP)

    def monitoring(self):
        return self.button_text() in (R.text(R.IDS_STOP, GERMAN), R.text(R.IDS_STOP, ENGLISH))

    def set_monitoring(self, on):
        if self.monitoring() == on:
            return
        self.d.click_item(self.main, R.IDC_START_STOP)
        try:
            wait_until(lambda: self.alive_check() or self.monitoring() == on, 15)
        except AssertionError:
            boxes = self.w.msgboxes(self.app)
            raise BenchFailure("Start/Stop did not switch monitoring %s (button %r, boxes %r)" % (
                "on" if on else "off", self.button_text(), [b.get("text") for b in boxes])) from None

    def wait_ticking(self):
        """The clock fields fill once a second: proof that the tick runs."""
        try:
            wait_until(lambda: self.alive_check() or self.d.item_text(self.main, R.IDC_DATE).strip(), 15)
        except AssertionError:
            raise BenchFailure("the clock never showed: the tick does not run") from None

    def exit_program(self):
        """Exit through the Exit button and the confirmation; the program
        must end cleanly (a crash at exit fails the section)."""
        if self.app is None:
            return
        app, self.app = self.app, None
        if not app.alive():
            app.check_no_crash()
            return
        self.d.click_item(self.main, R.IDC_EXIT)
        box = self.w.wait_msgbox(app, timeout=30)
        self.w.answer_msgbox(box, IDYES)
        code = app.wait(60)
        if code != 0:
            raise BenchFailure("Cribwatch ended with exit code %s" % code)

    def kill_program(self):
        if self.app is not None and self.app.alive():
            self.app.kill()
        self.app = None

    def windows_figures(self):
        if self.procinfo is None or self.app is None or not self.app.winpid:
            return None
        try:
            p = self.w.start_exe(self.procinfo, args=[self.app.winpid], name="procinfo", track=False)
            p.wait(60)
            return json.loads(p.stdout().strip().splitlines()[-1])
        except Exception as e:  # a missing figure is no failure of the program
            say("  (procinfo: %s)" % e)
            return None

    def sample(self, label):
        """The program's figures at one moment: usage() (CPU time, memory,
        threads), its Windows figures ("win"; "commit" in KiB and "handles"
        from them) and usage() of each of the world's helpers."""
        win = self.windows_figures() or {}   # first: it starts a Wine process
        s = usage(self.pid)
        pagefile, handles = win.get("pagefile"), win.get("system_handles")
        # The system handle table's count, else GetProcessHandleCount's
        # (which Wine answers with 0).
        s.update(label=label, win=win, helpers={}, commit=None if pagefile is None else pagefile / 1024.0,
                 handles=handles if handles is not None else win.get("handles") or None)
        for name, pid in self.helpers.items():
            try:
                s["helpers"][name] = usage(pid)
            except OSError:
                pass
        return s

    def add(self, section, figure, value):
        self.summary.append((section, figure, value))

    # -- sections --
    def watch_monitoring(self, exe=None):
        """Starts the program (a number, but at most 0 calls: no call),
        switches monitoring on and, after capture's first buffers, watches
        its microphone meter: returns the MeterWatch."""
        self.set_profile("0301234,1,0")
        self.start_program(exe)
        self.wait_ticking()
        self.set_monitoring(True)
        time.sleep(2.0)   # capture's first buffers, the first noise
        self.alive_check()
        watch = MeterWatch(self.d, self.d.item(self.main, R.IDC_MIC_THRESHOLD))
        watch.start()
        return watch

    def run_cpu_section(self, name, seconds, wav=None, interval=None):
        say("== %s: CPU share and memory over %.0f s, monitoring on, %s ==" % (
            name, seconds, "noise playing into the room" if wav else "silent room"))
        player = self.w.play(wav, wait=False) if wav is not None else None
        watch = None
        try:
            watch = self.watch_monitoring()
            first = self.sample("start")
            samples = [first]
            say("  Linux pid %d, Windows pid %s" % (self.pid, self.app.winpid))
            say("  %-7s %s" % ("start", describe_sample(first)))
            end = first["t"] + seconds
            step = interval or seconds
            while True:
                now = time.monotonic()
                if now >= end - 0.01:
                    break
                time.sleep(min(step, end - now))
                self.alive_check()
                if not self.monitoring():
                    raise BenchFailure("monitoring switched itself off")
                s = self.sample("%.0f s" % (time.monotonic() - first["t"]))
                prev = samples[-1]
                samples.append(s)
                say("  %-7s CPU %5.2f %% (last %.0f s), %s" % (
                    s["label"], share(prev, s), s["t"] - prev["t"], describe_sample(s)))
            watch.finish()
            say("  microphone meter, looked at once a second: %s" % watch.describe())
            watch.check(wav is not None)
            last = samples[-1]
            total = share(first, last)
            hs = helper_shares(first, last)
            say("  CPU share over %.0f s: %.2f %% of one core (%.2f s of CPU)" % (
                last["t"] - first["t"], total, last["cpu"] - first["cpu"]))
            if hs:
                say("  the world's helpers meanwhile: " + ", ".join(
                    "%s %.2f %%" % (k, v) for k, v in hs.items()))
            self.add(name, "CPU share (1 core)", "%.2f %%" % total)
            self.add(name, "VmRSS start -> end", "%s -> %s" % (fmt_kib(first["rss"]), fmt_kib(last["rss"])))
            fw, lw = first["win"], last["win"]
            if fw and lw:
                self.add(name, "commit start -> end", "%s -> %s" % (
                    fmt_bytes(fw.get("pagefile")), fmt_bytes(lw.get("pagefile"))))
            if fw and fw.get("gdi") is not None and lw.get("gdi") is not None:
                self.add(name, "GDI / USER objects", "%s/%s -> %s/%s" % (
                    fw["gdi"], fw["user"], lw["gdi"], lw["user"]))
            if len(samples) > 2:
                self.growth_verdict(name, samples)
            self.set_monitoring(False)
            self.exit_program()
        finally:
            if watch is not None:
                watch.finish()
            stop(player)
            self.kill_program()

    # -- the program's own cost above the recording floor --
    def programs(self):
        """(label, exe) of the programs that the comparisons measure, the
        older one first."""
        out = []
        if self.opts.before is not None:
            out.append(("before", self.opts.before))
        out.append(("this build", exe_path("Cribwatch")))
        return out

    def cpu_over(self, pid, seconds):
        """CPU share of one core of a process over the next `seconds`, and
        its threads' voluntary context switches per second (each wait for
        the Wine server, the X server or a timer is one: a count that the
        machine's load does not blur), with the load average."""
        a, s0 = usage(pid), context_switches(pid)
        time.sleep(seconds)
        s1, b = context_switches(pid), usage(pid)
        return Cost(share(a, b), (s1 - s0) / (b["t"] - a["t"]), load_text())

    def program_shares(self, exe, seconds, noise):
        """The program's CPU shares with monitoring on: window shown, then
        minimised (hidden in the tray)."""
        note = None
        watch = None
        try:
            watch = self.watch_monitoring(exe)
            shown = self.cpu_over(self.pid, seconds)
            watch.check(noise)
            self.alive_check()
            note, _ = self.w.minimise_behind_notepad(self.main)
            time.sleep(2.0)
            hidden = self.cpu_over(self.pid, seconds)
            self.alive_check()
            if not self.monitoring():
                raise BenchFailure("monitoring switched itself off")
            self.d.post(self.main, TRAY_MESSAGE, TRAY_ICON_ID, WM_LBUTTONDOWN)
            wait_until(lambda: self.alive_check() or self.d.visible(self.main), 30,
                       message="the tray icon did not bring the window back")
            self.set_monitoring(False)
            self.exit_program()
        finally:
            if watch is not None:
                watch.finish()
            if note is not None and note.alive():
                note.kill()
            self.kill_program()
        return shown, hidden

    def bare_share(self, seconds, noise):
        """A bare recorder's CPU share over `seconds`, in this world."""
        rec = self.w.start_exe(exe_path("barerec"), args=["%.1f" % (seconds + 4.0)], name="barerec")
        try:
            time.sleep(2.0)
            if not rec.alive():
                raise BenchFailure("barerec.exe ended at once: %s" % rec.stdout().strip())
            bare = self.cpu_over(rec.pid, seconds)
            code = rec.wait(60)
        finally:
            if rec.alive():
                rec.kill()
        out = rec.stdout().strip()
        fields = out.split()
        if code != 0 or len(fields) != 4 or fields[0] != "buffers":
            raise BenchFailure("barerec.exe did not record (exit code %s): %s" % (code, out))
        buffers, peak = int(fields[1]), int(fields[3])
        expected = (seconds + 4.0) * 11025 / 2048
        if buffers < expected * 0.8:
            raise BenchFailure("barerec.exe got %d buffers in %.0f s, expected about %.0f" % (
                buffers, seconds + 4.0, expected))
        if noise and peak < 1000:
            raise BenchFailure("barerec.exe did not hear the noise (peak %d)" % peak)
        return bare

    def run_cost_section(self, seconds):
        say("== cost: the program's CPU share above a bare recorder's (the same recording, "
            "no window), %.0f s per figure, monitoring on ==" % seconds)
        for noise in (False, True):
            room = "noise" if noise else "silence"
            say("  %s in the room:" % room)
            for label, exe in self.programs():
                player = None
                if noise:
                    wav = write_noise_wav(self.w.dir / "cost-noise.wav", 3 * seconds + 60)
                    player = self.w.play(wav, wait=False)
                try:
                    shown, hidden = self.program_shares(exe, seconds, noise)
                    bare = self.bare_share(seconds, noise)
                finally:
                    stop(player)
                say("    %-10s window shown  %s" % (label, shown.describe()))
                say("    %-10s minimised     %s" % ("", hidden.describe()))
                say("    %-10s bare recorder %s" % ("", bare.describe()))
                say("    %-10s own cost: shown %+.2f %% (%+.0f switches/s), minimised %+.2f %% "
                    "(%+.0f switches/s) of one core" % (
                        "", shown.share - bare.share, shown.switches - bare.switches,
                        hidden.share - bare.share, hidden.switches - bare.switches))
                self.add("cost", "%s, %s: shown / minimised / bare" % (room, label),
                         "%.2f / %.2f / %.2f %%" % (shown.share, hidden.share, bare.share))
                self.add("cost", "%s, %s: own cost shown / minimised" % (room, label),
                         "%+.2f / %+.2f %% (%+.0f / %+.0f switches/s)" % (
                             shown.share - bare.share, hidden.share - bare.share,
                             shown.switches - bare.switches, hidden.switches - bare.switches))

    def growth_verdict(self, name, samples):
        """Memory after the first interval (warm-up done) against the end."""
        base, last = samples[1], samples[-1]
        rss_growth, slope = growth(samples, "rss", 1)
        commit_growth = None
        if base["commit"] is not None and last["commit"] is not None:
            commit_growth = growth(samples, "commit", 1)[0]
        # A few pages come and go in any Wine process (heap arenas, X
        # caches); more than 256 KiB after the warm-up is worth a look.
        grew = rss_growth > 256 or (commit_growth is not None and commit_growth > 256)
        say("  memory from %s to the end (%.1f min): VmRSS %+d KiB, commit %s; VmRSS series (KiB): %s" % (
            base["label"], (last["t"] - base["t"]) / 60.0, rss_growth,
            "n/a" if commit_growth is None else "%+d KiB" % commit_growth,
            " ".join(str(s["rss"]) for s in samples)))
        verdict = "GREW" if grew else "steady"
        say("  memory verdict: %s (VmRSS trend after warm-up %s)" % (
            verdict, "n/a" if slope is None else "%+.1f KiB/min" % (60 * slope)))
        self.add(name, "memory after warm-up", "%s (VmRSS %+d KiB%s)" % (
            verdict, rss_growth, "" if commit_growth is None else ", commit %+d KiB" % commit_growth))
        gdi = [s["win"].get("gdi") for s in samples if s["win"]]
        if gdi and all(v is not None for v in gdi):
            say("  GDI objects: %s" % " ".join(str(v) for v in gdi))
        else:
            say("  GDI/USER object counts: not provided by the platform (GetGuiResources)")

    def run_latency_section(self):
        for label, exe in self.programs():
            self.latency_of(label, exe)

    def run_picture_section(self, runs=5):
        """Runs with their protocol: how long after Stop a run's picture is
        on the disk, and how long an exit while monitoring takes, which
        writes the second run's picture (both must be a moment)."""
        say("== picture: Stop -> the run's picture on the disk; exit while monitoring, %d runs ==" % runs)
        cwd = self.w.dir / "cwd"
        after_stop, exits = [], []
        for _ in range(runs):
            for f in cwd.glob("*.*"):
                f.unlink()
            self.set_profile("0301234,1,0", {"Logging": "1"})
            self.start_program()
            self.wait_ticking()
            self.set_monitoring(True)
            time.sleep(3.0)
            self.d.click_item(self.main, R.IDC_START_STOP)
            t0 = time.monotonic()
            wait_until(lambda: any(cwd.glob("*.png")), 30, 0.002, "no picture after the Stop")
            after_stop.append(time.monotonic() - t0)
            time.sleep(1.0)   # the second run gets a name of its own
            self.set_monitoring(True)
            time.sleep(3.0)
            app, self.app = self.app, None
            self.d.click_item(self.main, R.IDC_EXIT)
            self.w.answer_msgbox(self.w.wait_msgbox(app, timeout=30), IDYES)
            t0 = time.monotonic()
            if app.wait(60) != 0:
                raise BenchFailure("Cribwatch ended with an error")
            exits.append(time.monotonic() - t0)
            if len(list(cwd.glob("*.png"))) != 2:
                raise BenchFailure("the run ended by the exit left no picture")
        for figure, values in (("after Stop", after_stop), ("exit", exits)):
            text = "median %.0f ms, max %.0f ms" % (statistics.median(values) * 1000, max(values) * 1000)
            say("  %s: %s" % (figure, text))
            self.add("picture", figure, text)

    def latency_of(self, label, exe):
        runs = self.opts.runs
        say("== latency of %s: loud sound in the room -> dial button %d at the softphone, "
            "%d runs ==" % (label, DIAL_BUTTON, runs))
        tmp = self.w.dir / "bench"
        tmp.mkdir(exist_ok=True)
        wav = write_wav(tmp / "loud.wav", square_wave(6.0))
        phone_log = tmp / "phone.log"
        phone_exe = exe_path("fakephone")
        if not phone_exe.exists():
            raise BenchFailure("no fakephone.exe in %s" % phone_exe.parent)
        self.set_profile("0301234,1,10", {
            "SoftPhone": "%s %s" % (windows_path(phone_exe), windows_path(phone_log))})
        phone = self.start_phone(phone_log)
        try:
            self.start_program(exe)
            self.wait_ticking()
            meter = self.d.item(self.main, R.IDC_MIC_THRESHOLD)
            spot = self.find_meter_spot(meter, wav)
            say("  meter spot of slider %d: client (%d, %d)" % (R.IDC_MIC_THRESHOLD, spot[0], spot[1]))
            results = [self.latency_run(i + 1, meter, spot, wav, phone_log) for i in range(runs)]
            self.report_latency(label, results)
            self.set_monitoring(False)
            self.exit_program()
        finally:
            self.kill_program()
            self.end_phone(phone)

    def is_red(self, meter, spot):
        return is_red(self.d.pixel(meter, spot[0], spot[1]))

    def find_meter_spot(self, meter, wav):
        """Plays the loud sound with monitoring off and finds a pixel near the
        start of the microphone meter's channel that turns dark red: from then
        on that pixel tells when a tick has shown a level at or above the
        microphone threshold. (Also wakes the sound path before timing.)"""
        self.set_monitoring(False)
        player = self.w.play(wav, wait=False)
        try:
            def red_spot():
                self.alive_check()
                pic = self.d.grab(meter)
                reds = [(x, y) for y in range(pic.h) for x in range(pic.w) if is_red(pic.pixel(x, y))]
                if not reds:
                    return None
                ys = sorted({y for _, y in reds})
                y = ys[len(ys) // 2]
                xs = sorted(x for x, yy in reds if yy == y)
                # A few pixels into the channel: lit by any level above ~3 %.
                return (xs[0] + min(8, (xs[-1] - xs[0]) // 4), y)
            try:
                spot = wait_until(red_spot, 30, 0.1)
            except AssertionError:
                raise BenchFailure("the microphone meter never showed the loud sound "
                                   "(no level from the room)") from None
        finally:
            stop(player)
        return spot

    def latency_run(self, n, meter, spot, wav, phone_log):
        # Silence first: the meter must have left red for good, so the level
        # that Start meets is the silent room's.
        try:
            wait_until(lambda: self.alive_check() or stays(lambda: not self.is_red(meter, spot), 1.0, 0.02),
                       30, 0.05)
        except AssertionError:
            raise BenchFailure("the meter stayed red in a silent room") from None
        # Stop and Start: alarm level, call count and countdown back to 0.
        self.set_monitoring(False)
        self.set_monitoring(True)
        # A random pause, so the onset falls anywhere in the tick and buffer.
        time.sleep(random.uniform(0.4, 1.4))
        if self.is_red(meter, spot):
            raise BenchFailure("the meter turned red in a silent room")
        # The calling meter shows the alarm level: empty means below 0.01.
        lit = sum(self.d.meter(self.d.item(self.main, R.IDC_CALL_THRESHOLD)))
        if lit:
            raise BenchFailure("run %d: the alarm level was not 0 at the onset (%d pixels lit)" % (n, lit))
        offset = phone_log.stat().st_size
        marks = {}
        done = threading.Event()

        def watch():
            # One clock for everything: time.time() in this process. The log
            # line of the dial button is seen within one poll (~2 ms).
            while not done.is_set():
                try:
                    if "meter" not in marks and self.is_red(meter, spot):
                        marks["meter"] = time.time()
                except DriverError:
                    pass
                with open(phone_log, "rb") as f:
                    f.seek(offset)
                    text = f.read().decode("latin-1")
                if "COMMAND %d " % DIAL_BUTTON in text and "dial" not in marks:
                    marks["dial"] = time.time()
                    marks["log"] = text
                    return
                time.sleep(0.002)

        watcher = threading.Thread(target=watch, daemon=True)
        onset = time.time()
        player = self.w.play(wav, wait=False)
        watcher.start()
        watcher.join(20)
        done.set()
        watcher.join(5)
        stop(player)
        self.alive_check()
        if "dial" not in marks:
            raise BenchFailure("run %d: no dial button at the softphone within 20 s of the loud sound" % n)
        pressed = [int(line.split()[1]) for line in marks["log"].splitlines() if line.startswith("COMMAND ")]
        expected = [1019, 1011, 1019, 1009, 1010, 1011, 1012, DIAL_BUTTON]
        if pressed != expected:
            raise BenchFailure("run %d: the softphone saw buttons %r, expected %r" % (n, pressed, expected))
        latency = marks["dial"] - onset
        to_meter = marks["meter"] - onset if "meter" in marks else None
        say("  run %2d: dial after %.3f s; meter red after %s; meter -> dial %s" % (
            n, latency, "n/a" if to_meter is None else "%.3f s" % to_meter,
            "n/a" if to_meter is None else "%.3f s" % (latency - to_meter)))
        return latency, to_meter

    def report_latency(self, label, results):
        lat = [r[0] for r in results]
        met = [r[1] for r in results if r[1] is not None]
        rest = [r[0] - r[1] for r in results if r[1] is not None]
        design = 1.5
        say("  sound -> dial:  median %.3f s, min %.3f s, max %.3f s (%d runs)" % (
            statistics.median(lat), min(lat), max(lat), len(lat)))
        say("  design: 15 loud ticks (1.500 s) + up to one buffer (0.186 s) = 1.686 s; the first "
            "loud tick can follow the onset at once, so 1.400 .. 1.686 s plus the sound path")
        say("  median is %+.3f s from 1.500 s, max %+.3f s from 1.686 s" % (
            statistics.median(lat) - design, max(lat) - 1.686))
        say("  sound -> dial: 95th percentile %.3f s (%s)" % (percentile(lat, 95), load_text()))
        self.add("latency", "%s: sound -> dial median / p95 / max" % label, "%.3f / %.3f / %.3f s (%d runs)" % (
            statistics.median(lat), percentile(lat, 95), max(lat), len(lat)))
        self.add("latency", "%s: median - 1.5 s design" % label, "%+.3f s" % (statistics.median(lat) - design))
        if met:
            say("  sound -> meter red (room, sound server, Wine capture, first tick): "
                "median %.3f s, min %.3f s, max %.3f s" % (statistics.median(met), min(met), max(met)))
            say("  meter red -> dial (14 more ticks and the dial itself): median %.3f s, "
                "min %.3f s, max %.3f s (design 1.400 s)" % (
                    statistics.median(rest), min(rest), max(rest)))
            say("  sound -> dial less the measured sound -> meter: median %.3f s" % statistics.median(rest))
            self.add("latency", "%s: sound -> meter median" % label, "%.3f s" % statistics.median(met))
            self.add("latency", "%s: meter -> dial median / p95" % label, "%.3f / %.3f s (design 1.400 s)" % (
                statistics.median(rest), percentile(rest, 95)))




class MeterWatch(threading.Thread):
    """Looks at the microphone meter once a second while a section runs:
    dark red (level at or above the threshold), green (a level below it) or
    empty. Proof that the room's sound reaches the program, or that silence
    stays silent; reading the screen costs the program nothing."""

    def __init__(self, driver, meter, period=1.0):
        super().__init__(daemon=True)
        self.driver = driver
        self.meter = meter
        self.period = period
        self.counts = {"red": 0, "green": 0, "empty": 0}
        self._halt = threading.Event()

    def run(self):
        while not self._halt.wait(self.period):
            try:
                red, green = self.driver.meter(self.meter)
            except DriverError:
                continue
            kind = "red" if red > 2 else "green" if green > 2 else "empty"
            self.counts[kind] += 1

    def finish(self):
        self._halt.set()
        self.join(10)

    def check(self, noise):
        """Stops watching; fails when noise never showed as loud or the
        silent room did."""
        self.finish()
        if noise and self.counts["red"] == 0:
            raise BenchFailure("the noise never showed on the microphone meter")
        if not noise and self.counts["red"] != 0:
            raise BenchFailure("the microphone meter showed a loud level in a silent room")

    def describe(self):
        return "%d x at/above the threshold (dark red), %d x below it (green), %d x empty" % (
            self.counts["red"], self.counts["green"], self.counts["empty"])


def stop(player):
    """Ends a sound still playing (a Popen of World.play)."""
    if player is not None and player.poll() is None:
        player.terminate()
        player.wait(10)


def main():
    opts = OPTS
    say("Cribwatch benchmarks: %s; build %s" % (", ".join(opts.sections), os.environ["CRIB_BUILD_DIR"]))
    say("host: %d CPUs, load average %s at start" % (
        os.cpu_count() or 0, " ".join("%.2f" % v for v in os.getloadavg())))
    failures = []
    started = time.monotonic()
    summary = []
    with World(sound=True) as w:
        bench = Bench(w, opts)
        if bench.procinfo is None:
            say("(no procinfo.exe: Windows memory figures are skipped)")
        for section in opts.sections:
            t0 = time.monotonic()
            try:
                if section == "quiet":
                    bench.run_cpu_section("quiet", opts.quiet_seconds)
                elif section == "noise":
                    wav = write_noise_wav(w.dir / "noise.wav", opts.noise_seconds + 30)
                    bench.run_cpu_section("noise", opts.noise_seconds, wav, opts.sample_seconds)
                elif section == "cost":
                    bench.run_cost_section(opts.cost_seconds)
                elif section == "latency":
                    bench.run_latency_section()
                elif section == "picture":
                    bench.run_picture_section()
            except (BenchFailure, AssertionError, DriverError) as e:
                failures.append((section, str(e)))
                say("  FAILED: %s" % e)
                bench.add(section, "result", "FAILED")
                bench.kill_program()
            say("  (%s took %.0f s)" % (section, time.monotonic() - t0))
            say()
        summary = bench.summary
    say("== summary (%.0f s in all; load average now %s) ==" % (
        time.monotonic() - started, " ".join("%.2f" % v for v in os.getloadavg())))
    width = max([len(s) + len(f) + 3 for s, f, _ in summary] + [20])
    for section, figure, value in summary:
        say("  %-*s %s" % (width, "%s: %s" % (section, figure), value))
    for section, why in failures:
        say("FAILED %s: %s" % (section, why))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
