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
if [ $# -lt 1 ]; then
    sed -n '2,13p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//'
    exit 2
fi
build=$(cd "$1" && pwd)
shift

for exe in Cribwatch.exe uidriver.exe fakephone.exe barerec.exe; do
    if [ ! -f "$build/$exe" ]; then
        echo "run-bench: $build/$exe is missing (build it first: make i686)" >&2
        exit 2
    fi
done

# procinfo.exe reads the Windows memory figures of the program; it is built
# here with the cross compiler that matches the build folder. Without it the
# benchmarks run on and skip those figures.
case "$(basename "$build")" in
    *x86_64* | *x64*) cross=x86_64-w64-mingw32-g++ ;;
    *) cross=i686-w64-mingw32-g++ ;;
esac
command -v "$cross-posix" > /dev/null 2>&1 && cross="$cross-posix"
procinfo="$build/bench/procinfo.exe"
if [ ! -f "$procinfo" ] || [ "$here/procinfo.cpp" -nt "$procinfo" ]; then
    mkdir -p "$build/bench"
    if ! "$cross" -std=c++17 -O2 -Wall -Wextra -static -static-libgcc -static-libstdc++ \
            -o "$procinfo" "$here/procinfo.cpp" -lpsapi; then
        echo "run-bench: procinfo.exe did not build; Windows memory figures are skipped" >&2
        rm -f "$procinfo"
    fi
fi

args=(--build "$build")
[ -f "$procinfo" ] && args+=(--procinfo "$procinfo")
exec python3 "$here/cribbench.py" "${args[@]}" "$@"
