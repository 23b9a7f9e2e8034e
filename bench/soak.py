"""The compressed night: Cribwatch.exe monitors a generated night (calm
noises and bursts of crying) for half an hour or more under Wine, with one
peer taking the calls, and the calls it places are held against the
program's own alarm logic run natively over the same sound file.

    python3 bench/soak.py --build BUILD_DIR --peer phone|modem --night NIGHT.wav
                          --timeline NIGHT.json --model SOAK_MODEL [--procinfo EXE]
                          [--work DIR] [--sample-seconds S]

The night and the model are made by bench/run-soak.sh. Exit code 0 when
every due call came within one tick of the model and none in a calm
stretch, 1 when not (or when the program crashed or did not work), 2 on a
bad command line. Memory, handles and threads are printed with a verdict
but never fail the run.

How the two clocks meet. The peer's record of each call (the softphone's
first message, the modem's dial command) is timed on this process's
monotonic clock. File time 0 is the first sample of the night. The model
gives each call as the file time of its tick; a run has one constant offset
between the two (start of playback, the sound path's latency), which is
first taken from the opening cry's call and then set to the median
difference over the calls that the level decides. Three phases of a run are
not visible from outside and are fixed for the whole run: the buffer grid
against the file, the tick grid against the buffers, and the once-a-second
step against Start. The model is run for all of them and the best fitting
combination is taken (see bench/soak_model.cpp).

What counts as on time. A call that the level decides (the alarm level
reaching the calling threshold) lies at the model's tick or at a
neighbouring one: the difference, rounded to whole ticks, is at most 1. A
retry (the countdown running out while it is still loud) comes on the tick
the countdown ends, 591..600 ticks after the call before it; it is checked
against the placed call before it, within one tick, because a tick that the
platform drops under load (timer messages are not queued up) shifts every
later once-a-second step. The program's protocol (one line per
once-a-second step) tells how many ticks were dropped.
"""

import argparse
import json
import os
import statistics
import subprocess
import sys
import threading
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
REPO = HERE.parent

TICK = 0.1
# After a burst the alarm level needs 20 s to fall from 1 to 0 (200 quiet
# ticks): a call in that time still belongs to the burst. From then on until
# the next burst the room is calm.
CALM_AFTER_BURST = 20.0
CALL_NUMBER = "12"
REACTION = "75,40,30"     # full scale 7875, microphone threshold 0.40, calling threshold 0.30
CALLING_DELAY = 1         # minutes
MODEM_PORT = 3
TAIL_SECONDS = 40.0       # of silence after the night, in the run and in the model


def parse_args(argv):
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--build", required=True)
    ap.add_argument("--peer", choices=("phone", "modem"), required=True)
    ap.add_argument("--night", required=True)
    ap.add_argument("--timeline", required=True)
    ap.add_argument("--model", required=True, help="the native model (soak_model)")
    ap.add_argument("--procinfo", help="procinfo.exe (handles, commit); skipped when absent")
    ap.add_argument("--work", help="folder for the measured calls and the model's answer")
    ap.add_argument("--sample-seconds", type=float, default=60.0)
    return ap.parse_args(argv)


OPTS = parse_args(sys.argv[1:])
os.environ["CRIB_BUILD_DIR"] = str(Path(OPTS.build).resolve())
sys.path.insert(0, str(REPO / "tests" / "wine"))

from modem import ScriptedModem  # noqa: E402
from resources import ENGLISH, GERMAN  # noqa: E402
from world import World, exe_path, growth, wait_until, windows_path  # noqa: E402
from cribbench import Bench, BenchFailure, say  # noqa: E402


def model_answer(night, reaction, max_calls, calls_file=None):
    args = [OPTS.model, str(night), "--reaction", reaction, "--delay", str(CALLING_DELAY),
            "--max-calls", str(max_calls), "--tail", str(TAIL_SECONDS)]
    if calls_file:
        args += ["--calls", str(calls_file)]
    out = subprocess.run(args, check=True, stdout=subprocess.PIPE, timeout=600).stdout
    return json.loads(out)


