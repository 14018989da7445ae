"""KBD, _KBD, MOUSE and INPUTHIT reading real keys and mouse reports."""
import os

import pytest

from conftest import RESTORE_LINE, ROOT, WITHOUT_TIOCSTI, legacy_tiocsti, pty_run, wait_for

KEYS = [  # tmux key name, the full key code
    ("a", 97), ("A", 65), ("Enter", 13), ("Escape", 27), ("BSpace", 8), ("Tab", 9),
    ("C-a", 1), ("Up", 327), ("Down", 335), ("Left", 330), ("Right", 332), ("Home", 326),
    ("F1", 314), ("F12", 389), ("C-Left", 370), ("DC", 338),
]


@pytest.mark.parametrize("key,code", KEYS)
def test_kbd_status_and_captured_code(pane, key, code):
    pane.start('"$C" KBD > code; echo $? > status')
    pane.wait_reading()
    pane.keys(key)
    pane.wait_done()
    assert pane.status() == code & 0xFF, "the status holds the low 8 bits"
    assert pane.file("code") == str(code), "captured, the full code"
    pane.assert_terminal_given_back()


def key_table():
    """tests/unit/terminal_keys.txt: (terminal, key, code, bytes) per row,
    control bytes named as its `names` line names them."""
    names = {}
    for line in open(os.path.join(ROOT, "tests", "unit", "terminal_keys.txt"), encoding="utf-8"):
        if line.startswith("names "):
            names = {name: int(byte) for name, byte in zip(*[iter(line.split()[1:])] * 2)}
        elif line.strip() and not line.startswith("#"):
            terminal, key, code, *tokens = line.split()
            data = b"".join(bytes([names[t]]) if t in names else
                            bytes([ord(t[1]) - 64]) if len(t) == 2 and t[0] == "^" else
                            t.encode() for t in tokens)
            yield terminal, key, int(code), data


def test_every_terminals_keys_through_a_pty():
    """Each key of the table typed ahead into a raw pty: one KBD reads it
    whole, gives its full code and leaves nothing behind."""
    wrong = [f"{terminal} {key}: {got}" for terminal, key, code, data in key_table()
             if (got := pty_run('"$C" KBD', data)) != (str(code), b"")]
    assert wrong == []


LETTERS = bytes(97 + i % 26 for i in range(2048))
DRAG = b"\x1b[<0;5;5M" + b"".join(b"\x1b[<32;%d;5M" % (6 + i % 50) for i in range(100))
DIGITS = [b"%d" % (i % 10) for i in range(100)]


@pytest.mark.parametrize("command,writes,code,left", [
    ("KBD", [b"\x1b\x1b" + LETTERS] + DIGITS, "27", b"\x1b" + LETTERS + b"".join(DIGITS)),
    ("KBD", [b"\x1b\x1b" + LETTERS * 4], "27", (LETTERS * 4)[1:]),
    ("_KBD", [DRAG], "0", DRAG),
], ids=["2 KB behind, typed meanwhile", "8 KB behind: only the read-ahead lost", "a drag's reports"])
def test_what_is_read_ahead_goes_back_before_what_came_after(command, writes, code, left):
    """Escape, Escape a: Escape read, Alt+a read ahead to tell it."""
    assert pty_run(f'"$C" {command}', *writes, gap=0.001) == (code, left)


def test_without_tiocsti_a_character_leaves_the_key_after_it():
    """A UTF-8 lead byte alone is a Latin-1 character once its write has
    ended: the b typed 50 ms later is not read with it."""
    with legacy_tiocsti("0"):
        run = f'{WITHOUT_TIOCSTI} "$C" KBD; echo; {WITHOUT_TIOCSTI} "$C" KBD'
        assert pty_run(run, b"", b"\xe1", b"b") == ("225\n98", b"")


def test_kbd_takes_one_key_and_leaves_the_next(pane):
    pane.start('"$C" KBD; echo $? > first; "$C" KBD; echo $? > second')
    pane.wait_reading()
    pane.literal("x\x1b[Ay")
    pane.wait_done()
    assert pane.status("first") == ord("x")
    assert pane.status("second") == 327 & 0xFF
    assert pane.file("leftover") == "y", "the third key stays for the shell"


