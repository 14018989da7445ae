"""PRINT, COLOR, CURSOR and FONT as xterm shows them, cell for cell."""
import os
import subprocess

import pytest

from conftest import DEFAULT_BG, DEFAULT_FG, RESET, ROOT, SET, TIMEOUT, assert_screen, blank_screen, put, wait_for

# Windows colour index (attribute digit) -> xterm palette index (ANSI order).
ANSI = [0, 4, 2, 6, 1, 5, 3, 7, 8, 12, 10, 14, 9, 13, 11, 15]


def test_print_runs_new_lines_and_transparent_cells(term):
    term.run(r"""printf '\033[6;1H\033[33mabcdefghij\033[0m'
"$C" PRINT 2 5 0A Hel 0C lo 1F 'two\nlines' 4E X; echo $? > status
"$C" PRINT 5 1 0C 'X\0\0Y' 2F '\n\0\0\0\0W'""")
    expected = blank_screen()
    put(expected, 2, 5, "Hel", ANSI[0xA], ANSI[0])
    put(expected, 2, 8, "lo", ANSI[0xC], ANSI[0])
    put(expected, 2, 10, "two", ANSI[0xF], ANSI[1])
    put(expected, 3, 5, "lines", ANSI[0xF], ANSI[1])  # back to the start column
    put(expected, 3, 10, "X", ANSI[0xE], ANSI[4])
    put(expected, 5, 0, "abcdefghij", 3, DEFAULT_BG)  # the shell's text ...
    put(expected, 5, 1, "X", ANSI[0xC], ANSI[0])
    put(expected, 5, 4, "Y", ANSI[0xC], ANSI[0])      # ... shows through the \0 cells
    put(expected, 6, 5, "W", ANSI[0xF], ANSI[2])
    assert_screen(term.dump(), expected)
    assert term.status() == 0
    assert term.cursor() == (0, 0)
    term.assert_given_back()


def test_print_clips_at_every_edge(term):
    term.run(r"""
"$C" PRINT -1 -2 07 'hidden\nabcd'
"$C" PRINT 3 -3 1E 'abcdef'
"$C" PRINT 10 77 2F 'right\nnext'
"$C" PRINT 24 76 4F 'WXYZ!!\nbelow'
"$C" PRINT 25 0 07 'under' 07 'the screen'
"$C" PRINT 0 80 07 'beyond' """)
    expected = blank_screen()
    put(expected, 0, 0, "cd", ANSI[7], ANSI[0])
    put(expected, 3, 0, "def", ANSI[0xE], ANSI[1])
    put(expected, 10, 77, "rig", ANSI[0xF], ANSI[2])
    put(expected, 11, 77, "nex", ANSI[0xF], ANSI[2])  # nothing wrapped
    put(expected, 24, 76, "WXYZ", ANSI[0xF], ANSI[4])  # and nothing scrolled
    assert_screen(term.dump(), expected)
    assert term.cursor() == (0, 0)
    term.assert_given_back()


def test_print_shows_every_foreground_on_every_background(term):
    runs = []
    for background in range(16):
        for foreground in range(16):
            runs += [f"{background:X}{foreground:X}", f"{foreground:X}"]
        runs[-1] = f"'{runs[-1]}\\n'"
    term.run(f"\"$C\" PRINT 4 10 {' '.join(runs)}")
    expected = blank_screen()
    for background in range(16):
        for foreground in range(16):
            put(expected, 4 + background, 10 + foreground, f"{foreground:X}",
                ANSI[foreground], ANSI[background])
    assert_screen(term.dump(), expected)
    term.assert_given_back()


def test_print_shows_windows_1252_and_control_pictures(term):
    term.run(r""""$C" PRINT 1 0 07 '\E9\80\A9\9C|\01\1B\7F|\81\8D\8F\90\9D|'""")
    assert term.text(1) == "é€©œ|☺←⌂|?????|"
    term.assert_given_back()


@pytest.mark.parametrize("attribute", ["1E", "0C", "F0"])
def test_color_colours_text_echoed_afterwards(term, attribute):
    term.run(f'"$C" COLOR {attribute}; printf "\\033[4;3H"; echo hello')
    cells = term.dump()[3][2:7]
    background, foreground = int(attribute[0], 16), int(attribute[1], 16)
    assert [(c.ch, c.fg, c.bg) for c in cells] == \
        [(ch, ANSI[foreground], ANSI[background]) for ch in "hello"]
    term.assert_given_back()


