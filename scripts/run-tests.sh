#!/usr/bin/env bash
# Runs every registered test (native unit tests and the tests under Wine)
# and ends with the line "N passed, N failed".
set -uo pipefail
native_build="$1"
log="$(mktemp)"
trap 'rm -f "$log"' EXIT
ctest --test-dir "$native_build" -j2 --output-on-failure --timeout 900 2>&1 | tee "$log"
rc=${PIPESTATUS[0]}
summary=$(grep -E '[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -1)
if [ -n "$summary" ]; then
    failed=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$summary")
    total=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\2/' <<<"$summary")
    echo "$((total - failed)) passed, ${failed} failed"
else
    echo "0 passed, 1 failed"
    [ "$rc" -eq 0 ] && rc=1
fi
exit "$rc"
