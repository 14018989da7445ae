"""The batch files in examples/, run by Wine's cmd.exe the way users run
them, with CONX naming conx.exe. Input comes from tmux (typed keys) or from
inject (records written into the console input)."""

import datetime

import pytest

import console as c

batch = pytest.mark.command("batch")


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


@batch
@pytest.mark.command("PRINT", "KBD", "LOCATE")
def test_menu_with_injected_arrows(console):
    run = run_example(console, "menu.bat",
                      steps=["key=down", "key=down", "key=up", "key=enter"])
    assert menu_selection(run.screen) == 2
    assert run.screen.text(13).rstrip() == "You chose: Load a saved game"
    assert run.exit_code == 2


@batch
@pytest.mark.command("PRINT", "KBD", "LOCATE")
def test_menu_wraps_around_and_takes_digits(console):
    run = run_example(console, "menu.bat", steps=["key=up", "key=3", "key=down", "key=enter"])
    assert menu_selection(run.screen) == 1
    assert run.screen.text(13).rstrip() == "You chose: Start a new game"
    assert run.exit_code == 1


@batch
@pytest.mark.command("PRINT", "KBD", "LOCATE")
def test_menu_escape_leaves(console):
    run = run_example(console, "menu.bat", steps=["key=down", "key=esc"])
    assert menu_selection(run.screen) == 2
    assert run.screen.text(13).rstrip() == "Left without choosing."
    assert run.exit_code == 0


@batch
@pytest.mark.command("PRINT", "KBD", "LOCATE")
def test_menu_with_keys_typed_in_the_pane(console):
    # Keys typed by tmux once the menu is up and KBD is waiting for them.
    run = run_example(console, "menu.bat", live=("Up/Down or", ["Down", "Enter"]),
                      keys_delay=1.0, key_gap=1.0)
    assert menu_selection(run.live) == 1
    assert menu_selection(run.screen) == 2
    assert run.screen.text(13).rstrip() == "You chose: Load a saved game"
    assert run.status == 2


@batch
@pytest.mark.command("TIME", "MOUSE", "INPUTHIT")
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


@batch
@pytest.mark.command("PRINT", "KBD", "_KBD", "INPUTHIT", "TIME", "COLOR", "CURSOR")
@pytest.mark.parametrize("after,then,steps,shown", [
    ("Reading keys.", ["echo key %key%"], ["key=x"], "key 120"),
    ("Keys and the mouse.", ["goto :eof", ":key", "echo key %key%", "goto :eof", ":click",
                             "echo click %row% %col% %btn%"],
     ["mouse=3,7,0,1", "start", "sleep=1500", "mouse=5,9,1"], "click 5 9 1"),
    ("with for /f:", ["echo key %key% %now%"], ["key=k"], "key 107 "),
    ("Leaving.", ["echo left"], ["key=a", "key=b"], "left"),
    ("A frame, saved so:", [], [], "┌────────┐"),
], ids=["print-key", "wait-loop", "for-f", "leaving", "frame"])
def test_the_guides_examples_run_as_written(console, after, then, steps, shown):
    script = console.workdir / "example.bat"
    write_with_conx_on_path(script, ["cls", *indented_block(GUIDE, after), *then])
    run = console.run(["cmd", "/c", c.windows_path(script)], cwd=console.workdir, steps=steps,
                      timeout=20)
    assert any(shown in line for line in run.screen.lines()), (run.report, run.screen.dump())
    assert int(run.report["pending"]) <= 1, "at most the last key's release is left"


@batch
@pytest.mark.command("PRINT", "KBD", "MOUSE", "CURSOR", "LOCATE")
def test_the_quick_start_of_the_guide_and_the_readme(console):
    guide = indented_block(GUIDE, "Save this as try.bat")
    assert indented_block(c.ROOT / "README.md", "## Quick start: batch files") == guide
    assert guide[0] == "@echo off"
    script = console.workdir / "try.bat"
    write_with_conx_on_path(script, guide)
    # Each key once the frame before it is drawn and PRINT has polled.
    run = console.run(["cmd", "/c", c.windows_path(script)], cwd=console.workdir, timeout=30,
                      steps=["start", "waitcell=2,5,conx,8000", "key=up", "waitcell=4,4,Up,8000",
                             "sleep=500", "key=esc", "waitcell=6,4,Now,8000", "sleep=500",
                             "mouse=10,20,1"])
    assert run.screen.text(4, 4, 4) == "Up  "
    assert run.screen.text(8).rstrip() == "You clicked row 10, column 20 (buttons 1)."
    assert run.report["late"] == "0"


@batch
@pytest.mark.command("MOUSE")
@pytest.mark.parametrize("buttons,name", [(2, "right"), (3, "both"), (4, "middle")])
def test_events_names_the_button(console, buttons, name):
    run = run_example(console, "events.bat", steps=[f"mouse=0,79,{buttons}", "key=x"])
    assert run.screen.lines()[3] == f"Click: row 0, column 79, {name} button"


@batch
@pytest.mark.command("COLOR")
def test_colors_example(console):
    run = run_example(console, "colors.bat")
    expected = [(" White on blue  (COLOR 1F)", 0x1F), (" Yellow         (COLOR 0E)", 0x0E),
                (" White on red   (COLOR 4F)", 0x4F), (" Bright green   (COLOR 0A)", 0x0A),
                (" Back to grey   (COLOR 07)", 0x07)]
    for row, (text, attribute) in enumerate(expected):
        assert run.screen.text(row, 0, len(text)) == text
        assert run.screen.attrs(row, 0, len(text)) == [attribute] * len(text)


@batch
@pytest.mark.command("PRINT", "INPUTHIT", "SLEEP", "CURSOR", "LOCATE")
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
