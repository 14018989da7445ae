"""The batch files in examples/, run by Wine's cmd.exe the way users run
them, with CONX naming conx.exe. Input comes from tmux (typed keys) or from
inject (records written into the console input)."""

import datetime
import re

import pytest

import console as c


def example(name):
    return c.windows_path(c.EXAMPLES / name)


def run_example(console, name, steps=None, **kw):
    argv = ["cmd", "/c", example(name)]
    if steps is None:
        return console.run([c.WINE, *argv], cwd=c.EXAMPLES, **kw)
    return console.run(argv, steps=steps, cwd=c.EXAMPLES, **kw)


MENU_ITEMS = ["Start a new game", "Load a saved game", "Quit"]


def menu_selection(screen):
    """Which menu row is highlighted (1-3), checking the frame on the way."""
    assert screen.text(2, 10, 24) == "+" + "-" * 22 + "+"
    assert screen.text(3, 10, 24) == "|" + "conx  menu".center(22) + "|"
    assert screen.attrs(3, 10, 24) == [0x1F] * 24
    assert screen.text(8, 10, 24) == "+" + "-" * 22 + "+"
    chosen = []
    for i, name in enumerate(MENU_ITEMS):
        row = 5 + i
        assert screen.text(row, 10, 24) == "| " + (" " + name).ljust(20) + " |"
        attrs = set(screen.attrs(row, 12, 20))
        assert len(attrs) == 1 and attrs <= {0x1F, 0x70}
        if attrs == {0x70}:
            chosen.append(i + 1)
    assert screen.text(10, 10, 10) == "Up/Down or"
    assert screen.attrs(10, 10, 1) == [0x08]
    assert len(chosen) == 1
    return chosen[0]


def test_menu_with_injected_arrows(console):
    run = run_example(console, "menu.bat",
                      steps=["key=down", "key=down", "key=up", "key=enter"])
    assert menu_selection(run.screen) == 2
    assert run.screen.text(13).rstrip() == "You chose: Load a saved game"
    assert run.exit_code == 2


def test_menu_wraps_around_and_takes_digits(console):
    run = run_example(console, "menu.bat", steps=["key=up", "key=3", "key=down", "key=enter"])
    assert menu_selection(run.screen) == 1
    assert run.screen.text(13).rstrip() == "You chose: Start a new game"
    assert run.exit_code == 1


def test_menu_escape_leaves(console):
    run = run_example(console, "menu.bat", steps=["key=down", "key=esc"])
    assert menu_selection(run.screen) == 2
    assert run.screen.text(13).rstrip() == "Left without choosing."
    assert run.exit_code == 0


def test_menu_with_keys_typed_in_the_pane(console):
    # Keys typed by tmux once the menu is up and KBD is waiting for them.
    run = run_example(console, "menu.bat", live=("Up/Down or", ["Down", "Enter"]),
                      keys_delay=1.0, key_gap=1.0)
    assert menu_selection(run.live) == 1
    assert menu_selection(run.screen) == 2
    assert run.screen.text(13).rstrip() == "You chose: Load a saved game"
    assert run.status == 2


@pytest.mark.parametrize("steps,event", [
    # The click's release reaches INPUTHIT 1 first; the key comes later.
    (["mouse=6,20,1", "mouse=6,20,0", "start", "sleep=1500", "key=k"], "Event: key 107"),
    (["mouse=6,20,1", "mouse=7,8,1,1"], "Event: mouse at row 7, column 8, buttons 1"),
    (["mouse=6,20,1", "focus=1"], "Event: focus change"),
    (["mouse=6,20,1", "wheel=1,1,-120"], "Event: wheel, button state -7864320"),
], ids=["key", "drag", "focus", "wheel"])
def test_events_parses_reports_with_for_f(console, steps, event):
    before = datetime.datetime.now()
    run = run_example(console, "events.bat", steps=steps)
    lines = run.screen.lines()
    date, clock = lines[0], lines[1]
    now = datetime.datetime.now()
    days = {before.strftime("%Y-%-m-%-d"), now.strftime("%Y-%-m-%-d")}
    assert date.split(" ")[1] in days
    assert date.endswith(f"of the week, 0 is Sunday)")
    hms = clock.split(" ")[1].split(".")[0]
    shown = datetime.datetime.combine(now.date(), datetime.time(*map(int, hms.split(":"))))
    assert abs((shown - now).total_seconds()) < 5
    assert lines[2:6] == ["Click somewhere...", "Click: row 6, column 20, left button",
                          "Press a key or use the mouse...", event]
    assert run.report["pending"] == "0"


