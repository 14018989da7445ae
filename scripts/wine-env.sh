# Sourced by the scripts and tests that run the Windows build under Wine:
# the environment and a prefix of our own, made once: build/wine unless
# WINEPREFIX names another. Wine starts its wineserver with the first
# program and ends it 3 s after the last, so runs in a row start warm
# (~0.03 s instead of ~0.5 s) and nothing stays behind; the test sessions
# keep one running while they last (tests/e2e/wine/console.py).
export WINEDEBUG=-all LANG=C.UTF-8 LC_ALL=C.UTF-8
export WINEPREFIX=${WINEPREFIX:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/build/wine}
export WINE=${WINE:-/usr/lib/wine/wine64}
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "wine: creating the prefix $WINEPREFIX (once, ~10 s)"
    # Never through a pipe: a Wine service keeps it open and a reader hangs.
    "$WINE" wineboot -i >/dev/null 2>&1 </dev/null || true
    # wineboot's server and services go on finishing the prefix after it
    # returns, and that server ends the moment its last program does: wait
    # for it, so the prefix is whole and the next program (a test session's
    # own server) starts on a machine with no server of the prefix running.
    "$(dirname "$WINE")/wineserver" -w </dev/null >/dev/null 2>&1 || true
fi
