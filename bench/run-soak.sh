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
repo=$(cd "$here/.." && pwd)
if [ $# -ne 1 ]; then
    sed -n '2,12p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//'
    exit 2
fi
build=$(cd "$1" && pwd)
minutes=${SOAK_MINUTES:-30}
seed=${SOAK_SEED:-1}
peers=${SOAK_PEERS:-phone modem}
out="$build/soak"
mkdir -p "$out"

for exe in Cribwatch.exe uidriver.exe fakephone.exe; do
    if [ ! -f "$build/$exe" ]; then
        echo "run-soak: $build/$exe is missing (build it first: make i686)" >&2
        exit 2
    fi
done

# The model: the program's own tick, built natively.
model="$out/soak_model"
g++ -std=c++17 -O2 -Wall -Wextra -I"$repo" -o "$model" "$here/soak_model.cpp" \
    "$repo"/monitor/{alarm,tick}.cpp "$repo"/protocol/level_protocol.cpp \
    "$repo"/calling/dial_sequence.cpp "$repo"/base/{shared_record,bounded_copy}.cpp

# procinfo.exe for handles and commit, with the cross compiler of the build.
case "$(basename "$build")" in
    *x86_64* | *x64*) cross=x86_64-w64-mingw32-g++ ;;
    *) cross=i686-w64-mingw32-g++ ;;
esac
command -v "$cross-posix" > /dev/null 2>&1 && cross="$cross-posix"
procinfo="$out/procinfo.exe"
if ! "$cross" -std=c++17 -O2 -Wall -Wextra -static -static-libgcc -static-libstdc++ \
        -o "$procinfo" "$here/procinfo.cpp" -lpsapi; then
    echo "run-soak: procinfo.exe did not build; handles and commit are skipped" >&2
    rm -f "$procinfo"
fi

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
