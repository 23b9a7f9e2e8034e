# What the benchmarks' scripts share (sourced by run-bench.sh and run-soak.sh;
# tests/bench/test_soak.py builds the soak's model with soak_model).
bench_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
repo=$(cd "$bench_dir/.." && pwd)

# usage: prints the comment at the top of the calling script (its first
# line, #!, left out) and ends it (exit code 2).
usage() {
    sed -n '2,/^[^#]/{/^#/s/^# \{0,1\}//p}' "${BASH_SOURCE[1]}"
    exit 2
}

# need_programs NAME BUILD_DIR EXE...: ends the script (exit code 2) unless
# the MinGW build folder holds every program.
need_programs() {
    local name=$1 build=$2 exe
    shift 2
    for exe in "$@"; do
        if [ ! -f "$build/$exe" ]; then
            echo "$name: $build/$exe is missing (build it first: make i686)" >&2
            exit 2
        fi
    done
}

# procinfo NAME BUILD_DIR WHAT: prints the path of procinfo.exe (the Windows
# figures of a process), built into BUILD_DIR/bench with the cross compiler
# that matches the build folder unless it is newer than its source; prints
# nothing when it does not build (the run goes on and skips WHAT).
procinfo() {
    local name=$1 build=$2 what=$3 cross exe="$2/bench/procinfo.exe"
    case "$(basename "$build")" in
        *x86_64* | *x64*) cross=x86_64-w64-mingw32-g++ ;;
        *) cross=i686-w64-mingw32-g++ ;;
    esac
    command -v "$cross-posix" > /dev/null 2>&1 && cross="$cross-posix"
    if [ ! -f "$exe" ] || [ "$bench_dir/procinfo.cpp" -nt "$exe" ]; then
        mkdir -p "$build/bench"
        if ! "$cross" -std=c++17 -O2 -Wall -Wextra -static -static-libgcc -static-libstdc++ \
                -o "$exe" "$bench_dir/procinfo.cpp" -lpsapi >&2; then
            echo "$name: procinfo.exe did not build; $what are skipped" >&2
            rm -f "$exe"
            return 0
        fi
    fi
    echo "$exe"
}

# soak_model OUT [G++ OPTION...]: the soak's model, the program's own tick
# built natively.
soak_model() {
    local out=$1
    shift
    g++ -std=c++17 -I"$repo" "$@" -o "$out" "$bench_dir/soak_model.cpp" \
        "$repo"/monitor/{alarm,tick}.cpp "$repo"/protocol/{level_protocol,run_record}.cpp \
        "$repo"/calling/dial_sequence.cpp "$repo"/base/{shared_record,bounded_copy}.cpp
}
