#!/usr/bin/env bash
# Builds the fuzz targets (the fuzz preset: clang, libFuzzer, ASan, UBSan)
# and runs each one over its seed corpus.
#   bash tests/fuzz/run.sh short   a few seconds per target, one after another
#   bash tests/fuzz/run.sh long    600 s per target (CONX_FUZZ_SECONDS), all at once
# Optional target names after the mode pick some: command_line escape inputhit cellbatch.
# New corpus entries go to build/fuzz/corpus/<target>, findings (the input
# that broke an invariant or crashed) to build/fuzz/findings/, logs to
# build/fuzz/logs/. A finding makes the run fail; reproduce it with
#   build/fuzz/tests/fuzz/fuzz_<target> build/fuzz/findings/<target>-crash-...
set -euo pipefail
cd "$(dirname "$0")/../.."
mode=${1:-short}
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(command_line escape inputhit cellbatch)
case $mode in
    short) seconds=${CONX_FUZZ_SECONDS:-8} ;;
    long) seconds=${CONX_FUZZ_SECONDS:-600} ;;
    *) echo "usage: $0 short|long [target...]" >&2; exit 2 ;;
esac

jobs=$(nproc 2>/dev/null || echo 2)
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$jobs" >/dev/null
mkdir -p build/fuzz/logs build/fuzz/findings

export ASAN_OPTIONS=halt_on_error=1:abort_on_error=1:detect_leaks=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1

# A target's dictionary: its own entries, and every keyword of the command
# list (src/dispatch/commands.h), upper and lower case.
make_dict() {
    local target=$1 out=build/fuzz/$1.dict
    [ -f "tests/fuzz/$target.dict" ] || return 0
    {
        cat "tests/fuzz/$target.dict"
        sed -n 's/^ROW("\([^"]*\)".*/"\1"/p' src/dispatch/commands.h
        sed -n 's/^ROW("\([^"]*\)".*/"\1"/p' src/dispatch/commands.h | tr 'A-Z' 'a-z'
    } >"$out"
    echo "$out"
}

run_target() {
    local target=$1 dict=() file
    mkdir -p "build/fuzz/corpus/$target"
    file=$(make_dict "$target")
    [ -n "$file" ] && dict=(-dict="$file")
    # -timeout: one input running 10 s counts as a hang.
    "build/fuzz/tests/fuzz/fuzz_$target" "${dict[@]}" \
        -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="build/fuzz/findings/$target-" \
        "build/fuzz/corpus/$target" "tests/fuzz/corpus/$target" \
        >"build/fuzz/logs/$target-$mode.log" 2>&1
}

report() {
    local target=$1 status=$2 log="build/fuzz/logs/$1-$mode.log" runs
    runs=$(awk '/stat::number_of_executed_units:/ {print $2}' "$log" | tail -1)
    if [ "$status" -eq 0 ]; then
        echo "fuzz $target: ${runs:-?} executions in ${seconds} s, no finding"
    else
        echo "fuzz $target: FAILED after ${runs:-?} executions (log: $log)"
        grep -E 'invariant broken|ERROR:|SUMMARY:|Test unit written' "$log" | head -8 || tail -20 "$log"
    fi
}

failed=0
if [ "$mode" = long ]; then
    pids=()
    for t in "${targets[@]}"; do run_target "$t" & pids+=($!); done
    for i in "${!targets[@]}"; do
        status=0; wait "${pids[$i]}" || status=$?
        report "${targets[$i]}" "$status"
        [ "$status" -eq 0 ] || failed=1
    done
else
    for t in "${targets[@]}"; do
        status=0; run_target "$t" || status=$?
        report "$t" "$status"
        [ "$status" -eq 0 ] || failed=1
    done
fi
exit $failed
