#!/usr/bin/env bash
# What this host can run, and which Wine loader runs what.
#
#   scripts/wine-env.sh can-run-32bit [DIR]
#       exit 0 and print "yes" when the host executes 32-bit (i386) code,
#       exit 1 and print "no: <why>" when it does not. It runs a tiny static
#       i386 program (written to DIR, default build/) that exits with 42
#       through int 0x80; nothing else answers 42. Some x86-64 kernels run
#       64-bit user code only: there the program fails with "Exec format
#       error", and no 32-bit Windows program runs under any Wine.
#       CRIB_NO_32BIT=1 makes the answer "no" (for the tests of these scripts).
#   scripts/wine-env.sh loader win32|win64
#       the Wine loader for a prefix of that architecture. Loaders are called
#       directly: Debian's `wine` wrapper takes the 32-bit loader whenever it
#       is installed, even for a 64-bit prefix.
#   scripts/wine-env.sh run-arch [DIR]
#       the build `make run`, `make screenshot` and `make bench` use: i686,
#       or x86_64 on a host without 32-bit code (said in one line on stderr).
#   scripts/wine-env.sh add-fonts PREFIX
#       puts Wine's own TrueType fonts (Debian's fonts-wine: Marlett for the
#       caption buttons, Tahoma, ...) into the prefix's Fonts folder; this
#       Wine loads fonts from there, not from its data folder.
#   scripts/wine-env.sh skip REASON
#       for ctest: prints why a test is skipped and exits 77.
set -euo pipefail

CRIB_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

crib_can_run_32bit() {
    local dir=${1:-$CRIB_ROOT/build}
    if [ -n "${CRIB_NO_32BIT:-}" ] && [ "${CRIB_NO_32BIT}" != 0 ]; then
        echo "no: CRIB_NO_32BIT is set"
        return 1
    fi
    mkdir -p "$dir"
    local probe
    probe=$(mktemp "$dir/.host32-probe.XXXXXX")
    # ELF header, one PT_LOAD program header at 0x08048000, then the code:
    # mov eax,1 (exit); mov ebx,42; int 0x80.
    printf '\177ELF\001\001\001\000\000\000\000\000\000\000\000\000'  >"$probe"
    printf '\002\000\003\000\001\000\000\000\124\200\004\010\064\000\000\000' >>"$probe"
    printf '\000\000\000\000\000\000\000\000\064\000\040\000\001\000\000\000' >>"$probe"
    printf '\000\000\000\000\001\000\000\000\000\000\000\000\000\200\004\010' >>"$probe"
    printf '\000\200\004\010\140\000\000\000\140\000\000\000\005\000\000\000' >>"$probe"
    printf '\000\020\000\000\270\001\000\000\000\273\052\000\000\000\315\200' >>"$probe"
    chmod 700 "$probe"
    local out rc=0
    out=$("$probe" 2>&1) || rc=$?
    rm -f "$probe"
    if [ "$rc" -eq 42 ]; then
        echo "yes"
        return 0
    fi
    out=$(printf '%s' "$out" | tr '\n' ' ' | sed -e 's/^.*: //' -e 's/ *$//')
    if [ -z "$out" ]; then
        if [ "$rc" -gt 128 ]; then out="killed by signal $((rc - 128))"; else out="exit code $rc"; fi
    fi
    echo "no: a 32-bit test program did not run: $out"
    return 1
}

crib_wine_loader() {
    local name
    case "${1:-}" in
        win32) name=wine ;;
        win64) name=wine64 ;;
        *) echo "wine-env: loader wants win32 or win64" >&2; return 2 ;;
    esac
    if [ -f "/usr/lib/wine/$name" ] && [ -x "/usr/lib/wine/$name" ]; then
        echo "/usr/lib/wine/$name"
        return 0
    fi
    command -v "$name" || { echo "wine-env: no Wine loader '$name' found" >&2; return 1; }
}

crib_add_wine_fonts() {
    local fonts=/usr/share/wine/fonts target="$1/drive_c/windows/Fonts"
    [ -d "$fonts" ] || return 0
    mkdir -p "$target"
    local f
    for f in "$fonts"/*.ttf; do
        [ -f "$f" ] && [ ! -e "$target/$(basename "$f")" ] && cp "$f" "$target/"
    done
    return 0
}

crib_run_arch() {
    local answer
    if answer=$(crib_can_run_32bit "${1:-}"); then
        echo i686
    else
        echo "This host runs no 32-bit code (${answer#no: }): using the x86_64 program." >&2
        echo x86_64
    fi
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
    cmd=${1:-}
    shift || true
    case "$cmd" in
        can-run-32bit) crib_can_run_32bit "$@" ;;
        loader) crib_wine_loader "$@" ;;
        run-arch) crib_run_arch "$@" ;;
        add-fonts) crib_add_wine_fonts "$@" ;;
        skip) echo "skipped: $*"; exit 77 ;;
        *) sed -n '2,20p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2 ;;
    esac
fi
