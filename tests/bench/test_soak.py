"""The soak's own parts, natively: the generated night keeps its promises
(the calm stays quiet, every cry is loud, a seed gives the same file), and
the model built from the program's alarm logic places the calls where the
alarm rules put them and pairs a run's calls with its own."""

import json
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

HERE = Path(__file__).resolve().parent
REPO = HERE.parent.parent
BENCH = REPO / "bench"
sys.path.insert(0, str(BENCH))
sys.path.insert(0, str(REPO / "tests" / "wine"))

import soak_night  # noqa: E402
from sounds import read_wav, square_wave, write_wav  # noqa: E402

RATE = soak_night.RATE
FULL_SCALE = 7875.0          # sensitivity 75
MIC_PEAK = 0.40 * FULL_SCALE  # microphone threshold 40


class Night(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        d = Path(cls.tmp.name)
        cls.timeline = soak_night.write_night(5, 3.0, d / "a.wav", d / "a.json")
        soak_night.write_night(5, 3.0, d / "b.wav", d / "b.json")
        cls.a = d / "a.wav"
        cls.b = d / "b.wav"
        cls.samples = read_wav(cls.a)

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    def test_same_seed_same_night(self):
        self.assertEqual(self.a.read_bytes(), self.b.read_bytes())

    def test_calm_stays_below_the_microphone_threshold(self):
        self.assertLess(soak_night.CALM_PEAK, MIC_PEAK * 0.6)
        for lo, hi in self.timeline["calm"]:
            peak = max(abs(v) for v in self.samples[int(lo * RATE):int(hi * RATE)])
            self.assertLessEqual(peak, soak_night.CALM_PEAK, "calm stretch %.1f..%.1f s" % (lo, hi))

    def test_every_burst_is_loud_and_opens_with_the_marker_cry(self):
        bursts = self.timeline["bursts"]
        self.assertEqual("marker", bursts[0]["kind"])
        self.assertGreaterEqual(len(bursts), 2)
        for b in bursts:
            part = self.samples[int(b["start"] * RATE):int(b["end"] * RATE)]
            self.assertGreaterEqual(max(abs(v) for v in part), soak_night.CRY_PEAK_MIN * 0.95)


class Model(unittest.TestCase):
    """A loud square wave from 3.0 s to 73.0 s in a silent file."""

    ONSET = 3.0

    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        d = Path(cls.tmp.name)
        cls.model = d / "soak_model"
        # Built as run-soak.sh builds it, under the sanitizers.
        subprocess.run(["bash", "-c", 'source "$0" && soak_model "$@"', str(BENCH / "common.sh"),
                        str(cls.model), "-O1", "-g", "-fsanitize=address,undefined",
                        "-fno-sanitize-recover=all"], check=True)
        cls.wav = write_wav(d / "loud.wav", [0] * int(cls.ONSET * RATE) + square_wave(70, 12000)
                            + [0] * (5 * RATE))

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    def run_model(self, max_calls=100, calls=None):
        args = [str(self.model), str(self.wav), "--reaction", "75,40,30", "--delay", "1",
                "--max-calls", str(max_calls), "--tail", "2"]
        if calls is not None:
            path = Path(self.tmp.name) / "calls.txt"
            path.write_text("".join("%.4f\n" % t for t in calls))
            args += ["--calls", str(path)]
        return json.loads(subprocess.run(args, check=True, stdout=subprocess.PIPE).stdout)

    def test_the_fifteenth_loud_tick_calls_and_the_countdown_calls_again(self):
        # Phases of the sample run: buffers from file sample 0, ticks at
        # 0.055 + 0.1 k, the once-a-second step on ticks 9, 19, ...
        # The onset lies in buffer 16 (samples 32768..34815), which ends at
        # 3.158 s; the first tick that sees it is 3.255 s, the fifteenth
        # 4.655 s (tick 46). The countdown of 60 s then runs out on the 60th
        # once-a-second step after it, tick 49 + 590 = 639, at 63.955 s.
        answer = self.run_model()
        self.assertEqual([4.655, 63.955], answer["sample"])
        self.assertEqual(2, answer["fewest"])
        self.assertEqual(2, answer["most"])

    def test_the_cap_stops_the_second_call(self):
        self.assertEqual([4.655], self.run_model(max_calls=1)["sample"])

    def test_a_run_that_matches_the_model_fits_with_one_offset(self):
        fit = self.run_model(calls=[1000.0, 1059.3])["fit"]
        self.assertEqual(0, fit["unmatched"])
        self.assertEqual(0, fit["ticks_off"])
        self.assertLess(fit["worst"], 0.001)
        self.assertAlmostEqual(1000.0, fit["offset"] + fit["model"][0], places=3)

    def test_a_late_call_and_an_extra_call_show(self):
        # Every phase puts the retry 59.1 .. 60.0 s after the first call:
        # one 60.7 s after it is no retry of the model, nor is one more.
        fit = self.run_model(calls=[1000.0, 1060.7, 1065.0])["fit"]
        self.assertEqual([0, -1], fit["match"])
        self.assertEqual(3, fit["unmatched"])

if __name__ == "__main__":
    unittest.main()
