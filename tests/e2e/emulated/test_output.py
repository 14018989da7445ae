"""PRINT, COLOR, LOCATE, CURSOR and FONT in the 32-bit exe: the console
calls, their arguments and the cells drawn, cell by cell."""

import pytest

from emulator import Console

FILL = (".", 0x07)  # every cell before the run: what a cell left alone still shows


def screen(width=80, height=25, **settings):
    console = Console(width, height, fill=FILL[0], fill_attribute=FILL[1])
    for name, value in settings.items():
        setattr(console, name, value)
    return console


def changed(console):
    """{(row, column): (character, attribute)} of every cell that changed."""
    return {(r, c): console.cell(r, c) for r in range(console.height)
            for c in range(console.width) if console.cell(r, c) != FILL}


def cells(row, column, text, attribute):
    return {(row, column + i): (ch, attribute) for i, ch in enumerate(text)}


def print_writes(run):
    """Checks the shape of a PRINT run's console calls (the cell writes,
    after the screen buffer's size when a wide character asks for it, then
    the cursor homed) and returns the cell writes."""
    assert len(run.calls("GetConsoleScreenBufferInfo")) <= 1, "the buffer's size is asked once"
    calls = [c for c in run.console_calls() if c[0] != "GetConsoleScreenBufferInfo"]
    assert calls[-2:] == [("SetConsoleCursorPosition", "STDOUT", (0, 0)), ("ExitProcess", 0)]
    writes = calls[:-2]
    assert all(w[0] == "WriteConsoleOutputW" and w[1] == "STDOUT" for w in writes), writes
    # Every block lies at a non-negative position (doc/developing.md, Reliability).
    assert all(w[4][0] >= 0 and w[4][1] >= 0 for w in writes), writes
    assert run.console.cursor == (0, 0)
    return writes


@pytest.mark.parametrize("args, expected", [
    pytest.param(["2", "5", "0A", "Hello"], cells(2, 5, "Hello", 0x0A), id="one run"),
    pytest.param(["2", "5", "0A", "Hel", "0C", "lo", "1F", "!", "0x4e", "?"],
                 {**cells(2, 5, "Hel", 0x0A), **cells(2, 8, "lo", 0x0C),
                  **cells(2, 10, "!", 0x1F), **cells(2, 11, "?", 0x4E)}, id="runs"),
    pytest.param(["3", "10", "1F", "ab\\ncd", "2E", "\\0Aef\\ag"],
                 {**cells(3, 10, "ab", 0x1F), **cells(4, 10, "cd", 0x1F),
                  **cells(5, 10, "ef", 0x2E), **cells(6, 10, "g", 0x2E)},
                 id="new lines back to the start column"),
    pytest.param(["0", "0", "07", "\\41\\42\\414\\\\x\\"], cells(0, 0, "ABA4\\x", 0x07),
                 id="escapes"),
    pytest.param(["0", "0", "07", "\\80\\E9\\FF\\20\\9F"], cells(0, 0, "€éÿ Ÿ", 0x07),
                 id="code page 1252"),
    pytest.param(["1", "1", "0E", "x\\0y\\00z"],
                 {(1, 1): ("x", 0x0E), (1, 3): ("y", 0x0E), (1, 5): ("z", 0x0E)},
                 id="transparent cells"),
    pytest.param(["-1", "-2", "0B", "abcd\\nefgh\\nijkl"],
                 {**cells(0, 0, "gh", 0x0B), **cells(1, 0, "kl", 0x0B)},
                 id="clipped above and left"),
    pytest.param(["24", "77", "0B", "abcdef\\nxyz"], cells(24, 77, "abc", 0x0B),
                 id="clipped right and below"),
    pytest.param(["0", "32767", "0B", "abc"], {}, id="far right, wrapping to negative columns"),
    pytest.param(["4294967296", "0", "07", "X"], {}, id="row beyond 32 bits reads -1"),
    pytest.param(["-4294967296", "0", "07", "X"], cells(1, 0, "X", 0x07),
                 id="minus a row beyond 32 bits reads 1"),
    pytest.param([" +3", "- 4", "0A", "Z"], cells(3, 0, "Z", 0x0A),
                 id="blanks and signs"),
    # 12345 is 2345, less 0300: the console's marks of a wide character's
    # halves, which it took off every cell written in a code page.
    pytest.param(["0", "0", "zz", "a", "12345", "b", " 2A", "c", "0C"],
                 {(0, 0): ("a", 0x00), (0, 1): ("b", 0x2045), (0, 2): ("c", 0x2A)},
                 id="attributes, a final one without text ignored"),
    # Text as written, whatever the code page: a wide character takes two
    # cells (the second shows ""), and one that would reach past the right
    # edge is not drawn. The frame the Wine suite reads back in three locales.
    pytest.param(["1", "1", "0F", "Привет é ┌─┐ 日本"],
                 cells(1, 1, [*"Привет é ┌─┐ ", "日", "", "本", ""], 0x0F), id="text as written"),
    pytest.param(["0", "75", "07", "ab日本"], cells(0, 75, ["a", "b", "日", ""], 0x07),
                 id="wide at the right edge"),
    pytest.param(["2", "0", "0E", "\\E9\\80\\C4\\81\u0081\U0001F600x\ud800y\\\u00e9"],
                 cells(2, 0, "é€Ä\x81\x81\ufffdx\ufffdyé", 0x0E),
                 id="escapes, C1, beyond U+FFFF, a lone surrogate"),
])
def test_print_draws_cells(conx, args, expected):
    run = conx("PRINT", *args, console=screen())
    assert changed(run.console) == expected
    print_writes(run)
    assert run.exit_code == 0 and run.stdout == ""


