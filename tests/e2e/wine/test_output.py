"""PRINT, COLOR, LOCATE, CURSOR and FONT, read back from the pane."""

import pytest

import console as c


def cells(row, column, text):
    return {(row, column + i) for i in range(len(text))}


def test_print_draws_coloured_text_and_nothing_else(console):
    run = console.conx("PRINT", "2", "5", "0A", "Hello")
    assert run.status == 0
    assert run.screen.text(2, 5, 5) == "Hello"
    assert run.screen.attrs(2, 5, 5) == [0x0A] * 5
    assert run.screen.blank_except(cells(2, 5, "Hello")) == []
    assert run.screen.cursor == (0, 0)


def test_print_runs_continue_each_other_in_their_own_colours(console):
    run = console.conx("PRINT", "2", "5", "0A", "Hel", "0C", "lo", "1F", "!", "0x4e", "?")
    assert run.screen.text(2, 5, 7) == "Hello!?"
    assert run.screen.attrs(2, 5, 7) == [0x0A] * 3 + [0x0C] * 2 + [0x1F, 0x4E]
    assert run.screen.blank_except(cells(2, 5, "Hello!?")) == []


def test_print_attribute_is_hex_cut_to_its_colours(console):
    # 'zz' has no digits: 0, black on black; '12345' keeps its low 16 bits,
    # whose colour byte is 45; 'C' is 0C; '0x4e' takes the prefix.
    cases = [("07", 0x07), ("0F", 0x0F), ("1F", 0x1F), ("70", 0x70), ("8E", 0x8E),
             ("F0", 0xF0), ("0c", 0x0C), ("zz", 0x00), ("C", 0x0C), ("12345", 0x45),
             ("0x4e", 0x4E), (" 2A", 0x2A)]
    args = []
    for attribute, _ in cases:
        args += [attribute, "Xy"]
    run = console.conx("PRINT", "0", "0", *args)
    assert run.screen.text(0, 0, 2 * len(cases)) == "Xy" * len(cases)
    for i, (attribute, expected) in enumerate(cases):
        assert run.screen.attrs(0, 2 * i, 2) == [expected] * 2, attribute


def test_print_all_sixteen_colours_on_both_planes(console):
    # Foreground 7 goes last on each row: Wine sends it as a full SGR reset
    # and then does not send the background again, so on a coloured
    # background the terminal shows it (and following cells of the same
    # background) on the default background. Only its foreground is checked.
    order = [fg for fg in range(16) if fg != 7] + [7]
    args = []
    for bg in range(16):
        for fg in order:
            args += [f"{bg:X}{fg:X}", "#"]
        args += ["00", "\\n"]
    run = console.conx("PRINT", "1", "3", *args)
    for bg in range(16):
        assert run.screen.attrs(1 + bg, 3, 15) == [bg << 4 | fg for fg in order[:15]]
        assert run.screen.attrs(1 + bg, 18, 1)[0] & 0x0F == 7


def test_print_new_lines_return_to_the_start_column(console):
    # \n, \0A and \a are all byte 10
    run = console.conx("PRINT", "3", "5", "1E", "ab\\ncd\\0Aef\\agh")
    for i, text in enumerate(["ab", "cd", "ef", "gh"]):
        assert run.screen.text(3 + i, 5, 2) == text
        assert run.screen.attrs(3 + i, 5, 2) == [0x1E] * 2
    assert run.screen.blank_except(set().union(*(cells(3 + i, 5, "ab") for i in range(4)))) == []


def test_print_new_line_in_a_later_run_returns_to_first_start_column(console):
    run = console.conx("PRINT", "1", "10", "0A", "one", "0C", "\\ntwo")
    assert run.screen.text(1, 10, 3) == "one"
    assert run.screen.text(2, 10, 3) == "two"
    assert run.screen.attrs(2, 10, 3) == [0x0C] * 3


def test_print_negative_column_clips_the_left_part(console):
    run = console.conx("PRINT", "4", "-3", "0B", "ABCDE\\nabcdefg")
    assert run.screen.text(4, 0, 2) == "DE"
    assert run.screen.text(5, 0, 4) == "defg"
    assert run.screen.blank_except(cells(4, 0, "DE") | cells(5, 0, "defg")) == []


