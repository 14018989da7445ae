# Sourced by the scripts and tests that run the Windows build under Wine:
# the environment, a prefix of our own made once (build/wine unless
# WINEPREFIX names another), and a wineserver kept alive so each run starts
# warm (~0.1 s instead of ~1 s); `"$WINESERVER" -k` stops it.
export WINEDEBUG=-all LANG=C.UTF-8 LC_ALL=C.UTF-8
export WINEPREFIX=${WINEPREFIX:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/build/wine}
export WINE=${WINE:-/usr/lib/wine/wine64}
export WINESERVER=${WINESERVER:-/usr/lib/wine/wineserver}
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "wine: creating the prefix $WINEPREFIX (once, ~10 s)"
    # Never through a pipe: a Wine service keeps it open and a reader hangs.
    "$WINE" wineboot -i >/dev/null 2>&1 </dev/null || true
fi
"$WINESERVER" -p >/dev/null 2>&1 </dev/null || true
