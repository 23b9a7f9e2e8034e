#!/usr/bin/env bash
# Starts Cribwatch under Wine. With a display ($DISPLAY) it runs there in the
# user's own Cribwatch prefix; without one (or with --screenshot FILE) it runs
# on a private Xvfb display, saves a screenshot and ends.
#
# The program's build folder (i686 or x86_64) tells the architecture: the
# 32-bit program runs in ~/.wine-cribwatch, the 64-bit one in
# ~/.wine-cribwatch64, each through its own Wine loader.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
shot=""
if [ "${1:-}" = "--screenshot" ]; then shot="$2"; shift 2; fi
exe=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
case "$(basename "$(dirname "$exe")")" in
    *x86_64* | *x64*) arch=win64; default_prefix=$HOME/.wine-cribwatch64 ;;
    *) arch=win32; default_prefix=$HOME/.wine-cribwatch ;;
esac
loader=$(bash "$here/wine-env.sh" loader "$arch")
export WINEDEBUG=-all
export WINEARCH=$arch
export WINEPREFIX="${WINEPREFIX:-$default_prefix}"

# A new prefix gets Wine's own fonts (caption buttons, dialog fonts).
new_prefix() {
    [ -d "$WINEPREFIX" ] && return 0
    "$loader" wineboot -i >/dev/null 2>&1
    bash "$here/wine-env.sh" add-fonts "$WINEPREFIX"
}

if [ -z "$shot" ] && [ -n "${DISPLAY:-}" ]; then
    new_prefix
    cd "$(dirname "$exe")"
    exec "$loader" "$exe"
fi

[ -n "$shot" ] || shot="$(pwd)/build/screenshot.png"
tmp="$(mktemp -d)"
xvfb_pid=""; app_pid=""
cleanup() {
    [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
    WINEPREFIX="$WINEPREFIX" wineserver -k 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$tmp"
}
trap cleanup EXIT
exec 3>"$tmp/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$tmp/display" ] && break; sleep 0.1; done
export DISPLAY=":$(head -1 "$tmp/display")"
new_prefix
(cd "$(dirname "$exe")" && exec "$loader" "$exe") >/dev/null 2>&1 &
app_pid=$!
sleep 12
import -window root "$shot"
echo "screenshot saved to $shot (the program ran on a private display $DISPLAY)"
