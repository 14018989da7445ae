"""PRINT, COLOR, LOCATE and CURSOR as a terminal shows them."""
import time

BRIGHT_GREEN, BRIGHT_RED, BRIGHT_WHITE, YELLOW = 92, 91, 97, 93
BLUE_BG, RED_BG, BLACK_BG = 44, 41, 40


def test_print_colours_positions_and_runs(pane):
    pane.run('"$C" PRINT 2 5 0A Hel 0C lo 1F "two\\nlines" 4E X; echo $? > status')
    g = pane.grid()
    assert pane.text(2) == "     Hellotwo"
    assert [(c.fg, c.bg) for c in g[2][5:8]] == [(BRIGHT_GREEN, BLACK_BG)] * 3
    assert [(c.fg, c.bg) for c in g[2][8:10]] == [(BRIGHT_RED, BLACK_BG)] * 2
    assert (g[2][10].fg, g[2][10].bg) == (BRIGHT_WHITE, BLUE_BG), "Windows blue is ANSI 4"
    assert pane.text(3) == "     linesX", "a new line goes back to the start column"
    assert (g[3][10].fg, g[3][10].bg) == (YELLOW, RED_BG), "Windows red is ANSI 1"
    assert pane.cursor()[:2] == (0, 0)
    assert pane.status() == 0
    pane.assert_terminal_given_back()


def test_print_leaves_transparent_cells_and_keeps_the_shell_colour(pane):
    pane.run('printf "\\033[4;1H\\033[33mabcdefgh\\033[0m"; "$C" PRINT 3 1 0C "X\\0\\0Y"')
    g = pane.grid()
    assert pane.text(3) == "aXcdYfgh"
    assert (g[3][2].ch, g[3][2].fg) == ("c", 33), "a transparent cell keeps what it showed"
    assert g[3][1].fg == BRIGHT_RED


def test_print_with_scattered_holes_over_a_background(pane):
    # Holes cut the frame into short runs and one-cell strips; whatever order
    # its cells go out in, each shows what was last written there.
    background = "".join(chr(ord("a") + i % 26) for i in range(80))
    runs, expected = [], {}
    for row in range(4):
        for part, attribute in enumerate(("1E", "4F")):
            text = ""
            for column in range(part * 41, part * 41 + 41):  # 82 columns: 2 clipped
                hole = (column + 3 * row) % 7 == 0
                text += "\\00" if hole else "#@"[part]
                if not hole and column < 80:
                    expected[(5 + row, column)] = ("#@"[part], attribute)
            runs += [attribute, f"'{text}\\n'" if part else f"'{text}'"]
    pane.run(f'printf "\\033[6;1H\\033[33m{background}\\n{background}\\n{background}\\n'
             f'{background}\\033[0m"; "$C" PRINT 5 0 {" ".join(runs)}')
    g = pane.grid()
    for row in range(5, 9):
        for column in range(80):
            cell = g[row][column]
            if (row, column) in expected:
                ch, attribute = expected[(row, column)]
                fg = BRIGHT_WHITE if attribute == "4F" else YELLOW
                assert (cell.ch, cell.fg) == (ch, fg), (row, column)
            else:
                assert (cell.ch, cell.fg) == (background[column], 33), (row, column)
    assert pane.cursor()[:2] == (0, 0)


def test_print_across_column_512_on_a_very_wide_terminal(pane):
    # Cells up to column 511 wait to go out row by row; further right they
    # go out as they come. Both halves land where they belong.
    pane.tmux("resize-window", "-t", "conx", "-x", "600", "-y", "25")
    try:
        pane.run('"$C" PRINT 2 505 1E "ABCDEFG" 4F "HIJ\\0KL\\n\\0\\0\\0\\0\\0\\0MN"')
        g = pane.grid()
        assert "".join(c.ch for c in g[2][505:518]) == "ABCDEFGHIJ KL"
        assert [c.fg for c in g[2][505:508]] == [YELLOW] * 3
        assert [c.fg for c in g[2][512:515]] == [BRIGHT_WHITE] * 3
        assert "".join(c.ch for c in g[3][505:514]).strip() == "MN"
        assert (g[3][511].ch, g[3][512].ch) == ("M", "N")
        assert pane.cursor()[:2] == (0, 0)
    finally:
        pane.tmux("resize-window", "-t", "conx", "-x", "80", "-y", "25")