class CallWatch(threading.Thread):
    """Times every call as the peer records it: polls the peer's log every
    few milliseconds and notes the monotonic time at which each new call's
    first trace appeared."""

    def __init__(self, log, marker):
        super().__init__(daemon=True)
        self.log = Path(log)
        self.marker = marker
        self.times = []
        self._halt = threading.Event()

    def run(self):
        seen = 0
        while not self._halt.is_set():
            try:
                data = self.log.read_bytes()
            except FileNotFoundError:
                data = b""
            now = time.monotonic()
            count = data.count(self.marker)
            while seen < count:
                self.times.append(now)
                seen += 1
            time.sleep(0.004)

    def finish(self):
        self._halt.set()
        self.join(10)


class Sampler(threading.Thread):
    """Memory, handles and threads of the program, once every `period`."""

    def __init__(self, soak, period):
        super().__init__(daemon=True)
        self.soak = soak
        self.period = period
        self.samples = []
        self._halt = threading.Event()

    def take(self):
        try:
            self.samples.append(self.soak.sample(""))
        except OSError:
            pass

    def run(self):
        self.take()
        while not self._halt.wait(self.period):
            self.take()

    def finish(self):
        self._halt.set()
        self.join(120)
        self.take()


class Soak(Bench):
    def __init__(self, w, opts, timeline):
        super().__init__(w, opts)
        self.timeline = timeline
        self.work = Path(opts.work) if opts.work else w.dir / "soak"
        self.work.mkdir(parents=True, exist_ok=True)

    def run(self, max_calls):
        peer = self.opts.peer
        # The phone's run speaks German and the modem's English: the two
        # pictures of the night are the README's.
        language = GERMAN if peer == "phone" else ENGLISH
        profile = {"Reaction": REACTION, "Logging": "1", "Language": language}
        phone = modem = None
        try:
            if peer == "phone":
                log = self.work / "phone.log"
                profile["SoftPhone"] = "%s %s" % (windows_path(exe_path("fakephone")), windows_path(log))
                phone = self.start_phone(log)
                marker = b"CB_SETCURSEL"      # the first thing each call sends
            else:
                modem = ScriptedModem(self.w.add_com_port(MODEM_PORT), self.work)
                log = modem.log
                profile.update({"Connect": "2", "Modem": "%d,19200,ATD" % MODEM_PORT})
                marker = b"ATD %s\r" % CALL_NUMBER.encode()
            self.set_profile("%s,%d,%d" % (CALL_NUMBER, CALLING_DELAY, max_calls), profile)

            self.start_program()
            self.wait_ticking()
            if modem is not None:
                wait_until(lambda: modem.received().startswith(b"ATE0\r"), 30,
                           message="the modem port was not opened")
            self.set_monitoring(True)
            monitoring_from = time.monotonic()

            watch = CallWatch(log, marker)
            watch.start()
            sampler = Sampler(self, self.opts.sample_seconds)
            sampler.start()
            time.sleep(3.0)       # a few seconds of silence while monitoring
            t0 = time.monotonic()
            player = self.w.play(self.opts.night, wait=False)
            seconds = self.timeline["seconds"]
            next_note = 300.0
            while player.poll() is None:
                self.alive_check()
                elapsed = time.monotonic() - t0
                if elapsed > seconds + 120:
                    raise BenchFailure("the night did not end playing after %.0f s" % elapsed)
                if elapsed >= next_note:
                    say("  %s: %.0f of %.0f s played, %d calls so far" % (
                        peer, elapsed, seconds, len(watch.times)))
                    next_note += 300.0
                time.sleep(1.0)
            if player.returncode != 0:
                raise BenchFailure("paplay failed (exit code %s)" % player.returncode)
            played = time.monotonic() - t0
            time.sleep(TAIL_SECONDS)   # the model runs as far
            self.alive_check()
            watch.finish()
            sampler.finish()
            self.set_monitoring(False)
            monitored = time.monotonic() - monitoring_from
            self.exit_program()
            record = log.read_bytes()
            # The protocol has one line per once-a-second step (ten ticks).
            steps = sum(len(f.read_bytes().splitlines()) for f in (self.w.dir / "cwd").glob("*.log"))
            pictures = sorted((self.w.dir / "cwd").glob("*.png"))
            if pictures:
                picture = self.work / ("night-%s.png" % ("de" if language == GERMAN else "en"))
                picture.write_bytes(pictures[-1].read_bytes())
                say("  the run's picture: %s" % picture)
            else:
                say("  the run left no picture beside its protocol")
        finally:
            self.kill_program()
            if phone is not None:
                self.end_phone(phone)
            if modem is not None:
                modem.stop()
        return {"measured": [t - t0 for t in watch.times], "samples": sampler.samples, "played": played,
                "record": record, "monitored": monitored, "steps": steps}



