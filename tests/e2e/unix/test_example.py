"""The example game loop, driven in a tmux pane: arrows move the player,
a click puts a block, q ends it and the terminal is given back."""
import os
import time

from conftest import CONX, ROOT, wait_for

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
