"""The examples, driven in a tmux pane: the game loop (arrows move the
player, a click puts a block, q ends it and the terminal is given back),
the README's bash quick start as written and its lines for other shells."""
import os
import re
import time

import pytest

from conftest import CONX, RESTORE_LINE, ROOT, wait_for

TOP, LEFT = 1, 2  # where the game draws its board


def find(pane, ch):
    for r in range(25):
        line = pane.text(r)
        if ch in line:
            return r, line.index(ch)
    return None


def test_game_moves_with_arrows_and_places_blocks_on_clicks(pane):
    game = os.path.join(ROOT, "examples", "game.sh")
    pane.start(f'CONX={CONX} bash {game}')
    wait_for(lambda: find(pane, "@") is not None, "the first frame")
    row, column = find(pane, "@")
    for key in ("Right", "Right", "Right", "Down"):
        pane.keys(key)
        time.sleep(0.3)  # INPUTHIT reports one event a frame
    wait_for(lambda: find(pane, "@") == (row + 1, column + 3), "the player to move")
    pane.literal("\x1b[<0;8;4M\x1b[<0;8;4m")  # screen row 3, column 7
    wait_for(lambda: pane.grid()[3][7].ch == "#", "a block where the click was")
    assert (pane.grid()[3][7].fg, pane.grid()[3][7].bg) == (93, 44)
    pane.keys("q")
    pane.wait_done()
    pane.assert_terminal_given_back()


def readme_quick_start():
    """The README's bash quick start, as a user would copy it."""
    with open(os.path.join(ROOT, "README.md"), encoding="utf-8") as f:
        text = f.read().split("\n## Quick start: bash\n\n")[1]
    block = re.match(r"(?:    .*\n|\n)+", text).group(0)
    return "".join(line[4:] + "\n" for line in block.rstrip().split("\n"))


def test_readme_bash_quick_start_moves_quits_and_ends_below_its_drawing(pane):
    folder = os.path.join(pane.folder, "quick-start")
    os.makedirs(folder, exist_ok=True)
    if not os.path.exists(os.path.join(folder, "conx")):
        os.symlink(CONX, os.path.join(folder, "conx"))
    with open(os.path.join(folder, "start.sh"), "w") as f:
        f.write(readme_quick_start())
    pane.start(f'PATH={folder}:$PATH bash {folder}/start.sh')
    wait_for(lambda: find(pane, "@") == (5, 10), "the first frame")
    for key in ("Right", "Down"):
        pane.keys(key)
        time.sleep(0.3)  # INPUTHIT reports one event a frame
    wait_for(lambda: find(pane, "@") == (6, 11), "the @ to move")
    pane.keys("q")
    pane.wait_done()
    pane.assert_terminal_given_back()
    assert pane.cursor()[2] and not pane.mouse_reporting()
    assert pane.text(0).startswith(" conx "), "nothing scrolled"
    assert find(pane, "The @ stopped at row 6, column 11.") == (23, 0), "the last line below the drawing"


@pytest.mark.parametrize("shell, line", [  # the README's lines for zsh and dash
    ("zsh -f", 'report=$("$C" INPUTHIT 1); fields=(${=report}); echo ${#fields} $fields[4] > got'),
    ("dash", 'set -f; set -- $("$C" INPUTHIT 1); echo $# $4 > got'),
], ids=["zsh", "dash"])
def test_other_shells_split_a_report_with_a_star_in_it(pane, shell, line):
    pane.start(f"C=\"$C\" {shell} -c '{line}'; {RESTORE_LINE}")
    pane.wait_reading()
    pane.literal("*")
    pane.wait_done()
    assert pane.file("got") == "5 42\n", "five fields, the key code fourth"
    pane.assert_terminal_given_back()
