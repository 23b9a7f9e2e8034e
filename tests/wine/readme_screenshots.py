"""Makes the README's pictures of the main window, the settings dialog and
the calibration aid, in German and in English: docs/main-window-de.png,
docs/main-window-en.png, docs/settings-de.png, docs/settings-en.png,
docs/calibrate-de.png and docs/calibrate-en.png.

    CRIB_BUILD_DIR=build/<your i686 build> python3 tests/wine/readme_screenshots.py [OUTDIR]

Each picture comes from a fresh test world (its own Xvfb, Wine prefix and a
silent room microphone): Cribwatch starts with the default settings in the
language, runs for a few seconds so the clock shows, and the window is
captured from the screen, cropped to its rectangle and written as an
optimised PNG (ImageMagick); then the settings dialog is opened and captured
the same way, and so is the calibration aid once it has listened a minute to
a quiet room (soft noise played into the microphone). The program is then
ended through Exit."""

import os
import subprocess
import sys
import tempfile
import time
from pathlib import Path

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from resources import R  # noqa: E402
from sounds import sox_wav  # noqa: E402
from world import IDOK, IDYES, REPO, WM_SYSCOMMAND, World, wait_until  # noqa: E402

PICTURES = (("0", "de"), ("1", "en"))


def capture(w, window, target):
    """The window, cut out of a screenshot, as an optimised PNG; returns its
    width, height and the number of colours it shows."""
    with tempfile.TemporaryDirectory() as tmp:
        screen = Path(tmp) / "screen.png"
        w.screenshot(screen)
        r = w.driver.rect(window, "window")
        width, height = r["right"] - r["left"], r["bottom"] - r["top"]
        crop = "%dx%d+%d+%d" % (width, height, r["left"], r["top"])
        # The window holds fewer than 256 colours: a palette PNG keeps
        # every pixel and stays small.
        subprocess.run(["convert", str(screen), "-crop", crop, "+repage", "-strip",
                        "-define", "png:compression-level=9", "-define", "png:compression-filter=5",
                        "PNG8:" + str(target)], check=True)
        colours = subprocess.run(["identify", "-format", "%k", str(screen) + "[%s]" % crop],
                                 check=True, capture_output=True, text=True).stdout.strip()
    return width, height, colours


def capture_and_cancel(w, dialog, target):
    """A dialog's picture (see capture), then Cancel."""
    time.sleep(0.3)
    shot = (target,) + capture(w, dialog, target)
    w.driver.click_item(dialog, R.IDCANCEL)
    wait_until(lambda: not w.driver.exists(dialog))
    return shot


def shoot(language, suffix, out):
    with World(sound=True) as w:
        w.profile_set("Language", language)
        app = w.start_app()
        main = w.wait_main_window(app)
        d = w.driver
        # The clock shows from the first second on; wait for two steps so
        # the window has settled.
        wait_until(lambda: d.item_text(main, R.IDC_TIME) != "")
        shown = d.item_text(main, R.IDC_TIME)
        wait_until(lambda: d.item_text(main, R.IDC_TIME) != shown)
        time.sleep(0.3)
        target = out / ("main-window-%s.png" % suffix)
        shots = [(target,) + capture(w, main, target)]
        d.click_item(main, R.IDC_SETTINGS)
        dialog = w.wait_dialog(app, [R.IDC_CALL_NUMBER, R.IDC_COM_PORT], title=R.text(R.IDS_SETTINGS, language))
        shots.append(capture_and_cancel(w, dialog, out / ("settings-%s.png" % suffix)))
        w.play(sox_wav(w.dir / "room.wav", "synth", 75, "brownnoise", "vol", 0.05), wait=False)
        d.post(main, WM_SYSCOMMAND, R.IDM_CALIBRATE)
        dialog = w.wait_dialog(app, [R.IDC_CALIB_PROPOSAL], title=R.text(R.IDS_CALIBRATION_AID, language))
        wait_until(lambda: d.enabled(d.item(dialog, IDOK)), 90, 0.5, "no proposal after a minute")
        shots.append(capture_and_cancel(w, dialog, out / ("calibrate-%s.png" % suffix)))
        d.click_item(main, R.IDC_EXIT)
        box = w.wait_msgbox(app)
        w.answer_msgbox(box, IDYES)
        app.wait()
    return shots


def main():
    out = Path(sys.argv[1]) if len(sys.argv) > 1 else REPO / "docs"
    out.mkdir(parents=True, exist_ok=True)
    for language, suffix in PICTURES:
        for target, width, height, colours in shoot(language, suffix, out):
            print("%s: %dx%d, %s colours, %d bytes" % (target, width, height, colours, target.stat().st_size))
            if colours.isdigit() and int(colours) > 256:
                print("warning: more than 256 colours; the palette PNG reduced them", file=sys.stderr)


if __name__ == "__main__":
    main()
