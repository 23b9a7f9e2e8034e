#!/usr/bin/env python3
"""Builds one help file (.chm) from the pages of one language with chmcmd.

    build_chm.py [--chmcmd PATH] [--shared FILE ...] SOURCE_DIR OUTPUT

SOURCE_DIR holds the pages, the table of contents and exactly one chmcmd
project (.hhp); the files named with --shared (the style sheet both languages
use) are put beside them. chmcmd runs in a scratch folder, so that nothing is
written into the sources; what it prints is shown only when it fails. The
build fails when chmcmd ends with an error, prints a warning or writes no file.

chmcmd stamps the time of day into two places of the file (the file header
and the #SYSTEM entry); both are set to zero, so the same sources always
give the same bytes. OUTPUT is replaced in one step."""

import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile

# The time stamp of the file header: a big-endian 32-bit number at offset 16.
HEADER_MAGIC = b"ITSF"
HEADER_STAMP = slice(16, 20)
# The first entry of #SYSTEM: code 10, length 4, the time stamp; the version
# text of entry 9 follows it.
SYSTEM_STAMP = re.compile(rb"\x0a\x00\x04\x00(....)\x09\x00..HHA Version", re.DOTALL)
# Lines of chmcmd's output that make the build fail.
BAD_OUTPUT = re.compile(r"^\s*(warning|error|fatal|an unhandled exception|can't find)", re.I | re.M)


class BuildError(Exception):
    pass


def project_file(source_dir):
    """The one .hhp of source_dir."""
    projects = sorted(name for name in os.listdir(source_dir) if name.endswith(".hhp"))
    if len(projects) != 1:
        raise BuildError("%s: expected one .hhp project, found %d" % (source_dir, len(projects)))
    return projects[0]


def compiled_name(hhp_path):
    """The file name the project's "Compiled file" line gives."""
    with open(hhp_path, encoding="ascii") as f:
        for line in f:
            key, sep, value = line.partition("=")
            if sep and key.strip().lower() == "compiled file":
                return os.path.basename(value.strip())
    raise BuildError("%s: no 'Compiled file=' line" % hhp_path)


def stage(source_dir, shared, folder):
    """Copies the pages of source_dir and the shared files into folder."""
    for name in sorted(os.listdir(source_dir)):
        path = os.path.join(source_dir, name)
        if os.path.isfile(path):
            shutil.copyfile(path, os.path.join(folder, name))
    for path in shared:
        shutil.copyfile(path, os.path.join(folder, os.path.basename(path)))


def clear_time_stamps(data):
    """The file with both of chmcmd's time stamps set to zero."""
    data = bytearray(data)
    if data[:4] != HEADER_MAGIC:
        raise BuildError("the written file is no CHM file (no ITSF header)")
    data[HEADER_STAMP] = bytes(4)
    matches = list(SYSTEM_STAMP.finditer(data))
    if len(matches) != 1:
        raise BuildError("found %d #SYSTEM time stamps, expected one" % len(matches))
    data[matches[0].start(1):matches[0].end(1)] = bytes(4)
    return bytes(data)


def build(source_dir, output, chmcmd="chmcmd", shared=()):
    """Builds output from source_dir; raises BuildError on any failure."""
    hhp = project_file(source_dir)
    name = compiled_name(os.path.join(source_dir, hhp))
    with tempfile.TemporaryDirectory(prefix="chm-") as scratch:
        stage(source_dir, shared, scratch)
        try:
            run = subprocess.run([chmcmd, "--verbosity", "1", hhp], cwd=scratch,
                                 stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                 stderr=subprocess.STDOUT, universal_newlines=True,
                                 errors="replace", timeout=300)
        except (OSError, subprocess.TimeoutExpired) as e:
            raise BuildError("cannot run %s: %s" % (chmcmd, e))
        written = os.path.join(scratch, name)
        problem = None
        if run.returncode != 0:
            problem = "chmcmd ended with code %d" % run.returncode
        elif BAD_OUTPUT.search(run.stdout):
            problem = "chmcmd reported a problem"
        elif not os.path.isfile(written):
            problem = "chmcmd wrote no %s" % name
        if problem:
            raise BuildError("%s (%s):\n%s" % (problem, os.path.join(source_dir, hhp), run.stdout.strip()))
        with open(written, "rb") as f:
            data = clear_time_stamps(f.read())
    folder = os.path.dirname(os.path.abspath(output))
    os.makedirs(folder, exist_ok=True)
    fd, temporary = tempfile.mkstemp(prefix=".chm-", dir=folder)
    try:
        with os.fdopen(fd, "wb") as f:
            f.write(data)
        os.chmod(temporary, 0o644)
        os.replace(temporary, output)
    except BaseException:
        if os.path.exists(temporary):
            os.unlink(temporary)
        raise


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--chmcmd", default="chmcmd", help="the chmcmd program")
    parser.add_argument("--shared", action="append", default=[], help="a file put beside the pages")
    parser.add_argument("source_dir")
    parser.add_argument("output")
    args = parser.parse_args(argv)
    try:
        build(args.source_dir, args.output, args.chmcmd, args.shared)
    except BuildError as e:
        print("build_chm: %s" % e, file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