def test_print_negative_row_clips_the_lines_above(console):
    run = console.conx("PRINT", "-2", "2", "0B", "gone\\nalso gone\\nnext")
    assert run.screen.text(0, 2, 4) == "next"
    assert run.screen.blank_except(cells(0, 2, "next")) == []


def test_print_right_edge_clips_without_wrapping(console):
    run = console.conx("PRINT", "6", "77", "0D", "ABCDEF\\nxy")
    assert run.screen.text(6, 77, 3) == "ABC"
    assert run.screen.text(7, 77, 2) == "xy"
    assert run.screen.blank_except(cells(6, 77, "ABC") | cells(7, 77, "xy")) == []


def test_print_bottom_edge_clips_without_scrolling(console):
    run = console.conx("PRINT", "23", "0", "0E", "row 23\\nrow 24\\nbeyond")
    assert run.screen.text(23, 0, 6) == "row 23"
    assert run.screen.text(24, 0, 6) == "row 24"
    assert run.screen.blank_except(cells(23, 0, "row 23") | cells(24, 0, "row 24")) == []


def test_print_far_outside_the_buffer_draws_nothing(console):
    run = console.conx("PRINT", "100", "300", "0E", "nowhere", steps=[])
    assert run.report["exit"] == "0"
    assert run.screen.blank_except(set()) == []


def test_print_transparent_cells_keep_what_is_on_screen(console):
    run = console.script('%CONX% PRINT 5 0 1F ########\n'
                         '%CONX% PRINT 5 0 0A "A\\0-\\00G\\0"')
    assert run.screen.text(5, 0, 8) == "A#-#G###"
    assert run.screen.attrs(5, 0, 8) == [0x0A, 0x1F, 0x0A, 0x1F, 0x0A, 0x1F, 0x1F, 0x1F]


def test_print_escapes_on_screen(console):
    # \41\42 -> AB; \414 -> A4 (third digit is a character); \\ -> \;
    # \z -> z; \x41 -> x41; \4x -> byte 4 then x is not asserted (control glyph)
    run = console.conx("PRINT", "0", "0", "07", "\\41\\42|\\414|a\\\\b|\\z|\\x41|\\ |abc\\")
    assert run.screen.text(0).rstrip() == "AB|A4|a\\b|z|x41| |abc"


TEXT = "Привет é ┌─┐ 日本"
ESCAPES = "caf\\E9 \\80 \\A9"  # 1252 in every locale
# Wine takes the ANSI and OEM code pages from the locale.
LOCALES = [("C.UTF-8", 1252, 437), ("ru_RU.UTF-8", 1251, 866), ("ja_JP.UTF-8", 932, 932)]


@pytest.mark.parametrize("locale, ansi, oem", LOCALES, ids=[f"ansi {a}" for _, a, _ in LOCALES])
@pytest.mark.parametrize("given", [
    "command line", "batch file in the OEM code page",
    pytest.param("UTF-8 batch file after chcp 65001", marks=pytest.mark.xfail(
        strict=True, reason="Wine 8's cmd reads a batch file in the OEM code page whatever "
        "chcp sets; Windows' cmd reads it in the console's code page"))])
def test_print_text_as_written_in_every_code_page(console, locale, ansi, oem, given):
    # Whatever the ANSI code page (PRINT used to read its text in it and show
    # it as 1252), a character a cell, two for a wide one; escapes are 1252.
    # A batch file saved in the OEM code page holds what that code page has.
    text = TEXT
    if given == "command line":
        run = console.conx("PRINT", "1", "0", "0F", text, "0E", ESCAPES, steps=[],
                           env={"LANG": locale, "LC_ALL": locale})
        assert run.report["cpbefore"] == run.report["cpafter"] == str(oem)
    else:
        utf8 = given.startswith("UTF-8")
        if not utf8:
            text = "".join(ch for ch in TEXT if ch == " " or ch.encode(f"cp{oem}", "ignore"))
        lines = ["chcp 65001 >nul"] if utf8 else []
        run = console.script("\n".join(lines + [f'%CONX% PRINT 1 0 0F "{text}" 0E "{ESCAPES}"']),
                             encoding="utf-8" if utf8 else f"cp{oem}",
                             env={"LANG": locale, "LC_ALL": locale})
    assert run.screen.text(1).rstrip() == text + "café € ©", run.screen.dump()
    assert run.screen.attrs(1, 0, 1) == [0x0F]


