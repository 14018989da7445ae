"""MOUSE, INPUTHIT, TIME, SLEEP and redirected handles. Mouse, focus,
buffer-size and typed-ahead input reach conx under Wine only when written
into the console input: inject does that (tests/e2e/inject/inject.cpp)."""

import datetime
import time

import pytest

import console as c

DEFAULT_MODE = 0x1F7  # Wine's console input mode at start


def exact_output(console, tmp_path, *args, steps):
    """conx's standard output as bytes, through a file (console input kept)."""
    out = tmp_path / "out.txt"
    run = console.conx(*args, steps=[f"stdout={c.windows_path(out)}", *steps])
    return run, out.read_bytes() if out.exists() else b""


# ---- MOUSE ----------------------------------------------------------------------


@pytest.mark.parametrize("buttons", [1, 2, 3, 4], ids=["left", "right", "both", "middle"])
def test_mouse_reports_row_column_buttons(console, buttons):
    run = console.conx("MOUSE", steps=[f"mouse=4,12,{buttons}"])
    assert run.screen.text(0).rstrip() == f"4 12 {buttons}"
    assert run.report["exit"] == "0"
    # no line end: the cursor stays after the report
    assert run.screen.cursor == (0, len(f"4 12 {buttons}"))


def test_mouse_skips_keys_releases_wheel_and_other_buttons(console):
    run = console.conx("MOUSE", steps=[
        "key=a", "key=esc", "key=up", "mouse=1,1,0", "mouse=2,2,0,1", "wheel=3,3,120",
        "wheel=3,3,-120", "mouse=5,5,8", "focus=1", "size=80,25", "mouse=7,30,2", "key=z"])
    assert run.screen.text(0).rstrip() == "7 30 2"
    # everything before the click was read and dropped; the key after it is left
    assert run.report["types"] == "1,1"


def test_mouse_move_or_double_click_with_button_held_reports(console):
    run = console.conx("MOUSE", steps=["mouse=9,40,1,1"])
    assert run.screen.text(0).rstrip() == "9 40 1"
    run = console.conx("MOUSE", steps=["mouse=10,41,2,2"])
    assert run.screen.text(0).rstrip() == "10 41 2"


@pytest.mark.parametrize("mode", [DEFAULT_MODE, 0x0, 0x57], ids=hex)
def test_mouse_restores_the_input_mode(console, mode):
    run = console.conx("MOUSE", steps=[f"mode={mode:x}", "mouse=0,0,1"])
    assert run.screen.text(0).rstrip() == "0 0 1"
    assert int(run.report["before"], 16) == mode
    assert int(run.report["after"], 16) == mode


def test_mouse_waits_for_a_click(console):
    run = console.conx("MOUSE", steps=["start", "sleep=300", "key=a", "sleep=300",
                                       "mouse=3,4,1"])
    assert run.screen.text(0).rstrip() == "3 4 1"
    assert int(run.report["ms"]) >= 550


def test_mouse_exact_output(console, tmp_path):
    run, out = exact_output(console, tmp_path, "MOUSE", steps=["mouse=24,79,4"])
    assert out == b"24 79 4"


# ---- INPUTHIT -------------------------------------------------------------------------

SET_MODE = (DEFAULT_MODE | 0x10) & ~0x40 & ~0x01


@pytest.mark.parametrize("args", [("0",), ("2",), ("-1",), ("x",), ()],
                         ids=["0", "2", "-1", "x", "none"])
def test_inputhit_not_waiting_with_nothing_pending(console, tmp_path, args):
    run, out = exact_output(console, tmp_path, "INPUTHIT", *args, steps=[])
    assert out == b""
    assert run.report["exit"] == "0"
    assert int(run.report["ms"]) < 1000
    # the mode it sets is left set
    assert int(run.report["after"], 16) == SET_MODE