def test_poll_key_with_nothing_waiting(pane):
    pane.run('"$C" _KBD > code; "$C" LOCATE 5 5; "$C" _KBD; echo $? > status')
    assert (pane.status(), pane.file("code")) == (0, "0")
    assert pane.cursor()[:2] == (0, 0), "the cursor goes home"
    pane.assert_terminal_given_back()


@pytest.mark.parametrize("command", ["_KBD", "PRINT 0 0", "PRINT 0 0 07"])
def test_poll_key_with_a_key_waiting(pane, command):
    """PRINT with fewer than four arguments draws nothing and polls as _KBD."""
    pane.start(f'sleep 0.6; "$C" {command}; echo $? > status')
    pane.keys("F1")
    pane.wait_done()
    assert pane.status() == 314 & 0xFF


@pytest.mark.parametrize("report,button", [("0", 1), ("2", 2), ("1", 4)])
def test_mouse_reports_row_column_button(pane, report, button):
    pane.start('"$C" MOUSE > report; echo $? > status')
    pane.wait_reading()
    pane.literal("q")  # consumed while waiting
    pane.literal(f"\x1b[<64;2;2M\x1b[<{report};13;5M")  # the wheel does not count
    pane.literal(f"\x1b[<{report};13;5m")
    pane.wait_done()
    assert pane.file("report") == f"4 12 {button}"
    assert pane.status() == 0
    pane.assert_terminal_given_back()


def test_ctrl_c_ends_a_mouse_wait_but_is_a_key_to_kbd(pane):
    # With a trap, the script carries on after its child ends by SIGINT.
    pane.start('"$C" MOUSE; echo $? > status', setup="trap : INT")
    pane.wait_reading()
    pane.keys("C-c")
    pane.wait_done()
    assert pane.status() == 130
    pane.assert_terminal_given_back()
    pane.start('"$C" KBD; echo $? > status')
    pane.wait_reading()
    pane.keys("C-c")
    pane.wait_done()
    assert pane.status() == 3


def inputhit(pane, send):
    pane.start('"$C" INPUTHIT 1 > report; echo $? > status; stty -g > stty.hit; '
               + RESTORE_LINE)
    pane.wait_reading()
    send()
    pane.wait_done()
    return pane.file("report")


def test_inputhit_reports_a_key(pane):
    assert inputhit(pane, lambda: pane.keys("a")) == "-1 -1 -1 97 a\n"
    assert pane.status() == 97


def test_an_escape_typed_before_the_first_inputhit_is_read(pane):
    """Not taken with the answer to the focus enable's attributes request."""
    pane.start('sleep 0.8; "$C" INPUTHIT 1 > report; ' + RESTORE_LINE)
    pane.keys("Escape")
    pane.wait_done()
    assert pane.file("report") == "-1 -1 -1 27 \x1b\n"


def test_inputhit_reports_an_extended_key_in_full(pane):
    assert inputhit(pane, lambda: pane.keys("Up")) == "-1 -1 -1 327 G\n"


def test_inputhit_reports_a_click(pane):
    assert inputhit(pane, lambda: pane.literal("\x1b[<0;8;4M\x1b[<0;8;4m")) == "3 7 1 0  \n"


def test_inputhit_reports_the_wheel(pane):
    assert inputhit(pane, lambda: pane.literal("\x1b[<64;8;4M")) == f"-1 -1 {120 << 16} 0  \n"
    assert inputhit(pane, lambda: pane.literal("\x1b[<65;8;4M")) == f"-1 -1 {-120 << 16} 0  \n"


def test_inputhit_reports_focus(pane):
    assert inputhit(pane, lambda: pane.literal("\x1b[I")) == "-2 -2 -2 0  \n"


@pytest.mark.parametrize("key,code,shown", [("Escape", 27, "←"), ("C-n", 14, "♫")])
def test_inputhit_shows_a_control_character_to_a_terminal(pane, key, code, shown):
    """Raw, Escape and the `c` echoed after its line end would reset the
    terminal, Ctrl+N (with G1 set to line drawing) switch to line drawing."""
    pane.start(f"""printf '\\033)0'; "$C" INPUTHIT 1; echo cq; "$C" INPUTHIT 1 > report; {RESTORE_LINE}""")
    pane.wait_raw()
    pane.keys(key)
    wait_for(lambda: pane.text(1) == "cq", "the shell's line after the report")
    pane.wait_raw()
    pane.keys(key)
    pane.wait_done()
    assert (pane.text(0), pane.text(1)) == (f"-1 -1 -1 {code} {shown}", "cq")
    assert pane.file("report") == f"-1 -1 -1 {code} {chr(code)}\n", "a file gets the byte"


