#!/usr/bin/env bash
# The compressed night: Cribwatch under Wine through a generated night of
# room sounds and cries, once with the fake softphone and once with the
# scripted modem, its calls held against the native model of its alarm.
#
#   bash bench/run-soak.sh BUILD_DIR
#
# BUILD_DIR is the MinGW build folder (Cribwatch.exe, uidriver.exe,
# fakephone.exe). Environment: SOAK_MINUTES (30), SOAK_SEED (1),
# SOAK_PEERS ("phone modem"; the peers run at the same time, each in a
# world of its own). The night, the measured calls and each peer's full
# output go to BUILD_DIR/soak/.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$here/common.sh"
[ $# -eq 1 ] || usage
build=$(cd "$1" && pwd)
minutes=${SOAK_MINUTES:-30}
seed=${SOAK_SEED:-1}
peers=${SOAK_PEERS:-phone modem}
out="$build/soak"
mkdir -p "$out"
need_programs run-soak "$build" Cribwatch.exe uidriver.exe fakephone.exe

model="$out/soak_model"
soak_model "$model" -O2 -Wall -Wextra
# procinfo.exe for handles and commit.
procinfo=$(procinfo run-soak "$build" "handles and commit")

night="$out/night-$seed-$minutes.wav"
timeline="$out/night-$seed-$minutes.json"
if [ ! -f "$night" ] || [ ! -f "$timeline" ] || [ "$here/soak_night.py" -nt "$night" ]; then
    python3 "$here/soak_night.py" --seed "$seed" --minutes "$minutes" --wav "$night" --timeline "$timeline"
fi

pids=()
names=()
for peer in $peers; do
    rm -rf "${out:?}/$peer"
    mkdir -p "$out/$peer"
    python3 "$here/soak.py" --build "$build" --peer "$peer" --night "$night" --timeline "$timeline" \
        --model "$model" --procinfo "$procinfo" --work "$out/$peer" \
        > "$out/$peer/output.txt" 2>&1 &
    pids+=($!)
    names+=("$peer")
done
status=0
for i in "${!pids[@]}"; do
    if ! wait "${pids[$i]}"; then status=1; fi
    echo
    echo "---------------- ${names[$i]} ($out/${names[$i]}/output.txt) ----------------"
    cat "$out/${names[$i]}/output.txt"
done
exit $status