@pytest.mark.parametrize("steps,line,code", [
    (["key=a"], b"-1 -1 -1 97 a", 97),
    (["key=Z"], b"-1 -1 -1 90 Z", 90),
    (["key=esc"], b"-1 -1 -1 27 \x1b", 27),
    (["mouse=3,7,1"], b"3 7 1 0  ", 0),
    (["mouse=3,7,2"], b"3 7 2 0  ", 0),
    (["mouse=12,60,0,1"], b"12 60 0 0  ", 0),
    (["focus=1"], b"-2 -2 -2 0  ", 0),
    (["focus=0"], b"-2 -2 -2 0  ", 0),
    (["wheel=5,6,120"], b"-1 -1 7864320 0  ", 0),
    (["wheel=5,6,-120"], b"-1 -1 -7864320 0  ", 0),
    (["mouse=3,7,1", "key=a"], b"3 7 1 97 a", 97),
    (["focus=1", "key=a"], b"-2 -2 -2 97 a", 97),
    (["wheel=5,6,120", "key=q"], b"-1 -1 7864320 113 q", 113),
    # Wine's _kbhit ignores keys without a character (and the last record
    # in the queue): an Up arrow is seen when a character key is behind it.
    # readKey then takes the Up arrow: 224, 72 -> 327, character 327 & 255 = 'G'.
    (["key=up", "key=x"], b"-1 -1 -1 327 G", 327),
    (["mouse=3,7,1", "key=up", "key=x"], b"3 7 1 327 G", 327),
], ids=["a", "Z", "esc", "click", "right", "move", "focus-in", "focus-out", "wheel-fwd",
        "wheel-back", "mouse-then-key", "focus-then-key", "wheel-then-key", "up", "mouse-up"])
def test_inputhit_report_rules(console, tmp_path, steps, line, code):
    run, out = exact_output(console, tmp_path, "INPUTHIT", "0", steps=steps)
    assert out == line + b"\r\n"
    assert run.exit_code == code
    assert run.report["pending"] == "0"  # everything pending was discarded
    assert int(run.report["after"], 16) == SET_MODE


def test_inputhit_up_arrow_alone_under_wine(console, tmp_path):
    # What Wine shows for an Up arrow alone: its _kbhit does not count keys
    # without a character, so no key is read; the key event still gives -1s.
    # (On Windows the report is "-1 -1 -1 327 G" and the exit code 327.)
    run, out = exact_output(console, tmp_path, "INPUTHIT", "0", steps=["key=up"])
    assert out == b"-1 -1 -1 0  \r\n"
    assert run.report["pending"] == "0"


def test_inputhit_buffer_size_event_reports_its_size(console, tmp_path):
    run, out = exact_output(console, tmp_path, "INPUTHIT", "0", steps=["size=100,30"])
    assert out.startswith(b"30 100 ")
    assert out.endswith(b" 0  \r\n")


def test_inputhit_on_the_screen(console):
    run = console.conx("INPUTHIT", "0", steps=["mouse=3,7,1", "key=a"])
    assert run.screen.text(0).rstrip() == "3 7 1 97 a"
    assert run.screen.cursor == (1, 0)
    assert run.status == 97


@pytest.mark.parametrize("event,line", [
    ("mouse=5,6,0,1", b"5 6 0 0  "),
    ("key=k", b"-1 -1 -1 107 k"),
    ("focus=1", b"-2 -2 -2 0  "),
    ("size=90,40", None),
], ids=["move", "key", "focus", "size"])
def test_inputhit_mode_1_waits_for_any_event(console, tmp_path, event, line):
    run, out = exact_output(console, tmp_path, "INPUTHIT", "1",
                            steps=["start", "sleep=400", event])
    if line is not None:
        assert out == line + b"\r\n"
    else:
        assert out.startswith(b"40 90 ")
    assert int(run.report["ms"]) >= 380
    assert run.report["pending"] == "0"


def test_inputhit_mode_1_with_input_pending_returns_at_once(console, tmp_path):
    run, out = exact_output(console, tmp_path, "INPUTHIT", "1", steps=["mouse=1,2,1"])
    assert out == b"1 2 1 0  \r\n"
    assert int(run.report["ms"]) < 1000