# The printf of the README's line that gives the terminal back (its stty
# lines would change the settings each case checks).
GIVE_BACK = next(line for line in open(os.path.join(ROOT, "README.md"))
                 if line.lstrip().startswith("printf") and "stty sane" in line).split("; ", 1)[0].strip()


# xterm starts with a steady block (DECSCUSR 2); 25 and 50 are a blinking
# underline (3), 100 a blinking block (1), 1 keeps the shape.
@pytest.mark.parametrize("settings,shown,shape", [
    ("0", RESET, 2), ("0 1", SET, 2), ("0 25", SET, 3), ("50", SET, 3), ("0 100", SET, 1),
    ("100 1", SET, 1), ("25 give-back", SET, 2),
    ("0 30", RESET, 2), ("0 -1", RESET, 2),  # other settings change nothing
])
def test_cursor_visibility_and_shape(term, settings, shown, shape):
    term.run("; ".join(GIVE_BACK if s == "give-back" else f'"$C" CURSOR {s}'
                       for s in settings.split()))
    term.assert_given_back(cursor=shown)
    assert term.shape() == shape


def test_print_never_scrolls_inside_scroll_margins(term):
    # The margins go before the dump: xterm dumps only the rows inside them.
    term.run(r"""printf '\033[1;5r'; "$C" PRINT 0 0 07 'r0\nr1\nr2\nr3\nr4\nr5\nr6\nr7'
printf '\033[r'""", geometry="80x10")
    grid = term.dump()
    assert [term.text(r, grid) for r in range(10)] == [f"r{r}" for r in range(8)] + ["", ""]
    term.assert_given_back()


@pytest.mark.parametrize("allowed", [True, False])
def test_font_changes_xterm_font_only_where_allowed(term, allowed):
    options = ["-xrm", "XTerm*allowFontOps: true"] if allowed else []
    term.start('step font6; "$C" FONT 6; step font0; "$C" FONT 0', options=options)
    size = term.geometry()
    term.release("font6")
    term.wait_mark("font0")
    if allowed:
        bigger = wait_for(lambda: term.geometry() != size and term.geometry(), "the window to grow")
        assert bigger[0] > size[0] and bigger[1] > size[1]
    else:
        term.dump()  # xterm has taken the request in ...
        term.dump()  # ... and been back to its event loop
        assert term.geometry() == size
    term.release("font0")
    term.wait_done()
    wait_for(lambda: term.geometry() == size, "the window's first size")
    term.assert_given_back()


@pytest.fixture(scope="session")
def latin1(display):
    """The environment of a Latin-1 locale, made for the session: a locale
    that is not installed would leave programs in ASCII."""
    folder = os.path.join(display.folder, "locales")
    os.makedirs(folder, exist_ok=True)
    try:
        made = subprocess.run(["localedef", "-i", "en_US", "-f", "ISO-8859-1",
                               os.path.join(folder, "en_US.ISO-8859-1")],
                              capture_output=True, timeout=TIMEOUT * 3).returncode == 0
    except FileNotFoundError:
        made = False
    if not made:
        pytest.skip("cannot make the en_US.ISO-8859-1 locale (localedef, package locales)")
    return {"LOCPATH": folder, "LANG": "en_US.ISO-8859-1"}


def test_print_in_a_latin_1_terminal(term, latin1):
    # +u8: xterm without UTF-8, where bytes 80-9F are controls (9B is CSI).
    term.run(r"""locale charmap > charmap; printf '\033[4;1H\351'
"$C" PRINT 0 0 07 '\E9\DB\DD' 07 'xyz'
"$C" PRINT 1 0 1E '\80\A9\01\9C|'
printf '\033[3;1Hafter'""", options=["+u8"], env=latin1)
    assert term.file("charmap") == "ISO-8859-1\n"
    grid = term.dump()
    assert term.text(3, grid) == "é", "the terminal shows byte E9 as é"
    assert [(c.ch, c.fg, c.bg) for c in grid[0][:7]] == \
        [(ch, ANSI[7], ANSI[0]) for ch in "éÛÝxyz"] + [(" ", DEFAULT_FG, DEFAULT_BG)]
    assert term.text(1, grid) == "?©??|", "what Latin-1 lacks is a ?"
    assert term.text(2, grid) == "after", "later output is not swallowed"
    term.assert_given_back()
