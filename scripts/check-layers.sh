#!/usr/bin/env bash
# The layers of the program point one way: a file includes only headers of
# its own layer or of the layers below it. Each folder is one layer:
#   0 base/ res/   1 settings/   2 monitor/ protocol/ calling/
#   3 ui/ controls/ help/   4 dialogs/   5 app/
# Prints each include that points upwards and fails when there is one.
#
#   scripts/check-layers.sh [SOURCE_ROOT]
set -uo pipefail
cd "${1:-$(dirname "$0")/..}" || exit 2

rank() {
    case "${1%%/*}" in
        base|res) echo 0 ;;
        settings) echo 1 ;;
        monitor|protocol|calling) echo 2 ;;
        ui|controls|help) echo 3 ;;
        dialogs) echo 4 ;;
        app) echo 5 ;;
        *) echo 9 ;;
    esac
}

bad=0
checked=0
for file in $(find base res settings monitor protocol calling ui controls help dialogs app \
                   -name '*.h' -o -name '*.cpp' -o -name '*.rc' 2>/dev/null | sort); do
    own=$(rank "$file")
    while IFS= read -r header; do
        checked=$((checked + 1))
        if [ "$(rank "$header")" -gt "$own" ]; then
            echo "$file includes $header, a higher layer"
            bad=1
        fi
    done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([a-z]*\/[^"]*\)".*/\1/p' "$file")
done
if [ "$checked" -eq 0 ]; then
    echo "no includes found: wrong source root?"
    exit 2
fi
[ "$bad" -eq 0 ] && echo "$checked includes checked, all point downwards or sideways"
exit "$bad"