def test_print_cursor_goes_home_afterwards(console):
    run = console.script("%CONX% LOCATE 10 20\n%CONX% PRINT 3 3 0A Hi")
    assert run.screen.text(3, 3, 2) == "Hi"
    assert run.screen.cursor == (0, 0)


@pytest.mark.parametrize("key,code", [("a", 97), ("esc", 27)])
def test_print_waiting_key_becomes_exit_code(console, key, code):
    run = console.conx("PRINT", "2", "5", "0A", "Hello", steps=[f"key={key}"])
    assert run.exit_code == code
    assert run.screen.text(2, 5, 5) == "Hello"
    assert run.report["types"] == "1"  # the key was read; its key-up is left


def test_print_without_text_draws_nothing_but_homes_and_polls(console):
    run = console.script("%CONX% LOCATE 10 20\n%CONX% PRINT 2 5 0A")
    assert run.screen.blank_except(set()) == []
    assert run.screen.cursor == (0, 0)
    run = console.conx("PRINT", "2", "5", "0A", steps=["key=b"])
    assert run.exit_code == 98
    assert run.report["cpafter"] == "437"


def test_print_final_attribute_without_text_is_ignored(console):
    run = console.conx("PRINT", "2", "5", "0A", "Hi", "0C")
    assert run.screen.text(2, 5, 2) == "Hi"
    assert run.screen.attrs(2, 5, 2) == [0x0A] * 2
    assert run.screen.blank_except(cells(2, 5, "Hi")) == []


def test_print_does_not_touch_the_console_text_colour(console):
    run = console.script("%CONX% PRINT 5 0 4E red\necho plain")
    assert run.screen.text(0, 0, 5) == "plain"
    assert run.screen.attrs(0, 0, 5) == [0x07] * 5
    assert run.screen.attrs(5, 0, 3) == [0x4E] * 3


def test_print_a_full_screen_frame(console):
    # 25 lines of 80 cells in one PRINT: every cell lands, nothing scrolls.
    line = "".join(chr(ord("a") + (i % 26)) for i in range(80))
    text = "\\n".join(line[r:] + line[:r] for r in range(25))
    run = console.conx("PRINT", "0", "0", "2F", text)
    for r in range(25):
        assert run.screen.text(r) == line[r:] + line[:r]
        assert run.screen.attrs(r, 0, 80) == [0x2F] * 80


# ---- COLOR, LOCATE, CURSOR, FONT ---------------------------------------------------------

@pytest.mark.parametrize("arg,expected", [("1F", 0x1F), ("0x1f", 0x1F), ("2e", 0x2E)])
def test_color_sets_the_colour_of_echo_lines(console, arg, expected):
    run = console.script(f"%CONX% COLOR {arg}\necho hello\necho there")
    assert run.screen.text(0, 0, 5) == "hello"
    assert run.screen.attrs(0, 0, 5) == [expected] * 5
    assert run.screen.attrs(1, 0, 5) == [expected] * 5


@pytest.mark.parametrize("args", ["", "1F 2"], ids=["none", "two"])
def test_color_with_wrong_count_does_nothing(console, args):
    run = console.script(f"%CONX% COLOR {args}\necho hello")
    assert run.screen.attrs(0, 0, 5) == [0x07] * 5


def test_locate_moves_the_cursor(console):
    run = console.conx("LOCATE", "3", "10")
    assert run.status == 0
    assert run.screen.cursor == (3, 10)
    assert run.screen.blank_except(set()) == []


