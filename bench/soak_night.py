#!/usr/bin/env python3
"""A compressed night for the soak: calm noises of a child's room (mains
hum, rain, a ticking clock, passing traffic) and bursts of crying, far
denser than a real night. Everything is synthesised here from a seed, so the
same seed gives the same file, sample for sample.

    soak_night.py --seed N --minutes M --wav night.wav --timeline night.json

The file is 16-bit mono at 11025 Hz, the rate the program records at. The
timeline lists the bursts (start and end in seconds of the file) and the
calm stretches between them; only bursts hold sounds louder than
CALM_PEAK, and every cry is at least CRY_PEAK_MIN loud, so with the soak's
settings (full scale 7875, microphone threshold 0.40, i.e. a peak of 3150)
the calm never counts as loud and a cry always does.
"""

import argparse
import json
import math
import random
import sys
from array import array
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "tests" / "wine"))
from sounds import RATE, write_wav  # noqa: E402

CHUNK = RATE * 10                 # samples rendered at a time

# Loudness bounds (peak sample values) of the calm sounds and the cries.
HUM_PEAK = 150
RAIN_PEAK = 400
CLOCK_PEAK = 450
TRAFFIC_PEAK = 800
CALM_PEAK = HUM_PEAK + RAIN_PEAK + CLOCK_PEAK + TRAFFIC_PEAK   # 1800
CRY_PEAK_MIN = 6500
CRY_PEAK_MAX = 15000

# Stretches, in seconds.
LEAD_IN = 20.0                    # calm before the first burst
TAIL = 30.0                       # calm after the last burst
CALM_MIN, CALM_MAX = 25.0, 70.0


# ------------------------------------------------------------ sounds --

def cry_table(size=1024):
    """One period of a cry's timbre: a fundamental with falling harmonics,
    scaled to a peak of exactly 1."""
    weights = (1.0, 0.55, 0.35, 0.2, 0.12)
    raw = [sum(w * math.sin(2 * math.pi * (h + 1) * i / size) for h, w in enumerate(weights))
           for i in range(size)]
    top = max(abs(v) for v in raw)
    return [v / top for v in raw]


CRY_TABLE = cry_table()


def render_cry(rng, seconds, peak):
    """A single cry: a harmonic tone around 400..550 Hz whose pitch rises and
    falls, with vibrato, an 8 ms attack and a 40 ms release."""
    n = max(1, int(seconds * RATE))
    f0 = rng.uniform(400.0, 550.0)
    bend = rng.uniform(0.05, 0.25)
    vib_rate = rng.uniform(4.5, 6.5)
    attack = int(0.008 * RATE)
    release = int(0.040 * RATE)
    table = CRY_TABLE
    size = len(table)
    out = array("f", bytes(4 * n))
    phase = 0.0
    two_pi = 2 * math.pi
    for i in range(n):
        t = i / RATE
        x = i / n
        f = f0 * (1.0 + bend * math.sin(math.pi * x)) * (1.0 + 0.03 * math.sin(two_pi * vib_rate * t))
        phase += f / RATE
        if phase >= 1.0:
            phase -= 1.0
        env = 1.0
        if i < attack:
            env = (i + 1) / attack
        elif i >= n - release:
            env = (n - i) / release
        out[i] = peak * env * (0.9 + 0.1 * math.sin(two_pi * 3.0 * t)) * table[int(phase * size) % size]
    return out


def render_clock(rng, low):
    """One tick (or the lower tock) of a mechanical clock: 4 ms of a decaying
    tone."""
    n = int(0.004 * RATE)
    f = 1400.0 if low else 2100.0
    return array("f", [CLOCK_PEAK * math.exp(-i / (n / 4.0)) * math.sin(2 * math.pi * f * i / RATE)
                       for i in range(n)])


def render_traffic(rng, seconds):
    """A car passing: low rumble that swells and fades (a raised sine)."""
    n = int(seconds * RATE)
    peak = rng.uniform(0.5, 1.0) * TRAFFIC_PEAK
    y1 = y2 = 0.0
    raw = array("f", bytes(4 * n))
    for i in range(n):
        y1 += 0.05 * (rng.uniform(-1.0, 1.0) - y1)
        y2 += 0.05 * (y1 - y2)
        raw[i] = y2
    top = max(max(raw), -min(raw)) or 1.0
    for i in range(n):
        raw[i] = raw[i] / top * peak * (0.5 - 0.5 * math.cos(2 * math.pi * i / n))
    return raw


# --------------------------------------------------------- the night --

def plan_bursts(rng, total):
    """Bursts of crying with calm stretches between them. Kinds: 'sob'
    (short cries and pauses), 'wail' (long crying, longer than a minute,
    with short breaths only), 'whimper' (a few short cries far apart, which
    may or may not be enough to call)."""
    bursts = []
    t = LEAD_IN
    first = True
    while True:
        if first:
            kind = "marker"        # a plain five-second cry opens the night
        else:
            kind = rng.choices(("sob", "wail", "whimper"), weights=(5, 2, 3))[0]
        if kind == "marker":
            cries = [(0.0, 5.0)]
        elif kind == "sob":
            cries = _cry_train(rng, rng.uniform(8.0, 30.0), (0.5, 2.0), (0.2, 1.2))
        elif kind == "wail":
            cries = _cry_train(rng, rng.uniform(65.0, 100.0), (2.0, 6.0), (0.15, 0.5))
        else:
            cries = _cry_train(rng, rng.uniform(4.0, 9.0), (0.3, 0.8), (1.5, 3.0))
        length = cries[-1][0] + cries[-1][1]
        if t + length + TAIL > total:
            break
        bursts.append({"kind": kind, "start": t, "end": t + length,
                       "cries": [(t + s, d) for s, d in cries]})
        t += length + rng.uniform(CALM_MIN, CALM_MAX)
        first = False
    return bursts