def check_record(peer, record, calls):
    """Every call the peer saw is complete: the whole number and the dial."""
    if peer == "phone":
        dials = record.count(b"COMMAND 1006 ")
        digits = record.count(b"COMMAND 1009 ") + record.count(b"COMMAND 1010 ")
        ok = dials == calls and digits == 2 * calls
        return ok, "%d dial presses, %d digit presses for %d calls" % (dials, digits, calls)
    commands = record.count(b"ATD %s\r" % CALL_NUMBER.encode())
    return commands == calls, "%d dial commands for %d calls (after %r)" % (
        commands, calls, record[:5])


def in_calm(t, timeline):
    for b0, b1 in zip([None] + timeline["bursts"], timeline["bursts"] + [None]):
        lo = 0.0 if b0 is None else b0["end"] + CALM_AFTER_BURST
        hi = timeline["seconds"] + TAIL_SECONDS if b1 is None else b1["start"]
        if lo <= t < hi:
            return True
    return False


def report(peer, timeline, answer, run, max_calls):
    measured = run["measured"]
    samples = run["samples"]
    fit = answer["fit"]
    model = fit["model"]
    match = fit["match"]
    retry = fit["retry"]
    offset = fit["offset"]
    say("== %s: figures ==" % peer)
    say("  night: seed %d, %.1f min (played in %.1f s), %d bursts, %d cries, %d clock ticks, %d cars" % (
        timeline["seed"], timeline["seconds"] / 60, run["played"], len(timeline["bursts"]),
        timeline["events"]["cries"], timeline["events"]["clock"], timeline["events"]["cars"]))
    say("  settings: Reaction %s, calling delay %d min, at most %d calls" % (
        REACTION, CALLING_DELAY, max_calls))
    say("  alignment: offset %.3f s from file time to the peer's record (median over the calls that the "
        "level decides); buffer phase %d samples, tick phase %.3f s, once-a-second phase %d "
        "(%d of %d phase combinations fit as well)" % (
            offset, fit["p"], fit["theta"], fit["q"], fit["equally_good"], 64 * 10 * 10))
    lost = 10.0 * (run["monitored"] - run["steps"])
    say("  ticks: %d once-a-second steps in %.1f s of monitoring, so about %.0f of %.0f ticks were "
        "dropped (give or take 10)" % (run["steps"], run["monitored"], max(0.0, lost),
                                        10 * run["monitored"]))
    say("  model over all phases: %d .. %d calls" % (answer["fewest"], answer["most"]))
    # A call that the level decides must lie at the model's tick or next to
    # it. A retry comes on the tick the countdown runs out: 591..600 ticks
    # after the call before it (the countdown's 60 once-a-second steps, the
    # first 1..10 ticks away), checked against the placed call before it,
    # since every dropped tick shifts the once-a-second step.
    first = {"onset": 0, "retry": 0}
    on_time = {"onset": 0, "retry": 0}
    diffs = {"onset": [], "retry": []}
    lines = []
    late = 0
    previous = None
    low = CALLING_DELAY * 600 - 9
    high = CALLING_DELAY * 600
    for j, t in enumerate(model):
        kind = "retry" if retry[j] else "onset"
        first[kind] += 1
        i = match[j]
        if i < 0:
            lines.append("    %4d  %s model %8.3f s  MISSED" % (j + 1, kind, t))
            previous = None
            continue
        r = measured[i] - offset - t
        diffs[kind].append(r)
        if kind == "onset":
            ticks = int(round(abs(r) / TICK))
            good = ticks <= 1
            note = "%+5.0f ms" % (1000 * r)
        else:
            gap = None if previous is None else int(round((measured[i] - previous) / TICK))
            good = gap is not None and low - 1 <= gap <= high + 1
            note = "%+5.0f ms, %s ticks after the call before (countdown: %d..%d)" % (
                1000 * r, "?" if gap is None else gap, low, high)
        on_time[kind] += good
        late += not good
        lines.append("    %4d  %s model %8.3f s  placed %8.3f s  %s%s" % (
            j + 1, kind, t, measured[i] - offset, note, "" if good else "  OFF"))
        previous = measured[i]
    used = {i for i in match if i >= 0}
    extra = [measured[i] - offset for i in range(len(measured)) if i not in used]
    for t in extra:
        lines.append("          EXTRA placed %8.3f s%s" % (t, "  in a calm stretch" if in_calm(t, timeline) else ""))
    calm_calls = [m - offset for m in measured if in_calm(m - offset, timeline)]
    calm_model = [t for t in model if in_calm(t, timeline)]
    missed = sum(1 for i in match if i < 0)
    say("  calls (file time of the tick; difference = placed - model):")
    for line in lines:
        say(line)
    say("  calls expected %d (%d decided by the level, %d retries), placed %d, missed %d, extra %d" % (
        len(model), first["onset"], first["retry"], len(measured), missed, len(extra)))
    say("  on time: %d of %d level-decided calls within one tick of the model; %d of %d retries within "
        "one tick of the countdown" % (on_time["onset"], first["onset"], on_time["retry"], first["retry"]))
    for kind in ("onset", "retry"):
        d = diffs[kind]
        if d:
            ticks = [int(round(abs(v) / TICK)) for v in d]
            say("  %s difference placed - model: min %+.0f ms, median %+.0f ms, max %+.0f ms; whole ticks "
                "off: %s" % (kind, 1000 * min(d), 1000 * statistics.median(d), 1000 * max(d),
                             ", ".join("%d x %d" % (ticks.count(k), k) for k in sorted(set(ticks)))))
    say("  calls in a calm stretch: placed %d, model %d" % (len(calm_calls), len(calm_model)))
    complete, how = check_record(peer, run["record"], len(measured))
    say("  peer's record: %s" % how)

    say("  memory, handles, threads (%d samples, every %.0f s):" % (len(samples), OPTS.sample_seconds))
    flat = True
    for label, key, unit, allowed in (("rss_kib", "rss", "KiB", 1024), ("commit", "commit", "KiB", 1024),
                                      ("handles", "handles", "", 0), ("threads", "threads", "", 0)):
        vals = [s[key] for s in samples if s.get(key) is not None]
        if not vals:
            say("    %-8s n/a" % label)
            continue
        # Growth and trend after the first sample (warm-up), per hour.
        grew, slope = growth(samples, key, 1)
        steady = grew <= allowed
        flat = flat and steady
        say("    %-8s first %.0f, last %.0f, max %.0f %s; after warm-up %+.0f, trend %s%s" % (
            label, vals[0], vals[-1], max(vals), unit, grew,
            "n/a" if slope is None else "%+.1f %s/h" % (3600 * slope, unit or "per"),
            "" if steady else "  GREW"))
    say("  memory, handles, threads: %s" % ("flat" if flat else "NOT flat"))
    ok = missed == 0 and not extra and late == 0 and not calm_calls and complete
    say("  verdict: %s" % ("PASS" if ok else "FAIL"))
    return ok


