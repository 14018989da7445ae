#!/usr/bin/env bash
# Builds the unit tests with AddressSanitizer and UndefinedBehaviorSanitizer
# (build/asan) and runs them; the first report of either stops the run.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)
cmake --preset asan >/dev/null
cmake --build --preset asan -j "$jobs"
ctest --preset asan
