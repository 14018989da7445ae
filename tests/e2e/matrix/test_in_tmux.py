"""Bad input where a terminal matters: conx in a tmux pane (a real console
for the Wine build, a real terminal for the Unix build).

- Standard input from /dev/null or closed while the screen is a console:
  MOUSE, INPUTHIT 1 and the key polls must return at once; KBD is bounded
  by feeding it a key through the pane (skipped under Wine: its C runtime
  waits on the console itself and the fed key never arrives).
- Standard output to a file while input is the terminal: nothing is drawn,
  nothing waits that does not wait by design.
- Long and odd texts drawn on a real screen end normally and clip.
"""
import pytest

from conftest import AT_ONCE, TIME_REPORT, assert_no_crash, quiet_output

LONG = 32000


@pytest.mark.parametrize("stdin", ["null", "closed"])
@pytest.mark.parametrize("args", [[b"MOUSE"], [b"INPUTHIT", b"1"], [b"INPUTHIT", b"0"], [b"_KBD"],
                                  [b"PRINT", b"0", b"0", b"07", b"x"]],
                         ids=["MOUSE", "INPUTHIT 1", "INPUTHIT 0", "_KBD", "PRINT"])
def test_no_input_console_means_no_wait(build, tmux, scratch, args, stdin):
    result, screen = tmux.run(build, args, scratch, stdin=stdin)
    assert_no_crash(result)
    assert result.code == 0, result
    assert result.seconds < AT_ONCE, result
    if args[0] != b"PRINT":
        assert screen.strip() == b"", screen  # no report printed


@pytest.mark.parametrize("stdin", ["null", "closed"])
def test_kbd_without_input_console_is_bounded(build, tmux, scratch, stdin):
    """KBD either returns at once (the key read fails) or waits for the key
    typed into the pane; it must not wait past that."""
    if build.name == "wine":
        pytest.skip("Wine's _getch waits on the console even with standard input %s, and a key "
                    "typed into the pane never reaches it (Wine reads the terminal only for the "
                    "input handle): an endless wait that only Wine has" % stdin)
    result, _ = tmux.run(build, [b"KBD"], scratch, stdin=stdin, keys_after=(1.0, ["a"]), bound=10)
    assert_no_crash(result)
    if result.seconds >= 1.0:
        assert result.code == ord("a"), result
    assert result.seconds < 1.0 + AT_ONCE, result


@pytest.mark.parametrize("args", [[b"PRINT", b"2", b"5", b"0A", b"Hello"], [b"_KBD"], [b"INPUTHIT", b"0"],
                                  [b"COLOR", b"1F"], [b"LOCATE", b"3", b"10"], [b"CURSOR", b"50"],
                                  [b"FONT", b"-1"], [b"SLEEP", b"-1"]],
                         ids=lambda a: b" ".join(a[:2]).decode())
def test_output_to_a_file_in_a_terminal(build, tmux, scratch, args):
    result, screen = tmux.run(build, args, scratch, stdout="file")
    assert_no_crash(result)
    assert result.code == 0, result
    assert result.seconds < AT_ONCE, result
    assert result.output == quiet_output(build, args), result
    assert b"Hello" not in screen


def test_time_to_a_file_in_a_terminal(build, tmux, scratch):
    result, _ = tmux.run(build, [b"TIME", b"surplus"], scratch, stdout="file")
    assert result.code == 0 and TIME_REPORT.match(result.output), result


def rows(screen):
    return screen.decode("utf-8", "replace").split("\n")


def test_32000_letters_fill_one_row_and_clip(build, tmux, scratch):
    result, screen = tmux.run(build, [b"PRINT", b"0", b"0", b"07", b"x" * LONG], scratch)
    assert_no_crash(result)
    assert result.code == 0 and result.seconds < AT_ONCE, result
    lines = rows(screen)
    assert lines[0] == "x" * 80, screen
    assert all(line.strip() == "" for line in lines[1:]), "nothing wraps onto row 1"


def test_32000_bytes_of_new_lines_clip_at_the_bottom(build, tmux, scratch):
    result, screen = tmux.run(build, [b"PRINT", b"-5", b"78", b"1F", b"abc\\n" * (LONG // 5)], scratch)
    assert_no_crash(result)
    assert result.code == 0 and result.seconds < AT_ONCE, result
    lines = rows(screen)
    assert [line[78:] for line in lines[:25]] == ["ab"] * 25, screen


@pytest.mark.parametrize("text", [bytes(range(1, 32)), bytes(range(0x80, 0x100)), b"\\" * LONG,
                                  b"\\0" * (LONG // 2), b"abc\\", b"\\4\\"],
                         ids=["control bytes", "high bytes", "32000 backslashes", "transparent",
                              "trailing backslash", "digit and backslash"])
def test_odd_texts_on_a_real_screen(build, tmux, scratch, text):
    result, _ = tmux.run(build, [b"PRINT", b"1", b"-3", b"4E", text, b"07"], scratch)
    assert_no_crash(result)
    assert result.code == 0 and result.seconds < AT_ONCE, result


@pytest.mark.parametrize("args", [[b"PRINT", b"4294967296", b"-99999999999999999999", b"-1", b"x"],
                                  [b"LOCATE", b"-1", b"99999999999999999999"], [b"CURSOR", b"-25"],
                                  [b"COLOR", b"FFFFFFFFFF"], [b"SLEEP", b"4294967296"],
                                  [b"\xff\x80"], []],
                         ids=["PRINT huge", "LOCATE off screen", "CURSOR negative", "COLOR huge",
                              "SLEEP 2^32", "high-byte keyword", "no arguments"])
def test_bad_numbers_on_a_real_screen(build, tmux, scratch, args):
    result, _ = tmux.run(build, args, scratch)
    assert_no_crash(result)
    assert result.code == 0 and result.seconds < AT_ONCE, result


@pytest.mark.parametrize("args", [[b"PRINT", b"4294967296", b"0", b"07", b"X"],
                                  [b"PRINT", b"0", b"4294967296", b"07", b"X"]],
                         ids=["row", "column"])
def test_positions_beyond_32_bits_read_as_the_windows_runtime_reads_them(build, tmux, scratch, args):
    """The Windows C runtime's strtoul saturates at its 32-bit ULONG_MAX, so
    4294967296 cut to 16 bits is -1: off the screen, nothing drawn."""
    result, screen = tmux.run(build, args, scratch)
    assert result.code == 0, result
    assert b"X" not in screen, screen


@pytest.mark.parametrize("setting,shown", [(b"-25", True), (b"30", True), (b"", False), (b"x", False),
                                           (b"4294967297", True), (b"4294967296", False)],
                         ids=["minus 25", "30", "empty", "word", "1 plus 2^32", "2^32"])
def test_cursor_settings_leave_the_cursor_as_the_rules_say(build, tmux, scratch, setting, shown):
    """Other values keep the cursor as it was (shown); no digits read as 0,
    which hides it; atol wraps at 32 bits, so 2^32 hides and 2^32 + 1 shows."""
    result, _ = tmux.run(build, [b"CURSOR", setting], scratch)
    assert_no_crash(result)
    assert result.code == 0 and result.seconds < AT_ONCE, result
    assert tmux.cursor_shown == shown
