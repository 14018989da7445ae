#!/usr/bin/env bash
# Sets up, builds, and shows conx drawing in this terminal: the Windows
# program under Wine's console, then (where built) the Unix program.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh >/dev/null
. scripts/wine-env.sh

exe=build/win64/conx.exe
conx() { "$WINE" "$exe" "$@"; }
interactive=0
[ -t 0 ] && [ -t 1 ] && interactive=1

printf '\033[2J\033[H'   # Wine's console takes the terminal to start blank
conx PRINT 1 2 1F " conx on Wine's console " 07 "  the Windows build"
conx PRINT 3 4 0A "Hel" 0C "lo" 0E ", " 0B "world" 07 "  (PRINT 3 4 0A Hel 0C lo ...)"
conx PRINT 5 4 2F "+--------+\n|  box   |\n+--------+" 07 "  new lines return to column 4"
conx PRINT 9 4 07 "code page 1252: \\E9 \\80 \\A9   transparent: [\\0\\0\\0]"
printf '\033[11;1H'
echo -n "TIME: "; conx TIME; echo
if [ $interactive = 1 ]; then
    conx PRINT 13 4 0E "Press a key (KBD waits for it)..."
    printf '\033[15;1H'
    set +e; conx KBD; code=$?; set -e
    echo "KBD exit code: $code (a Unix shell sees the low 8 bits; a batch file's %errorlevel% the full code)"
else
    echo "(no terminal on standard input: the KBD part is skipped)"
fi

if [ -x build/native/conx ] && [ -f scripts/demo-unix.sh ]; then
    [ $interactive = 1 ] && read -r -p "Press Enter for the same commands in the Unix build... "
    bash scripts/demo-unix.sh
fi