def test_print_writes_one_block_and_homes_the_cursor(conx):
    run = conx("PRINT", "2", "5", "0A", "\\80", console=screen(cursor=(7, 9)))
    assert print_writes(run) == [("WriteConsoleOutputW", "STDOUT", (256, 1), (0, 0), (5, 2, 5, 2))]
    assert changed(run.console) == {(2, 5): ("€", 0x0A)}


@pytest.mark.parametrize("args", [["1", "2", "0A", "Hi"], ["1", "2", "0A"]],
                         ids=["drawing", "fewer than four arguments"])
@pytest.mark.parametrize("keys, code", [([], 0), ([97], 97), ([224, 72], 327), ([0, 59], 314)])
def test_print_exits_with_a_waiting_key(conx, args, keys, code):
    console = screen(cursor=(7, 9))
    console.type_keys(*(keys + [98] if keys else []))  # one key read, the next one left
    run = conx("PRINT", *args, console=console)
    assert run.exit_code == code
    assert run.console.cursor == (0, 0)
    assert list(run.console.keys) == ([98] if keys else [])
    assert changed(run.console) == (cells(1, 2, "Hi", 0x0A) if len(args) == 4 else {})


def frame(rows, columns, band=None):
    """A full PRINT command line of `rows` x `columns` cells in four colour
    runs per row (a transparent band of columns if given), and the cells
    it must leave."""
    args, expected = [], {}
    run = columns // 4
    for r in range(rows):
        for k in range(4):
            attribute = 0x10 * (k + 1) + r % 16
            text = ""
            for c in range(k * run, (k + 1) * run if k < 3 else columns):
                if band and band[0] <= c < band[1]:
                    text += "\\00"
                else:
                    ch = chr(ord("A") + (r + c) % 26)
                    text += ch
                    expected[r, c] = (ch, attribute)
            if k == 3 and r < rows - 1:
                text += "\\n"
            args += [f"{attribute:02X}", text]
    return args, expected


@pytest.mark.parametrize("band, writes", [(None, 1), ((36, 44), 2)],
                         ids=["opaque", "transparent band"])
def test_print_full_frame_is_one_block_per_side(conx, band, writes):
    args, expected = frame(25, 80, band)
    run = conx("PRINT", "0", "0", *args, console=screen())
    assert changed(run.console) == expected
    assert len(print_writes(run)) == writes


def test_print_frame_larger_than_its_stage(conx):
    # 270 columns and 70 rows: beyond one block's 256 columns and 64 rows.
    args, expected = frame(70, 270, band=(100, 110))
    run = conx("PRINT", "0", "20", *args, console=screen(300, 80))
    assert changed(run.console) == {(r, c + 20): cell for (r, c), cell in expected.items()}
    print_writes(run)


@pytest.mark.parametrize("args, attribute", [
    (["1F"], 0x1F), (["0x0c"], 0x0C), (["4294967296"], 0xFFFF), ([], None), (["1F", "2"], None)])
def test_color(conx, args, attribute):
    run = conx("COLOR", *args)
    if attribute is None:
        assert run.console_calls() == [("ExitProcess", 0)]
        assert run.console.attribute == 0x07
    else:
        assert run.console_calls() == [("SetConsoleTextAttribute", "STDOUT", attribute),
                                       ("ExitProcess", 0)]
        assert run.console.attribute == attribute


@pytest.mark.parametrize("args, sent, cursor", [
    (["3", "5"], (5, 3), (5, 3)),
    (["24", "79"], (79, 24), (79, 24)),
    (["4294967299", "5"], (5, 3), (5, 3)),
    (["30", "5"], (5, 30), (1, 1)),  # off the screen: the console keeps the cursor
    (["3"], None, (1, 1)),
    (["3", "5", "7"], None, (1, 1)),
])
def test_locate(conx, args, sent, cursor):
    console = screen(cursor=(1, 1))
    run = conx("LOCATE", *args, console=console)
    expected = [("SetConsoleCursorPosition", "STDOUT", sent)] if sent else []
    assert run.console_calls() == expected + [("ExitProcess", 0)]
    assert run.console.cursor == cursor


@pytest.mark.parametrize("before, setting, after", [
    ((25, True), "0", (25, False)),
    ((50, False), "1", (50, True)),
    ((100, False), "25", (25, True)),
    ((25, False), "50", (50, True)),
    ((25, True), "100", (100, True)),
    ((50, False), "30", (50, False)),
    ((50, True), "-25", (50, True)),
])
def test_cursor(conx, before, setting, after):
    console = screen(cursor_size=before[0], cursor_visible=before[1])
    run = conx("CURSOR", setting, console=console)
    assert (run.console.cursor_size, run.console.cursor_visible) == after
    assert run.calls("SetConsoleCursorInfo")[-1] == ("SetConsoleCursorInfo", "STDOUT",
                                                     (after[0], int(after[1])))


@pytest.mark.parametrize("args", [[], ["25", "1"]])
def test_cursor_wants_one_parameter(conx, args):
    run = conx("CURSOR", *args)
    assert run.console_calls() == [("ExitProcess", 0)]


@pytest.mark.parametrize("args, has_set_font, index", [
    (["3"], True, 3), (["4294967297"], True, 1), (["3"], False, None), ([], True, None)])
def test_font(conx, args, has_set_font, index):
    run = conx("FONT", *args, console=screen(has_set_font=has_set_font))
    assert run.console.font == index
    assert run.exit_code == 0
    if args:
        assert run.console_calls()[:2] == [("GetModuleHandleA", "kernel32.dll"),
                                           ("GetProcAddress", "kernel32.dll", "SetConsoleFont")]
    assert run.calls("SetConsoleFont") == ([("SetConsoleFont", "STDOUT", index)]
                                           if index is not None else [])