def test_a_loop_reads_every_key_where_the_terminal_answers_each_focus_enable(pane):
    """VTE answers every focus enable with a focus report, before what
    follows the enable. So does tmux with focus-events on, for an enable
    that turns reporting on: the loop turns it off between calls."""
    pane.tmux("set", "-g", "focus-events", "on")
    try:
        pane.start('for i in 1 2 3; do "$C" INPUTHIT 1 >> reports; : > got$i; '
                   "printf '\\033[?1004l'; done; " + RESTORE_LINE)
        for i, send in enumerate([lambda: pane.keys("a"), lambda: pane.literal("\x1b[<0;8;4M"),
                                  lambda: pane.keys("b")], 1):
            pane.wait_raw()
            send()
            pane.wait_file(f"got{i}")
        pane.wait_done()
    finally:
        pane.tmux("set", "-g", "focus-events", "off")
    assert pane.file("reports") == "-1 -1 -1 97 a\n3 7 1 0  \n-1 -1 -1 98 b\n"
    pane.assert_terminal_given_back()


def test_inputhit_leaves_input_set_up_until_the_restore_line(pane):
    inputhit(pane, lambda: pane.keys("z"))
    hit = pane.file("stty.hit")
    assert hit != pane.file("stty.before"), "keys are not echoed between calls"
    pane.assert_terminal_given_back()


def test_inputhit_without_input_prints_nothing(pane):
    pane.run('"$C" INPUTHIT 0 > report; echo $? > status; ' + RESTORE_LINE)
    assert (pane.file("report"), pane.status()) == ("", 0)


def test_a_game_loop_sees_input_that_came_between_calls(pane):
    """The set-up state holds keys and clicks unechoed until the next call."""
    pane.start('"$C" INPUTHIT 0; : > ready; sleep 0.8; "$C" INPUTHIT 0 > first; '
               '"$C" INPUTHIT 0 > second; ' + RESTORE_LINE)
    import conftest
    conftest.wait_for(lambda: pane.file("ready") is not None, "the first call")
    pane.literal("\x1b[<2;20;10M")
    pane.wait_done()
    assert pane.file("first") == "9 19 2 0  \n"
    assert pane.file("second") == "", "the first call discarded what it did not report"
    assert "[<" not in pane.text(0) + pane.text(1), "nothing was echoed"
    pane.assert_terminal_given_back()


def conx_process(pane):
    """Process id of the conx that the pane's script runs now, a child or
    grandchild of the pane's shell."""
    import os
    shell = pane.tmux("display", "-p", "-t", "conx", "#{pane_pid}").strip()
    parents = [shell]
    while parents:
        parent = parents.pop()
        for child in open(f"/proc/{parent}/task/{parent}/children").read().split():
            if os.path.basename(os.readlink(f"/proc/{child}/exe")) == "conx":
                return int(child)
            parents.append(child)
    return None


@pytest.mark.parametrize("signal_name", ["SIGINT", "SIGTERM", "SIGHUP"])
@pytest.mark.parametrize("command", ["KBD", "MOUSE"])
def test_a_signal_gives_the_terminal_back(pane, signal_name, command):
    import os
    import signal
    # Under sh, which (unlike bash) does not put the tty back after a
    # child that a signal ended: what sh sees next is what conx left.
    pane.start(f'C=$C sh -c \'"$C" {command}; echo $? > status; stty -g > stty.inner\'')
    pane.wait_reading()
    os.kill(conx_process(pane), getattr(signal, signal_name))
    pane.wait_done()
    assert pane.status() == 128 + getattr(signal, signal_name), "ended by the signal"
    assert pane.file("stty.inner") == pane.file("stty.before")
    pane.assert_terminal_given_back()


def test_inputhit_reports_a_resize_as_the_new_size(pane):
    try:
        report = inputhit(pane, lambda: pane.tmux("resize-window", "-t", "conx", "-x", "70", "-y", "20"))
    finally:
        pane.tmux("resize-window", "-t", "conx", "-x", "80", "-y", "25")
    assert report == "20 70 0 0  \n"


def test_inputhit_shows_a_typed_character_as_utf8(pane):
    assert inputhit(pane, lambda: pane.literal("é")) == "-1 -1 -1 233 é\n"
