#!/usr/bin/env bash
# Runs every registered test (native unit tests and the tests under Wine)
# and ends with the line "N passed, N failed", followed by ", N skipped"
# when ctest skipped tests (the i686 Wine tests on a host that runs no
# 32-bit code; the line before says why).
#
#   scripts/run-tests.sh NATIVE_BUILD [CTEST_ARGS...]   (e.g. -L x86_64)
set -uo pipefail
native_build="$1"
shift
log="$(mktemp)"
trap 'rm -f "$log"' EXIT
ctest --test-dir "$native_build" -j2 --output-on-failure --timeout 900 "$@" 2>&1 | tee "$log"
rc=${PIPESTATUS[0]}
summary=$(grep -E '[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -1)
if [ -z "$summary" ]; then
    echo "0 passed, 1 failed"
    [ "$rc" -eq 0 ] && rc=1
    exit "$rc"
fi
failed=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$summary")
total=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\2/' <<<"$summary")
# ctest counts a skipped test as passed and lists it as "N - name (Skipped)".
skipped=$(grep -cE '^[[:space:]]+[0-9]+ - .* \(Skipped\)$' "$log")
line="$((total - failed - skipped)) passed, ${failed} failed"
if [ "$skipped" -gt 0 ]; then
    answer=$(cat "$native_build/host-32bit.txt" 2>/dev/null || true)
    case "$answer" in
        no:*) echo "Skipped: the i686 Wine tests, because this host runs no 32-bit code (${answer#no: })." ;;
    esac
    line="$line, ${skipped} skipped"
fi
echo "$line"
exit "$rc"
