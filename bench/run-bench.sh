#!/usr/bin/env bash
# Benchmarks of Cribwatch under Wine: CPU share and memory in a quiet room,
# the same over a longer run with noise, the program's own cost above a bare
# recorder, and the alarm latency from a loud sound to the softphone's dial
# button. They print figures and never fail on
# speed; they fail only when the program crashes or does not work at all.
#
#   bash bench/run-bench.sh BUILD_DIR [quiet|noise|cost|latency ...] [options]
#
# BUILD_DIR is the MinGW build folder (Cribwatch.exe, uidriver.exe,
# fakephone.exe, barerec.exe). Options (see bench/cribbench.py): --quiet-seconds S (60),
# --noise-seconds S (600), --sample-seconds S (60), --cost-seconds S (60),
# --runs N (15), --before OTHER_BUILD_DIR.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/common.sh"
[ $# -ge 1 ] || usage
build=$(cd "$1" && pwd)
shift
need_programs run-bench "$build" Cribwatch.exe uidriver.exe fakephone.exe barerec.exe

# procinfo.exe reads the Windows memory figures of the program; without it
# the benchmarks run on and skip those figures.
args=(--build "$build")
procinfo=$(procinfo run-bench "$build" "Windows memory figures")
[ -n "$procinfo" ] && args+=(--procinfo "$procinfo")
exec python3 "$here/cribbench.py" "${args[@]}" "$@"