def indented_block(path, after):
    """The first block of lines indented by four after `after` in a document."""
    block = []
    for line in path.read_text(encoding="utf-8").split(after, 1)[1].split("\n"):
        if line.startswith("    "):
            block.append(line[4:])
        elif block:
            return block


def write_with_conx_on_path(script, lines):
    """A batch file of these lines, run as written: conx.exe is on the PATH.
    Saved in the console's code page (437), as the guide says."""
    lines = ["@echo off", f"set PATH={c.windows_path(c.CONX.parent)};%PATH%",
             *[line for line in lines if line != "@echo off"]]
    script.write_bytes(("\r\n".join(lines) + "\r\n").encode("cp437"))


GUIDE = c.ROOT / "doc" / "windows-guide.txt"
CTRL_A = ["rawkey=1,0x41,0x1e,1,8", "rawkey=0,0x41,0x1e,1,8"]
WAIT_LOOP_THEN = ["goto :eof", ":key", "echo key %key%", "goto :eof", ":click",
                  "echo click %row% %col% %btn%"]


def shows(run, expected):
    """One expectation of a guide example: a text on some line, (row, the
    whole row), a pattern a whole line matches, or fields of the report."""
    lines = run.screen.lines()
    if isinstance(expected, dict):
        return all(run.report.get(name) == value for name, value in expected.items())
    if isinstance(expected, tuple):
        return lines[expected[0]] == expected[1]
    if isinstance(expected, re.Pattern):
        return any(expected.fullmatch(line) for line in lines)
    return any(expected in line for line in lines)


@pytest.mark.parametrize("after,before,then,steps,shown", [
    ("Reading keys.", [], ["echo key %key%"], ["key=x"], ["key 120"]),
    ("Keys and the mouse.", [], WAIT_LOOP_THEN,
     ["mouse=3,7,0,1", "start", "sleep=1500", "mouse=5,9,1"], ["click 5 9 1"]),
    # A click waiting behind a move goes with it: the key after them ends the wait.
    ("Keys and the mouse.", [], WAIT_LOOP_THEN,
     ["mouse=3,7,0,1", "mouse=5,9,1", "start", "sleep=1500", "key=k"], ["key 107"]),
    ("with for /f:", [], ["echo key %key% %now%"], ["key=k"], ["key 107 "]),
    ("drop the first digit:", [], [], [], [re.compile(r"([01]\d|2[0-3]):[0-5]\d:[0-5]\d")]),
    # Typed ahead, the first key is PRINT's. Up (327) and the last Backspace's
    # character are dropped; the blank after the text rubs out the cell freed.
    ("Typed text.", [], [], ['text=A"%!b', "key=bksp", "text=\\^&<|> ~x", "key=bksp", "key=up",
                             "key=enter"], [(5, '     A"%!\\^&<|> ~')]),
    # Found in yellow on blue with a half-height cursor; left so, below the
    # drawing. Keys with a character only: Wine's _kbhit does not see an
    # arrow, so the drain would leave it (Windows drains it).
    ("Leaving.", ["conx COLOR 1E", "conx CURSOR 50", "conx CURSOR 0", "conx PRINT 2 4 4F drawn"],
     ["echo left"], ["key=a", "key=b"],
     [(12, "left"), {"attribute": "0x1e", "cursor": "50,1", "at": "13,0"}]),
    ("End such a text with \\5C:", [], [], [], [(2, "    C:\\games\\")]),
    ("so this draws on", [], [], [], [(1, "row 1")]),
    ("does no harm:", [], [], [], [(3, "    drawn"), (4, "")]),
    # full\hit.txt is a full disk: the click's line is lost.
    ("none when lost:", [], ["echo key %key% [%line%]"], CTRL_A, ["key 1 [-1 -1 -1 1 "]),
    ("none when lost:", ["cd full"], ["echo key %key% [%line%]"], ["mouse=3,4,1"], ["key 1 []"]),
    ("A frame, saved so:", [], [], [], ["┌────────┐"]),
], ids=["print-key", "wait-loop", "click-behind-move", "for-f", "hh-mm-ss", "typed-text",
        "leaving", "backslash-quote", "16-bit-row", "redirected", "ctrl-a", "lost-line", "frame"])