def main():
    timeline = json.loads(Path(OPTS.timeline).read_text())
    say("Cribwatch soak with the %s: %.1f min night, build %s" % (
        "fake softphone" if OPTS.peer == "phone" else "scripted modem", timeline["seconds"] / 60,
        os.environ["CRIB_BUILD_DIR"]))
    # The cap on calls is set so that every phase of the model reaches it
    # before the night is over: the last bursts of the night then call no more.
    unlimited = model_answer(OPTS.night, REACTION, 1000000)
    max_calls = max(1, answer_cap(unlimited["fewest"]))
    t_start = time.monotonic()
    with World(sound=True) as w:
        soak = Soak(w, OPTS, timeline)
        try:
            run = soak.run(max_calls)
            measured = run["measured"]
            samples = run["samples"]
        except (BenchFailure, AssertionError) as e:
            say("FAILED (%s): %s" % (OPTS.peer, e))
            return 1
        work = soak.work
        calls_file = work / "calls.txt"
        calls_file.write_text("".join("%.4f\n" % t for t in measured))
        (work / "samples.json").write_text(json.dumps(samples))
        answer = model_answer(OPTS.night, REACTION, max_calls, calls_file)
        (work / "model.json").write_text(json.dumps(answer))
        ok = report(OPTS.peer, timeline, answer, run, max_calls)
    say("  (%s took %.0f s; load average now %s)" % (OPTS.peer, time.monotonic() - t_start,
                                                     " ".join("%.2f" % v for v in os.getloadavg())))
    return 0 if ok else 1


def answer_cap(fewest):
    return fewest - 2 if fewest > 4 else fewest + 5


if __name__ == "__main__":
    sys.exit(main())
