#!/usr/bin/env bash
# Shows the Unix build drawing in this terminal. Reads a key and a click
# only when standard input is a terminal; never waits otherwise.
set -uo pipefail   # no -e: PRINT and KBD exit with key codes
cd "$(dirname "$0")/.."
conx=build/native/conx
if [ ! -x "$conx" ]; then
    echo "build/native/conx is not built: bash scripts/build.sh"
    exit 1
fi
if [ ! -t 1 ]; then
    echo "(standard output is not a terminal: the Unix demo has nothing to draw on)"
    exit 0
fi

printf '\033[2J'
$conx PRINT 1 2 1F " conx in a Unix terminal " 07 "  the native build, same commands"
$conx PRINT 3 4 0A "Hel" 0C "lo" 0E ", " 0B "world" 07 "  (PRINT 3 4 0A Hel 0C lo ...)"
$conx PRINT 5 4 2F "+--------+\n|  box   |\n+--------+" 07 "  new lines return to column 4"
$conx PRINT 9 4 07 "code page 1252: \\E9 \\80 \\A9   control bytes as pictures: \\01\\03\\0E\\1A"
colours=()
for c in 0 1 2 3 4 5 6 7 8 9 A B C D E F; do colours+=("${c}0" " $c "); done
$conx PRINT 10 4 "${colours[@]}"
$conx PRINT 11 4 "F0" "backgrounds" 07 " " "1F" " 1 " 2F " 2 " 4F " 4 " 8F " 8 " 9F " 9 " CF " C "
printf '\033[14;1H'
echo -n "TIME: "; $conx TIME; echo

if [ -t 0 ]; then
    $conx PRINT 15 4 0E "Press a key (KBD waits for it)..."
    printf '\033[17;1H'
    code=$($conx KBD) || true   # captured: the full key code, also above 255
    echo "KBD: key code $code"
    $conx PRINT 18 4 0E "Press a key or click (INPUTHIT 1 waits for either)..."
    printf '\033[20;1H'
    report=$($conx INPUTHIT 1) || true
    # INPUTHIT leaves the terminal set up for a game loop; this gives it back,
    # reporting off before echo on, a click's release on its way dropped:
    printf '\033[?1004l\033[?1006l\033[?1002l\033[?1000l\033[0m\033[?25h' >/dev/tty
    stty -echo -icanon min 0 time 1 </dev/tty; cat </dev/tty >/dev/null
    stty echo icanon min 1 time 0 </dev/tty
    echo "INPUTHIT: row column buttons keycode char = $report"
else
    echo "(no terminal on standard input: the key and mouse part is skipped)"
fi
echo "A game loop to try: bash examples/game.sh"