def test_the_guides_examples_run_as_written(console, after, before, then, steps, shown):
    script = console.workdir / "example.bat"
    (console.workdir / "full").mkdir()
    (console.workdir / "full" / "hit.txt").symlink_to("/dev/full")
    write_with_conx_on_path(script, ["cls", *before, *indented_block(GUIDE, after), *then])
    run = console.run(["cmd", "/c", c.windows_path(script)], cwd=console.workdir, steps=steps,
                      timeout=20)
    assert all(shows(run, expected) for expected in shown), (run.report, run.screen.dump())
    assert int(run.report["pending"]) <= 1, "at most the last key's release is left"


def test_the_quick_start_of_the_guide_and_the_readme(console):
    guide = indented_block(GUIDE, "Save this as try.bat")
    assert indented_block(c.ROOT / "README.md", "## Quick start: batch files") == guide
    assert guide[0] == "@echo off"
    script = console.workdir / "try.bat"
    write_with_conx_on_path(script, guide)
    # Each key once the frame before it is drawn and PRINT has polled; the
    # click comes behind a move, which MOUSE reads past.
    run = console.run(["cmd", "/c", c.windows_path(script)], cwd=console.workdir, timeout=30,
                      steps=["start", "waitcell=2,5,conx,8000", "key=up", "waitcell=4,4,Up,8000",
                             "sleep=500", "key=esc", "waitcell=6,4,Now,8000", "sleep=500",
                             "mouse=9,9,0,1", "mouse=10,20,1"])
    assert run.screen.text(4, 4, 4) == "Up  "
    assert run.screen.text(8).rstrip() == "You clicked row 10, column 20 (buttons 1)."
    assert run.report["late"] == "0"


@pytest.mark.parametrize("buttons,name", [(2, "right"), (3, "both"), (4, "middle")])
def test_events_names_the_button(console, buttons, name):
    run = run_example(console, "events.bat", steps=[f"mouse=0,79,{buttons}", "key=x"])
    assert run.screen.lines()[3] == f"Click: row 0, column 79, {name} button"


def test_colors_example(console):
    run = run_example(console, "colors.bat")
    expected = [(" White on blue  (COLOR 1F)", 0x1F), (" Yellow         (COLOR 0E)", 0x0E),
                (" White on red   (COLOR 4F)", 0x4F), (" Bright green   (COLOR 0A)", 0x0A),
                (" Back to grey   (COLOR 07)", 0x07)]
    for row, (text, attribute) in enumerate(expected):
        assert run.screen.text(row, 0, len(text)) == text
        assert run.screen.attrs(row, 0, len(text)) == [attribute] * len(text)


def test_game_loop_driven_by_injected_input(console):
    # Each input is written once the game has shown the previous one and the
    # queue is empty: INPUTHIT reports the first pending event and discards
    # the rest, so input that piles up while a slow frame runs is lost by
    # design. A key and its release are written together.
    steps = ["start", "waitcell=3,5,@,20000", "drain"]
    for event, (row, column) in [("key=d", (3, 6)), ("key=d", (3, 7)), ("key=s", (4, 7)),
                                 ("mouse=7,20,1", (7, 20)), ("key=w", (6, 20))]:
        steps += [event, f"waitcell={row},{column},@,8000", "drain"]
    run = run_example(console, "game.bat", timeout=60, steps=steps + ["key=q"])
    assert run.report["late"] == "0"
    screen = run.screen
    assert screen.text(13).rstrip() == "Game over: 5 moves, the @ rests at row 6, column 20."
    assert screen.cell(6, 20) == ("@", 0x1E)
    # the trail is erased: only one @ in the field
    assert sum(screen.text(r).count("@") for r in range(1, 11)) == 1
    assert screen.text(1, 1, 32) == "+" + "-" * 30 + "+"
    assert screen.text(10, 1, 32) == "+" + "-" * 30 + "+"
    for r in range(2, 10):
        assert screen.cell(r, 1) == ("|", 0x1F) and screen.cell(r, 32) == ("|", 0x1F)
    assert screen.text(11, 1, 7) == "w a s d"
    assert run.report["exit"] == "0"
