"""examples/game.sh played in xterm: arrows move the @, a click toggles a
block, q or Escape quits; however it ends, the terminal is as it was."""
import os
import termios
import time

import pytest

from conftest import DEFAULT_BG, DEFAULT_FG, ROOT, TIMEOUT, wait_for

GAME = os.path.join(ROOT, "examples", "game.sh")
PLAY = f'CONX="$C" bash {GAME}'
BLUE, YELLOW, BRIGHT_WHITE = 4, 11, 15  # palette indexes of the board's colours


def wait_player(term, at):
    wait_for(lambda: term.find("@") == at, f"the @ at {at}")


def press_until(term, key, condition, what):
    """Presses `key` again while `condition` does not follow. The game
    takes one event a frame and drops what came with it, and a Ctrl+C or
    Ctrl+Z that comes while conx reads raw is a key, which it ignores."""
    end = time.monotonic() + TIMEOUT
    while time.monotonic() < end:
        term.key(key)
        pressed = time.monotonic()
        while time.monotonic() < pressed + 1:
            if condition():
                return
            time.sleep(0.02)
    pytest.fail(f"timed out pressing {key} for {what}")


def assert_game_over(term, status):
    term.wait_done()
    assert term.status() == status
    term.assert_given_back()
    grid = term.dump()
    rows = [r for r in range(len(grid)) if "after-game" in term.text(r, grid)]
    assert rows, "the shell's text after the game is on the screen"
    column = term.text(rows[0], grid).index("after-game")
    assert {(c.fg, c.bg) for c in grid[rows[0]][column:column + 10]} == \
        {(DEFAULT_FG, DEFAULT_BG)}, "in the terminal's default colours"


def test_game_moves_the_player_and_toggles_blocks(term):
    term.start(f"{PLAY}; echo $? > status; echo after-game")
    wait_player(term, (6, 12))  # board at row 1, column 2; the @ at 5,10 on it
    for key, at in [("Right", (6, 13)), ("Right", (6, 14)), ("Down", (7, 14)),
                    ("Up", (6, 14)), ("Left", (6, 13))]:
        term.key(key)
        wait_player(term, at)
    term.key("Return")  # does nothing: the game goes on, the @ one step further
    press_until(term, "Right", lambda: term.find("@") == (6, 14), "the @ at (6, 14)")
    term.click(3, 7)
    wait_for(lambda: term.dump()[3][7].ch == "#", "a block where the click was")
    cell = term.dump()[3][7]
    assert (cell.fg, cell.bg) == (YELLOW, BLUE)
    assert "at 5,12, 1 blocks" in term.text(14)
    term.click(3, 7)
    wait_for(lambda: term.dump()[3][7].ch == ".", "the block taken away")
    cell = term.dump()[3][7]
    assert (cell.fg, cell.bg) == (BRIGHT_WHITE, BLUE)
    term.click(20, 50)  # off the board: nothing to do
    term.key("q")
    assert_game_over(term, 0)


def test_game_ends_with_escape(term):
    term.start(f"{PLAY}; echo $? > status; echo after-game")
    wait_player(term, (6, 12))
    term.key("Escape")
    assert_game_over(term, 0)


def test_game_ends_with_ctrl_c(term):
    term.start(f"{PLAY}; echo $? > status; echo after-game", setup="trap : INT")
    wait_player(term, (6, 12))
    press_until(term, "ctrl+c", lambda: term.file("status"), "the game to end")
    assert_game_over(term, 128 + 2)


def test_game_stopped_with_ctrl_z_goes_on_after_fg(term):
    term.start(f"""set -m
{PLAY}; echo $? > stopped_status
step stopped
fg > /dev/null; echo $? > status; echo after-game""", shell="sh")  # see test_input
    wait_player(term, (6, 12))
    press_until(term, "ctrl+z", lambda: os.path.exists(os.path.join(term.folder, "stopped.mark")),
                "the game to stop")
    assert term.status("stopped_status") == 128 + 20
    term.release("stopped")
    term.key("Right")
    wait_player(term, (6, 13))
    term.key("q")
    assert_game_over(term, 0)


def test_game_with_its_output_redirected_gives_the_terminal_back(term):
    term.start(f"{PLAY} > /dev/null; echo $? > status; echo after-game")
    wait_for(lambda: not term.tty_attributes()[3] & termios.ECHO, "the game loop")
    press_until(term, "q", lambda: term.file("status"), "the game to end")
    assert_game_over(term, 0)