def test_inputhit_sees_only_input_after_the_previous_call(console, tmp_path):
    # Two calls in a row from a batch file: the first reports the click and
    # discards the key behind it, so the second finds nothing.
    script = tmp_path / "twice.bat"
    script.write_bytes(b"@echo off\r\n%CONX% INPUTHIT 0\r\necho first=%errorlevel%\r\n"
                       b"%CONX% INPUTHIT 0\r\necho second=%errorlevel%\r\n")
    run = console.run([c.WINE, c.INJECT, "mouse=2,3,1", "key=a", "--", "cmd", "/c",
                       c.windows_path(script)])
    assert run.screen.lines()[:3] == ["2 3 1 97 a", "first=97", "second=0"]


# ---- TIME -----------------------------------------------------------------------------------

def test_time_matches_the_clock(console, tmp_path):
    before = datetime.datetime.now()
    run, out = exact_output(console, tmp_path, "TIME", steps=[])
    after = datetime.datetime.now()
    fields = out.decode().split(" ")
    assert len(fields) == 8 and all(f.isdigit() and (f == "0" or not f.startswith("0"))
                                    for f in fields), out
    dow, year, month, day, hour, minute, second, ms = map(int, fields)
    shown = datetime.datetime(year, month, day, hour, minute, second, ms * 1000)
    assert before - datetime.timedelta(seconds=1) <= shown <= after + datetime.timedelta(seconds=1)
    assert dow == (shown.isoweekday() % 7)  # 0 is Sunday


def test_time_ignores_parameters_and_prints_no_line_end(console):
    run = console.conx("TIME", "extra")
    fields = run.screen.text(0).rstrip().split(" ")
    assert len(fields) == 8
    assert run.screen.cursor == (0, len(run.screen.text(0).rstrip()))


# ---- SLEEP ----------------------------------------------------------------------------------

@pytest.mark.parametrize("args,low,high", [
    (("500",), 480, 1400),
    (("1200",), 1180, 2200),
    ((), 0, 400),
    (("500", "1"), 0, 400),
    (("abc",), 0, 400),
    (("-5",), 0, 400),
], ids=["500", "1200", "none", "500-1", "abc", "negative"])
def test_sleep_duration(console, args, low, high):
    run = console.conx("SLEEP", *args, steps=[])
    assert run.report["exit"] == "0"
    assert low <= int(run.report["ms"]) <= high


# ---- redirected handles -----------------------------------------------------------------------

redirected = pytest.mark.covers("redirected")


@redirected
@pytest.mark.parametrize("args", [("MOUSE",), ("INPUTHIT", "1"), ("INPUTHIT", "0")])
def test_stdin_from_dev_null_returns_at_once(console, args):
    run = console.shell(f"exec {c.WINE} {c.CONX} {' '.join(args)} </dev/null", timeout=8)
    assert run.status == 0
    assert run.seconds < 5
    assert run.screen.blank_except(set()) == []


@redirected
@pytest.mark.parametrize("args", [("MOUSE",), ("INPUTHIT", "1")])
def test_stdin_nul_from_a_windows_parent_returns_and_keeps_mode(console, args):
    run = console.conx(*args, steps=["stdin=nul", "mouse=1,1,1"], timeout=8)
    assert run.report["exit"] == "0"
    assert run.report["before"] == run.report["after"]
    # the console input was not touched: the click is still pending
    assert run.report["types"] == "2"


@redirected
def test_stdout_to_a_file(console, tmp_path):
    out = tmp_path / "print.txt"
    run = console.shell(f"exec {c.WINE} {c.CONX} PRINT 2 2 0A drawn >{out}", timeout=8)
    assert run.status == 0
    assert run.screen.blank_except(set()) == []
    assert out.read_bytes() == b""
    run = console.shell(f"exec {c.WINE} {c.CONX} TIME >{out}", timeout=8)
    assert len(out.read_bytes().split(b" ")) == 8
