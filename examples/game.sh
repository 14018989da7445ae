#!/usr/bin/env bash
# A game loop over conx: move the @ with the arrow keys, click a cell to put
# a block there (click it again to take it away), q or Escape quits.
# Each frame: PRINT draws the board, INPUTHIT 0 polls keys and the mouse,
# TIME and SLEEP hold the pace at about 20 frames a second.
#
#   CONX=path/to/conx bash examples/game.sh
# Without CONX: the build in this checkout, else the conx on the PATH.
set -u
conx=${CONX:-$(dirname "$0")/../build/native/conx}
[ -n "${CONX:-}" ] || [ -x "$conx" ] || conx=conx

# INPUTHIT leaves the terminal set up for the loop (mouse reporting on,
# keys not echoed). Giving it back talks to the terminal itself, so it
# works whatever the script's input and output are; the last mouse reports
# on their way when reporting goes off (a quick click's release) are read
# and dropped before echo is back:
#   printf '\033[?1004l\033[?1006l\033[?1002l\033[?1000l\033[0m\033[?25h' >/dev/tty
#   stty -echo -icanon min 0 time 1 </dev/tty; cat </dev/tty >/dev/null
#   stty echo icanon min 1 time 0 </dev/tty
saved=$(stty -g </dev/tty)
give_back() {
    printf '\033[?1004l\033[?1006l\033[?1002l\033[?1000l\033[0m\033[?25h\033[%d;1H' \
        $((top + height + 3)) >/dev/tty
    stty -echo -icanon min 0 time 1 </dev/tty
    cat </dev/tty >/dev/null
    stty "$saved" </dev/tty
}
trap give_back EXIT
trap 'exit 130' INT      # Ctrl+C while the shell runs: the EXIT trap gives back
trap '"$conx" CURSOR 0; resized=1' CONT  # back from Ctrl+Z and fg: hide the cursor, redraw
trap 'resized=1' WINCH                   # the terminal changed size: clear and redraw
resized=1

# Ctrl+C typed while conx reads is a key (3), as on Windows, and quits.
# Ctrl+Z is always a key (26, stty susp undef): as a signal it could stop
# the game while no conx runs, with the terminal as the loop has it. The
# game gives the terminal back and stops itself, as Ctrl+Z would.
suspend_game() {
    give_back
    kill -TSTP $$
    stty susp undef </dev/tty  # after fg
}

top=1 left=2 width=30 height=12   # the board on the screen
row=5 column=10                   # the player, on the board
declare -A blocks=()              # "row,column" -> 1
FRAME_MS=50
BOARD=1F BLOCK=1E PLAYER=1C TEXT=0E

now_ms() {  # milliseconds since midnight, from TIME
    local d y mo day h mi s ms
    read -r d y mo day h mi s ms < <("$conx" TIME)
    echo $(( ((10#$h * 60 + 10#$mi) * 60 + 10#$s) * 1000 + 10#$ms ))
}

# Key codes as INPUTHIT reports them, in full: Up 327, Down 335, Left 330,
# Right 332 (PRINT leaves keys waiting for it).
move() {
    case $1 in
        327)     (( row > 0 )) && (( row-- )) ;;
        335)     (( row < height - 1 )) && (( row++ )) ;;
        330)     (( column > 0 )) && (( column-- )) ;;
        332)     (( column < width - 1 )) && (( column++ )) ;;
        113|27|3) exit 0 ;;        # q, Escape, Ctrl+C
        26)       suspend_game ;;  # Ctrl+Z
    esac
}

click() {  # screen row and column of a left click
    local r=$(( $1 - top )) c=$(( $2 - left ))
    (( r < 0 || r >= height || c < 0 || c >= width )) && return
    if [[ -n ${blocks[$r,$c]:-} ]]; then unset "blocks[$r,$c]"; else blocks[$r,$c]=1; fi
}

# One PRINT for the whole frame: a run per colour, a new line per row.
draw() {
    local args=() r c attribute text run_attribute run_text
    for (( r = 0; r < height; r++ )); do
        run_attribute= run_text=
        for (( c = 0; c < width; c++ )); do
            if (( r == row && c == column )); then attribute=$PLAYER text='@'
            elif [[ -n ${blocks[$r,$c]:-} ]]; then attribute=$BLOCK text='#'
            else attribute=$BOARD text='.'
            fi
            if [[ $attribute != "$run_attribute" && -n $run_text ]]; then
                args+=("$run_attribute" "$run_text"); run_text=
            fi
            run_attribute=$attribute run_text+=$text
        done
        args+=("$run_attribute" "$run_text\\n")
    done
    args+=("$TEXT" "\\n arrows move, click puts a block, q quits   ")
    args+=("$TEXT" "at $row,$column, ${#blocks[@]} blocks   ")
    "$conx" PRINT "$top" "$left" "${args[@]}"
}

stty susp undef </dev/tty
"$conx" CURSOR 0
while :; do
    start=$(now_ms)
    if (( resized )); then printf '\033[2J' >/dev/tty; resized=0; fi
    draw
    if read -r r c buttons key char < <("$conx" INPUTHIT 0); then
        (( key != 0 )) && move "$key"
        (( buttons == 1 )) && click "$r" "$c"
    fi
    spent=$(( $(now_ms) - start ))
    (( spent >= 0 && spent < FRAME_MS )) && "$conx" SLEEP $(( FRAME_MS - spent ))
done
