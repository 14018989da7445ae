#!/usr/bin/env bash
# Sets up, builds and runs every test: unit tests (in-memory console, also
# under the sanitizers), the check of the released Windows program, short
# fuzz runs, end-to-end tests of the Windows build under Wine's console in
# tmux and of the Unix build in a tmux pane.
set -euo pipefail
cd "$(dirname "$0")/.."
start=$(date +%s)

bash scripts/setup.sh
bash scripts/build.sh

echo "== unit tests (in-memory console)"
ctest --preset native

if [ -f scripts/test-sanitizers.sh ]; then
    echo "== unit tests under AddressSanitizer and UBSan"
    bash scripts/test-sanitizers.sh
fi

echo "== the released Windows program"
bash scripts/check-exe.sh build/win32/conx.exe

if [ -f tests/fuzz/run.sh ]; then
    echo "== fuzzing, short runs"
    bash tests/fuzz/run.sh short
fi

for suite in tests/e2e/wine tests/e2e/emulated tests/e2e/unix tests/e2e/xterm tests/e2e/matrix tests/release; do
    if [ -d "$suite" ]; then
        echo "== end-to-end: $suite"
        /usr/bin/python3 -m pytest -q -p no:cacheprovider "$suite"
    fi
done

echo "== all tests passed in $(( $(date +%s) - start )) s"
