#!/usr/bin/env python3
"""A scripted modem on the far end of a pseudo-terminal pair.

Every byte it receives is appended to the log file as it arrives. Each
command (bytes up to a carriage return) is answered according to --reply:

  ok       "OK\\r\\n" (the default)
  silent   nothing
  garbage  the garbage payload instead of an answer

The garbage payload is made of the kinds given with --garbage (comma list,
default "big,nul,lf"):

  big  9000 bytes without any line end
  nul  NUL bytes among text and line ends
  lf   lines ended by line feeds only

--garbage-at-start sends the payload once as soon as this end is open (before
the program opens its end, the pty pair may drop it);
SIGUSR1 sends it once at any time. SIGTERM or SIGINT ends the modem (exit 0).
--ready FILE is created once the port is open.

    modem.py --pty /tmp/x/ttyB --log /tmp/x/modem.log [--reply silent] ...

Tests and benchmarks start it through ScriptedModem(pty, folder, *options).
"""

import argparse
import errno
import os
import select
import signal
import subprocess
import sys
import termios
import time
import tty
from pathlib import Path

PAYLOADS = {
    "big": b"x" * 9000,
    "nul": b"\0\0OK\0\r\n\0RING\r\n\0",
    "lf": b"OK\nOK\nRING\n",
}


def garbage_payload(kinds):
    data = b""
    for kind in kinds.split(","):
        kind = kind.strip()
        if not kind:
            continue
        if kind not in PAYLOADS:
            raise SystemExit("modem.py: unknown garbage kind %r" % kind)
        data += PAYLOADS[kind]
    return data


class Modem:
    def __init__(self, args):
        self.reply = args.reply
        self.payload = garbage_payload(args.garbage)
        self.log = open(args.log, "ab", buffering=0)
        self.fd = os.open(args.pty, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
        try:
            tty.setraw(self.fd)
        except termios.error:
            pass
        self.outgoing = b""
        self.command = b""
        self.running = True
        self.send_payload_now = False

    def queue(self, data):
        self.outgoing += data

    def received(self, data):
        self.log.write(data)
        for byte in data:
            if byte == 13:
                self.answer(self.command)
                self.command = b""
            else:
                self.command += bytes([byte])

    def answer(self, command):
        if self.reply == "ok":
            self.queue(b"OK\r\n")
        elif self.reply == "garbage":
            self.queue(self.payload)

    def run(self):
        while self.running:
            if self.send_payload_now:
                self.send_payload_now = False
                self.queue(self.payload)
            wanted_out = [self.fd] if self.outgoing else []
            try:
                readable, writable, _ = select.select([self.fd], wanted_out, [], 0.1)
            except InterruptedError:
                continue
            if readable:
                try:
                    data = os.read(self.fd, 4096)
                except OSError as e:
                    if e.errno in (errno.EAGAIN, errno.EINTR):
                        data = None
                    elif e.errno == errno.EIO:
                        # The other end is not open (yet, or any more).
                        data = None
                        select.select([], [], [], 0.1)
                    else:
                        raise
                if data:
                    self.received(data)
            if writable and self.outgoing:
                try:
                    n = os.write(self.fd, self.outgoing)
                    self.outgoing = self.outgoing[n:]
                except OSError as e:
                    if e.errno not in (errno.EAGAIN, errno.EINTR, errno.EIO):
                        raise
        self.log.close()
        os.close(self.fd)


class ScriptedModem:
    """This modem on the far end of a COM port, started and ended by its PID;
    received() is everything the program sent it so far."""

    def __init__(self, pty, folder, *options):
        from world import wait_until   # the rig's; the modem itself runs without it
        self.log = Path(folder) / ("modem-%d.log" % time.monotonic_ns())
        ready = Path(str(self.log) + ".ready")
        self.log.write_bytes(b"")
        self.proc = subprocess.Popen(
            [sys.executable, os.path.abspath(__file__), "--pty", str(pty), "--log", str(self.log),
             "--ready", str(ready)] + list(options),
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        wait_until(lambda: ready.exists() or self.proc.poll() is not None, 30,
                   message="the modem did not open its port")
        if self.proc.poll() is not None:
            raise RuntimeError("modem.py ended: %s" % self.proc.stderr.read().decode())

    def received(self):
        return self.log.read_bytes()

    def signal_garbage(self):
        os.kill(self.proc.pid, signal.SIGUSR1)

    def stop(self):
        if self.proc.poll() is None:
            os.kill(self.proc.pid, signal.SIGTERM)
            try:
                self.proc.wait(10)
            except subprocess.TimeoutExpired:
                os.kill(self.proc.pid, signal.SIGKILL)
                self.proc.wait(10)
        if self.proc.stderr:
            self.proc.stderr.close()


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--pty", required=True, help="this modem's end of the pair")
    parser.add_argument("--log", required=True, help="file that gets every byte received")
    parser.add_argument("--reply", choices=("ok", "silent", "garbage"), default="ok")
    parser.add_argument("--garbage", default="big,nul,lf")
    parser.add_argument("--garbage-at-start", action="store_true")
    parser.add_argument("--ready", help="file created once the port is open")
    args = parser.parse_args()

    modem = Modem(args)

    def stop(signum, frame):
        modem.running = False

    def send_garbage(signum, frame):
        modem.send_payload_now = True

    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)
    signal.signal(signal.SIGUSR1, send_garbage)

    if args.garbage_at_start:
        modem.queue(modem.payload)
    if args.ready:
        with open(args.ready, "w") as f:
            f.write("%d\n" % os.getpid())
    modem.run()
    return 0


if __name__ == "__main__":
    sys.exit(main())
