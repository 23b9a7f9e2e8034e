#!/usr/bin/env bash
# Builds the template Wine prefixes that every test world copies.
#
#   scripts/make-prefix.sh [--force] [win32] [win64]
#
# Without an architecture both are made. A template is built once and cached
# as build/wine-template-<arch> (or under $CRIB_WINE_TEMPLATE_DIR); it is made
# again only with --force or when the installed Wine changed since. Callers
# running at the same time are serialised by a lock per architecture.
#
# The template is made deterministic for tests: no crash dialog (a crash ends
# the program), no Mono/Gecko install prompts, no menu builder, no Wine debug
# output. wineboot runs on a private Xvfb with a private HOME, so nothing of
# the caller's desktop or home leaks in. Each architecture's own Wine loader
# is called directly (scripts/wine-env.sh).
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BASE=${CRIB_WINE_TEMPLATE_DIR:-$ROOT/build}
FORCE=0
ARCHES=()
for a in "$@"; do
    case "$a" in
        --force) FORCE=1 ;;
        win32|win64) ARCHES+=("$a") ;;
        *) echo "usage: $0 [--force] [win32] [win64]" >&2; exit 2 ;;
    esac
done
[ ${#ARCHES[@]} -gt 0 ] || ARCHES=(win32 win64)
mkdir -p "$BASE"

WINE_INF=/usr/share/wine/wine.inf
[ -f "$WINE_INF" ] || WINE_INF=$(ls /usr/share/wine*/wine.inf 2>/dev/null | head -n1 || true)

# Written into .crib-template-ok; a template of another format is made anew
# (2: with Wine's own fonts; 3: the user's shell folders as real folders).
TEMPLATE_FORMAT=3

# A template is current when it was finished in this format and Wine would
# not update it.
template_ok() {
    local dest=$1
    [ "$(cat "$dest/.crib-template-ok" 2>/dev/null)" = "$TEMPLATE_FORMAT" ] || return 1
    [ -f "$dest/.update-timestamp" ] || return 1
    if [ -n "$WINE_INF" ] && [ -f "$WINE_INF" ]; then
        local want have
        want=$(stat -c %Y "$WINE_INF")
        have=$(head -n1 "$dest/.update-timestamp" | tr -dc '0-9')
        [ "$want" = "$have" ] || return 1
    fi
    return 0
}

XVFB_PID=""
WORK=""
PREFIX=""
cleanup() {
    if [ -n "$PREFIX" ] && [ -d "$PREFIX" ]; then
        WINEPREFIX=$PREFIX wineserver -k >/dev/null 2>&1 || true
    fi
    if [ -n "$XVFB_PID" ]; then
        kill "$XVFB_PID" 2>/dev/null || true
        wait "$XVFB_PID" 2>/dev/null || true
    fi
    if [ -n "$WORK" ] && [ -d "$WORK" ]; then rm -rf "$WORK"; fi
}
trap cleanup EXIT

start_xvfb() {
    local fdfile=$WORK/display
    : >"$fdfile"
    Xvfb -displayfd 5 -screen 0 1024x768x24 -nolisten tcp 5>"$fdfile" >/dev/null 2>&1 &
    XVFB_PID=$!
    local i
    for i in $(seq 1 200); do
        if grep -q '[0-9]' "$fdfile" 2>/dev/null; then
            DISPLAY=":$(tr -dc '0-9' <"$fdfile")"
            export DISPLAY
            return 0
        fi
        kill -0 "$XVFB_PID" 2>/dev/null || break
        sleep 0.05
    done
    echo "make-prefix: Xvfb did not start" >&2
    return 1
}

make_one() {
    local arch=$1
    local dest=$BASE/wine-template-$arch
    local t0=$SECONDS
    WORK=$(mktemp -d "$BASE/.wine-template-$arch.XXXXXX")
    PREFIX=$WORK/prefix
    mkdir -p "$WORK/home" "$WORK/run"
    chmod 700 "$WORK/run"
    start_xvfb
    local loader
    loader=$(bash "$ROOT/scripts/wine-env.sh" loader "$arch")

    (
        export WINEPREFIX=$PREFIX WINEARCH=$arch WINEDEBUG=-all
        export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
        export HOME=$WORK/home XDG_RUNTIME_DIR=$WORK/run
        export PULSE_SERVER=unix:$WORK/run/no-such-server
        unset WINESERVER WINELOADER
        "$loader" wineboot -i >"$WORK/wineboot.log" 2>&1
        reg() { "$loader" reg "$@" >>"$WORK/reg.log" 2>&1; }
        # A crash ends the program (exit code, "Unhandled ..." on stderr)
        # instead of waiting in a dialog.
        reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f
        # No Mono or Gecko install prompts, no desktop menu entries.
        reg add 'HKCU\Software\Wine\DllOverrides' /v mscoree /t REG_SZ /d '' /f
        reg add 'HKCU\Software\Wine\DllOverrides' /v mshtml /t REG_SZ /d '' /f
        reg add 'HKCU\Software\Wine\DllOverrides' /v winemenubuilder.exe /t REG_SZ /d '' /f
        # Keep windows where the program puts them, without a window manager.
        reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f
        reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d N /f
        # Let wineserver write the registry out and end.
        wineserver -w
    )

    bash "$ROOT/scripts/wine-env.sh" add-fonts "$PREFIX"
    # The home folder of wineboot is gone after this; no link may point there.
    # The user's shell folders were such links: they become real folders, or
    # the shell (and with it every file dialog) finds no desktop to browse.
    find "$PREFIX/drive_c/users" -type l -lname "$WORK/*" -print 2>/dev/null |
        while IFS= read -r link; do rm -f "$link" && mkdir -p "$link"; done
    if [ ! -f "$PREFIX/system.reg" ] || [ ! -f "$PREFIX/user.reg" ] \
        || ! grep -q 'ShowCrashDialog' "$PREFIX/user.reg"; then
        echo "make-prefix: wineboot for $arch failed; see below" >&2
        cat "$WORK/wineboot.log" "$WORK/reg.log" >&2 || true
        return 1
    fi
    echo "$TEMPLATE_FORMAT" >"$PREFIX/.crib-template-ok"

    kill "$XVFB_PID" 2>/dev/null || true
    wait "$XVFB_PID" 2>/dev/null || true
    XVFB_PID=""

    rm -rf "$dest.old"
    if [ -e "$dest" ]; then mv "$dest" "$dest.old"; fi
    mv "$PREFIX" "$dest"
    rm -rf "$dest.old" "$WORK"
    PREFIX=""
    WORK=""
    echo "make-prefix: $arch template ready in $((SECONDS - t0)) s: $dest"
}

for arch in "${ARCHES[@]}"; do
    dest=$BASE/wine-template-$arch
    exec 9>"$BASE/.wine-template-$arch.lock"
    flock 9
    if [ "$FORCE" = 1 ] || ! template_ok "$dest"; then
        make_one "$arch"
    fi
    flock -u 9
    exec 9>&-
done
