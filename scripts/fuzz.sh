#!/usr/bin/env bash
# Runs libFuzzer targets of the fuzz build over their seed corpora
# (tests/fuzz/corpus/<target>) and prints one summary line per target.
#
#   scripts/fuzz.sh [--runs N | --seconds N] [--corpus DIR] FUZZ_BUILD [TARGET...]
#
# Without TARGETs every fuzz_* program in FUZZ_BUILD runs, one after the
# other. --runs (default 1000000) or --seconds bounds each target. Inputs the
# fuzzer finds new go to DIR/<target> with --corpus (kept for the next run),
# else to a temporary folder; the seed corpora are only read. An input that
# fails a target is saved as FUZZ_BUILD/findings/<target>-crash-<hash>, and
# the exit status is then nonzero.
set -uo pipefail

limit=(-runs=1000000)
corpus_root=""
while [ $# -gt 0 ]; do
    case "$1" in
        --runs) limit=(-runs="$2"); shift 2 ;;
        --seconds) limit=(-max_total_time="$2"); shift 2 ;;
        --corpus) corpus_root="$2"; shift 2 ;;
        *) break ;;
    esac
done
if [ $# -lt 1 ]; then
    echo "usage: $0 [--runs N | --seconds N] [--corpus DIR] FUZZ_BUILD [TARGET...]" >&2
    exit 2
fi
build="$1"
shift
seeds_root="$(cd "$(dirname "$0")/.." && pwd)/tests/fuzz/corpus"

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    for f in "$build"/fuzz_*; do
        [ -x "$f" ] && [ -f "$f" ] && targets+=("$(basename "$f")")
    done
fi
if [ ${#targets[@]} -eq 0 ]; then
    echo "fuzz: no fuzz targets in $build" >&2
    exit 1
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$build/findings"

failed=0
for target in "${targets[@]}"; do
    exe="$build/$target"
    seeds="$seeds_root/$target"
    if [ ! -x "$exe" ] || [ ! -d "$seeds" ]; then
        echo "fuzz $target: missing program $exe or seed corpus $seeds"
        failed=1
        continue
    fi
    if [ -n "$corpus_root" ]; then
        grown="$corpus_root/$target"
    else
        grown="$work/$target"
    fi
    mkdir -p "$grown"
    log="$work/$target.log"
    "$exe" "${limit[@]}" -max_len=4096 -timeout=30 -print_final_stats=1 \
        -artifact_prefix="$build/findings/$target-" "$grown" "$seeds" >"$log" 2>&1
    rc=$?
    runs=$(sed -nE 's/^stat::number_of_executed_units: *([0-9]+).*/\1/p' "$log" | tail -1)
    speed=$(sed -nE 's/^stat::average_exec_per_sec: *([0-9]+).*/\1/p' "$log" | tail -1)
    cov=$(grep -oE 'cov: [0-9]+ ft: [0-9]+ corp: [0-9]+' "$log" | tail -1)
    if [ "$rc" -eq 0 ]; then
        echo "fuzz $target: ${runs:-?} runs, ${speed:-?} runs/s, ${cov:-no coverage line}, no findings"
    else
        failed=1
        tail -n 60 "$log"
        echo "fuzz $target: FINDING after ${runs:-?} runs (exit $rc); input saved under $build/findings/"
    fi
done
exit "$failed"