def test_print_clips_at_all_four_edges_without_scrolling(pane):
    pane.run('"$C" PRINT 0 0 07 top; "$C" PRINT -1 -2 07 "hidden\\nabcd"; '
             '"$C" PRINT 10 77 07 "right\\nnext"; "$C" PRINT 24 76 0E "WXYZ!!\\nbelow"')
    assert pane.text(0).startswith("cdp"), "left columns and the row above are dropped"
    assert pane.text(10).endswith("rig")
    assert pane.text(11)[77:] == "nex", "nothing wrapped into the next row"
    assert pane.text(24).endswith("WXYZ")
    assert len(pane.grid()[24]) == 80 and pane.grid()[24][79].ch == "Z"
    assert pane.text(0).startswith("cdp"), "the bottom-right write scrolled nothing"
    assert pane.cursor()[:2] == (0, 0)


def test_print_shows_windows_1252_and_never_raw_controls(pane):
    pane.run('"$C" PRINT 1 0 07 "\\80\\E9\\A9\\01\\1B\\7F\\81\\9F|"')
    assert pane.text(1) == "€é©☺←⌂?Ÿ|"


def test_print_shows_literal_text_as_the_locale_writes_it(pane):
    # One character a cell, two for a wide one, whose second cell the next
    # one does not cover; one with a single column left is not drawn.
    pane.run('"$C" PRINT 2 2 0F "héllo ┌─┐ € 日本" 0E "|"; "$C" PRINT 3 77 0E "ab日x"')
    g = pane.grid()
    shown = list("héllo ┌─┐ € 日") + [""] + ["本", "", "|"]
    assert [c.ch for c in g[2][2:2 + len(shown)]] == shown
    assert {(c.fg, c.bg) for c in g[2][2:18]} == {(BRIGHT_WHITE, BLACK_BG)}
    assert g[2][18].fg == YELLOW
    assert [c.ch for c in g[3][77:]] == ["a", "b", " "] and g[4][0].ch == " ", "nothing wrapped"


def test_color_colours_later_shell_output(pane):
    pane.run('"$C" COLOR 1E; printf "\\033[5;1Hhello"; "$C" COLOR 07')
    cell = pane.grid()[4][0]
    assert (cell.ch, cell.fg, cell.bg) == ("h", YELLOW, BLUE_BG)
    pane.assert_terminal_given_back()


def test_locate_moves_the_cursor(pane):
    pane.run('"$C" LOCATE 3 10; "$C" LOCATE 3; "$C" LOCATE 99 99')
    assert pane.cursor()[:2] == (10, 3)


def test_cursor_hides_and_shows(pane):
    pane.run('"$C" CURSOR 0')
    assert pane.cursor()[2] is False
    pane.run('"$C" CURSOR 0; "$C" CURSOR 1')
    assert pane.cursor()[2] is True
    pane.assert_terminal_given_back()


def test_time_and_sleep(pane):
    pane.run('date +"%w %Y %-m %-d %-H %-M" > expected; "$C" TIME > time; '
             's=$(date +%s%N); "$C" SLEEP 300; echo $(( ($(date +%s%N) - s) / 1000000 )) > slept')
    fields = pane.file("time").split()
    assert len(fields) == 8
    assert fields[:6] == pane.file("expected").split()
    assert 0 <= int(fields[7]) <= 999
    assert 300 <= int(pane.file("slept")) < 1500


def test_no_command_but_inputhit_changes_the_tty(pane):
    commands = ["PRINT 1 1 07 x", "COLOR 07", "LOCATE 2 2", "CURSOR 50", "CURSOR 1", "FONT 0",
                "TIME", "SLEEP 10", "_KBD", "print", "NOSUCH"]
    pane.run("; ".join(f'"$C" {c}; stty -g > after{i}' for i, c in enumerate(commands)))
    before = pane.file("stty.before")
    for i, command in enumerate(commands):
        assert pane.file(f"after{i}") == before, command
    pane.assert_terminal_given_back()
