"""Runs one Windows program of the build inside a fresh test world and
passes on its output and exit code. Used by ctest for wintests.exe.

    python3 run_in_world.py [--sound] [--com-pair N M] [--fakephone] [--gtest]
                            [--timeout S] -- PROGRAM [ARGS...]

  --sound        the world has the PulseAudio room (a recording device)
  --com-pair N M COMn and COMm of the prefix are the two ends of one socat
                 pty pair; CRIB_TEST_COM_PORT=COMn, CRIB_TEST_COM_PEER=COMm
  --fakephone    CRIB_TEST_FAKEPHONE = the Windows path of fakephone.exe
  --gtest        fail when the program ran no test at all (a wrong filter)
"""

import argparse
import os
import re
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from world import World, WaitTimeout, exe_path, windows_path  # noqa: E402


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--sound", action="store_true")
    ap.add_argument("--com-pair", nargs=2, type=int, metavar=("N", "M"))
    ap.add_argument("--fakephone", action="store_true")
    ap.add_argument("--gtest", action="store_true")
    ap.add_argument("--timeout", type=float, default=600)
    ap.add_argument("program")
    ap.add_argument("args", nargs=argparse.REMAINDER)
    opts = ap.parse_args()

    env = {}
    with World(sound=opts.sound) as w:
        if opts.com_pair:
            n, m = opts.com_pair
            w.add_com_pair(n, m)
            env["CRIB_TEST_COM_PORT"] = "COM%d" % n
            env["CRIB_TEST_COM_PEER"] = "COM%d" % m
        if opts.fakephone and exe_path("fakephone").exists():
            env["CRIB_TEST_FAKEPHONE"] = windows_path(exe_path("fakephone"))
        with tempfile.TemporaryFile() as out:
            p = w.start_exe(opts.program, args=opts.args, env=env, stdout=out)
            try:
                code = p.wait(opts.timeout, allow_crash=True)
            except WaitTimeout:
                p.kill()
                out.seek(0)
                sys.stdout.write(out.read().decode("utf-8", "replace"))
                print("\nrun_in_world: %s did not end within %.0f s" % (opts.program, opts.timeout))
                return 1
            out.seek(0)
            text = out.read().decode("utf-8", "replace").replace("\r\n", "\n")
        sys.stdout.write(text)
        err = p.stderr()
        if err.strip():
            sys.stdout.write("--- stderr ---\n" + err)
        reason = p.crash_reason()
        if reason:
            print("run_in_world: CRASH: " + reason)
            return 1
        if opts.gtest:
            m = re.search(r"\[==========\] (\d+) tests? from .* ran\.", text)
            if not m or int(m.group(1)) == 0:
                print("run_in_world: no test ran")
                return 1
        return code


if __name__ == "__main__":
    sys.exit(main())