def _cry_train(rng, span, cry_range, gap_range):
    cries = []
    t = 0.0
    while t < span:
        d = rng.uniform(*cry_range)
        cries.append((t, d))
        t += d + rng.uniform(*gap_range)
    return cries


def plan_calm(rng, total):
    """Clock ticks every second, cars every 10..40 s, rain whose strength
    drifts every 10 s."""
    clock = [(k + 0.37, k % 2 == 1) for k in range(int(total))]
    cars = []
    t = rng.uniform(2.0, 10.0)
    while t < total - 10.0:
        cars.append((t, rng.uniform(3.0, 8.0)))
        t += rng.uniform(10.0, 40.0)
    rain = [rng.uniform(0.3, 1.0) for _ in range(int(total // 10) + 2)]
    return clock, cars, rain


def hum_table():
    """Two periods of 50 Hz (441 samples at 11025 Hz) with its third
    harmonic: the hum repeats exactly."""
    n = 441
    raw = [math.sin(2 * math.pi * 50 * i / RATE) + 0.4 * math.sin(2 * math.pi * 150 * i / RATE)
           for i in range(n)]
    top = max(abs(v) for v in raw)
    return [HUM_PEAK * v / top for v in raw]


def write_night(seed, minutes, wav_path, timeline_path):
    rng = random.Random(seed)
    total = minutes * 60.0
    n_total = int(total * RATE)
    bursts = plan_bursts(rng, total)
    clock, cars, rain = plan_calm(rng, total)

    # Every event as (first sample, renderer); rendered when first reached.
    events = []
    for b in bursts:
        for start, seconds in b["cries"]:
            peak = rng.uniform(CRY_PEAK_MIN, CRY_PEAK_MAX)
            sub = random.Random(rng.getrandbits(64))
            events.append((int(start * RATE), lambda s=sub, d=seconds, p=peak: render_cry(s, d, p)))
    for start, low in clock:
        events.append((int(start * RATE), lambda low=low: render_clock(None, low)))
    for start, seconds in cars:
        sub = random.Random(rng.getrandbits(64))
        events.append((int(start * RATE), lambda s=sub, d=seconds: render_traffic(s, d)))
    events.sort(key=lambda e: e[0])

    noise = random.Random(rng.getrandbits(64))

    def chunks():
        hum = hum_table()
        rain_y = 0.0
        active = []        # (first sample, samples)
        next_event = 0
        for base in range(0, n_total, CHUNK):
            n = min(CHUNK, n_total - base)
            buf = array("f", bytes(4 * n))
            # Calm bed: hum and rain.
            for i in range(n):
                k = base + i
                rain_y += 0.3 * (noise.uniform(-1.0, 1.0) - rain_y)
                buf[i] = hum[k % 441] + RAIN_PEAK * rain[k // (10 * RATE)] * rain_y
            # Events that reach into this chunk.
            while next_event < len(events) and events[next_event][0] < base + n:
                start, render = events[next_event]
                active.append((start, render()))
                next_event += 1
            still = []
            for start, samples in active:
                lo = max(start, base)
                hi = min(start + len(samples), base + n)
                for k in range(lo, hi):
                    buf[k - base] += samples[k - start]
                if start + len(samples) > base + n:
                    still.append((start, samples))
            active = still
            yield array("h", (max(-32767, min(32767, int(round(v)))) for v in buf))
    write_wav(wav_path, chunks())

    calm = []
    edge = 0.0
    for b in bursts:
        calm.append((edge, b["start"]))
        edge = b["end"]
    calm.append((edge, total))
    timeline = {
        "seed": seed, "rate": RATE, "seconds": total, "samples": n_total,
        "calm_peak_bound": CALM_PEAK, "cry_peak_min": CRY_PEAK_MIN,
        "bursts": [{"kind": b["kind"], "start": round(b["start"], 4), "end": round(b["end"], 4),
                    "cries": len(b["cries"])} for b in bursts],
        "calm": [(round(a, 4), round(b, 4)) for a, b in calm],
        "events": {"cries": sum(len(b["cries"]) for b in bursts), "clock": len(clock),
                   "cars": len(cars)},
    }
    with open(timeline_path, "w") as f:
        json.dump(timeline, f, indent=1)
    return timeline


def main(argv):
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--minutes", type=float, default=30.0)
    ap.add_argument("--wav", required=True)
    ap.add_argument("--timeline", required=True)
    opts = ap.parse_args(argv)
    if opts.minutes <= 1.5:
        ap.error("--minutes must be above 1.5")
    t = write_night(opts.seed, opts.minutes, opts.wav, opts.timeline)
    kinds = {}
    for b in t["bursts"]:
        kinds[b["kind"]] = kinds.get(b["kind"], 0) + 1
    print("night: seed %d, %.1f min, %d bursts (%s), %d cries, %d clock ticks, %d cars" % (
        t["seed"], t["seconds"] / 60.0, len(t["bursts"]),
        ", ".join("%d %s" % (v, k) for k, v in sorted(kinds.items())),
        t["events"]["cries"], t["events"]["clock"], t["events"]["cars"]))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
