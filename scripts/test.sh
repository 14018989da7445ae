#!/usr/bin/env bash
# Sets up, builds and runs every test: unit tests (in-memory console, also
# under the sanitizers), the check of the released Windows program, short
# fuzz runs, end-to-end tests of the Windows build under Wine's console in
# tmux and of the Unix build in a tmux pane. Every suite runs even when one
# before it fails; the end names the ones that failed.
set -euo pipefail
cd "$(dirname "$0")/.."
start=$(date +%s)

bash scripts/setup.sh
bash scripts/build.sh

failed=()
suite() {
    local name=$1
    shift
    echo "== $name"
    "$@" || failed+=("$name")
}

suite "unit tests (in-memory console)" ctest --preset native
if [ -f scripts/test-sanitizers.sh ]; then
    suite "unit tests under AddressSanitizer and UBSan" bash scripts/test-sanitizers.sh
fi
suite "the released Windows program" bash scripts/check-exe.sh build/win32/conx.exe
if [ -f tests/fuzz/run.sh ]; then
    suite "fuzzing, short runs" bash tests/fuzz/run.sh short
fi
for dir in tests/e2e/wine tests/e2e/emulated tests/e2e/unix tests/e2e/xterm tests/e2e/matrix tests/release; do
    if [ -d "$dir" ]; then
        suite "end-to-end: $dir" /usr/bin/python3 -m pytest -q -p no:cacheprovider "$dir"
    fi
done

seconds=$(( $(date +%s) - start ))
if [ ${#failed[@]} -gt 0 ]; then
    echo "== ${#failed[@]} failed, in $seconds s:"
    printf '   %s\n' "${failed[@]}"
    exit 1
fi
echo "== all tests passed in $seconds s"