@pytest.mark.parametrize("args", [("3",), ("3", "10", "1")], ids=["one", "three"])
def test_locate_with_wrong_count_does_nothing(console, args):
    run = console.conx("LOCATE", *args)
    assert run.screen.cursor == (0, 0)


def test_locate_then_echo_writes_there(console):
    run = console.script("%CONX% LOCATE 12 40\necho here")
    assert run.screen.text(12, 40, 4) == "here"


def test_cursor_visibility_in_pane(console):
    # Each step runs, then the pane is read while the batch file waits in
    # KBD: once the pane's process has ended, tmux shows the cursor hidden
    # whatever it was.
    steps = [("CURSOR 25", True), ("CURSOR 0", False), ("CURSOR 1", True), ("CURSOR 0", False),
             ("CURSOR 30", False), ("CURSOR 50", True), ("CURSOR x", False),
             ("CURSOR 100", True), ("CURSOR 0 1", True), ("CURSOR", True)]
    lines = []
    for i, (step, _) in enumerate(steps):
        lines += [f"%CONX% {step}", f"echo step{i}", "%CONX% KBD"]
    run = console.script("\n".join(lines), timeout=40, keys_delay=0.3,
                         live=[(f"step{i}", ["x"]) for i in range(len(steps))])
    shown = [screen.cursor_visible for screen in run.live]
    assert shown == [visible for _, visible in steps]


@pytest.mark.parametrize("args", [("2",), ("0",), (), ("99999",)])
def test_font_runs_without_harm(console, args):
    run = console.script(f"%CONX% PRINT 1 1 0A before\n%CONX% FONT {' '.join(args)}\n"
                         "echo code=%errorlevel%")
    assert run.screen.text(0, 0, 6) == "code=0"
    assert run.screen.text(1, 1, 6) == "before"
    assert run.screen.attrs(1, 1, 6) == [0x0A] * 6


def test_print_position_is_cut_to_16_bits(console):
    # 65536 is column 0; 65535 is column -1, so the first cell is clipped;
    # a row of 65538 is row 2.
    run = console.conx("PRINT", "65538", "65535", "0A", "xAB", "0C", "\\nCD")
    assert run.screen.text(2, 0, 2) == "AB"
    assert run.screen.blank_except(cells(2, 0, "AB") | cells(3, 0, "D")) == []
    assert run.screen.cell(3, 0) == ("D", 0x0C)


def test_locate_position_is_cut_to_16_bits(console):
    run = console.conx("LOCATE", "65539", "65546")
    assert run.screen.cursor == (3, 10)


@pytest.mark.parametrize("row,column,lines,length", [
    (5, 20, 3, 275), (2, 3, 70, 4), (-3, -10, 70, 40), (1, -30, 2, 320), (70, 250, 12, 60)],
    ids=["wide", "tall", "tall-clipped", "wide-clipped", "bottom-right"])
def test_print_large_buffer_every_cell_lands(console, row, column, lines, length):
    # A 300x80 console: lines longer than 256 cells, more than 64 rows.
    width, height = 300, 80
    line = "".join(chr(ord("A") + (i % 26)) for i in range(length + 26))
    texts = [line[r % 26:][:length] for r in range(lines)]
    run = console.conx("PRINT", str(row), str(column), "1E", "\\n".join(texts), "2F", "+end",
                       width=width, height=height)
    keep = set()
    for r, text in enumerate(texts):
        on_screen = text[max(0, -column):][:width - max(column, 0)]
        first = max(column, 0)
        if not 0 <= row + r < height:
            continue
        assert run.screen.text(row + r, first, len(on_screen)) == on_screen, r
        assert run.screen.attrs(row + r, first, len(on_screen)) == [0x1E] * len(on_screen), r
        keep |= cells(row + r, first, on_screen)
    end_row, end_column = row + lines - 1, column + length
    if 0 <= end_row < height and 0 <= end_column < width:
        end = "+end"[:width - end_column]
        assert run.screen.text(end_row, end_column, len(end)) == end
        keep |= cells(end_row, end_column, end)
    assert run.screen.blank_except(keep) == []
