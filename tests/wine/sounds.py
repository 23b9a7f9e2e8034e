"""Sound files for the room (Python 3, stdlib and sox): mono, 16 bit, by
default at 11025 Hz, the program's own recording format, so that a sample
written is the sample the program reads.

    from sounds import RATE, read_wav, square_wave, sox_wav, write_wav

    write_wav(path, square_wave(6.0))          # six loud seconds
    sox_wav(path, "synth", 1, "sine", 1000)    # any sox effect chain
"""

import subprocess
import sys
import wave
from array import array
from collections.abc import Iterator

RATE = 11025


def write_wav(path, samples, rate=RATE):
    """A WAV holding exactly these samples: a sequence of ints, or an
    iterator of such sequences (a long file, written as they come)."""
    with wave.open(str(path), "wb") as w:
        w.setnchannels(1)
        w.setsampwidth(2)
        w.setframerate(rate)
        for chunk in samples if isinstance(samples, Iterator) else [samples]:
            pcm = array("h", chunk)
            if sys.byteorder != "little":
                pcm.byteswap()
            w.writeframes(pcm.tobytes())
    return path


def read_wav(path):
    """The samples of a 16-bit mono WAV, as an array("h")."""
    with wave.open(str(path), "rb") as w:
        data = array("h", w.readframes(w.getnframes()))
    if sys.byteorder != "little":
        data.byteswap()
    return data


def square_wave(seconds, amplitude=24000, half_period=5):
    """A loud square wave, at full amplitude from its very first sample (a
    sine would start at zero): about 1.1 kHz with the default half period."""
    one = [amplitude] * half_period + [-amplitude] * half_period
    n = int(seconds * RATE)
    return (one * (n // len(one) + 1))[:n]


def sox_wav(path, *effects):
    """A WAV made by sox in the room's format, without dither (so that
    digital silence stays all zero)."""
    subprocess.run(["sox", "-D", "-n", "-r", str(RATE), "-c", "1", "-b", "16", "-e", "signed-integer",
                    str(path)] + [str(e) for e in effects], check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    return path
