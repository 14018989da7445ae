"""KBD, _KBD, MOUSE and INPUTHIT reading real X keys, clicks, focus
changes and resizes, and the terminal given back afterwards."""
import os
import re

import pytest

from conftest import RESTORE_LINE, ROOT, SET, wait_for

KEYS = [  # xdotool key, the full key code (README: Key codes)
    ("a", 97), ("A", 65), ("Return", 13), ("Escape", 27), ("BackSpace", 8), ("Tab", 9),
    ("ctrl+a", 1), ("ctrl+j", 10), ("eacute", 233),
    ("Up", 327), ("Down", 335), ("Left", 330), ("Right", 332), ("Home", 326), ("End", 334),
    ("F1", 314), ("F2", 315), ("F3", 316), ("F4", 317), ("F5", 318), ("F6", 319),
    ("F7", 320), ("F8", 321), ("F9", 322), ("F10", 323), ("F11", 388), ("F12", 389),
    ("shift+F5", 343), ("ctrl+Left", 370),
]
BUTTONS = [  # xdotool button, conx's buttons
    (1, 1), (2, 4), (3, 2),
]


def report_char(code):
    """INPUTHIT's key character: the code's low byte, shown in UTF-8."""
    return bytes([code & 0xFF]).decode("cp1252")


@pytest.mark.parametrize("key,code", KEYS)
def test_kbd_reads_a_key(term, key, code):
    term.start('"$C" KBD > code; echo $? > status')
    term.wait_reading()
    term.key(key)
    term.wait_done()
    assert (term.file("code"), term.status()) == (str(code), code & 0xFF)
    term.assert_given_back()


def test_kbd_reads_alt_and_a_letter_as_the_letter(term):
    # By default xterm sends Alt+a as "a" with the eighth bit set (á in
    # UTF-8), a typed á; told to send ESC first, it is the README's Alt+key.
    term.start('"$C" KBD > code', options=["-xrm", "XTerm*metaSendsEscape: true"])
    term.wait_reading()
    term.key("alt+a")
    term.wait_done()
    assert term.file("code") == "97"
    term.assert_given_back()


@pytest.mark.parametrize("key,code", [("a", 97), ("Escape", 27), ("Up", 327), ("F12", 389),
                                      ("shift+F5", 343)])
def test_poll_key_finds_a_key_that_came(term, key, code):
    term.start('until code=$("$C" _KBD); [ "$code" != 0 ]; do "$C" SLEEP 10; done; '
               'printf %s "$code" > code')
    term.key(key)
    term.wait_done()
    assert term.file("code") == str(code)
    term.assert_given_back()


@pytest.mark.parametrize("key,code", [("a", 97), ("Up", 327), ("F12", 389), ("ctrl+Left", 370),
                                      ("eacute", 233)])
def test_inputhit_reports_a_key(term, key, code):
    term.start(f'"$C" INPUTHIT 1 > report; echo $? > status; {RESTORE_LINE}')
    term.wait_reading()
    term.key(key)
    term.wait_done()
    assert term.file("report") == f"-1 -1 -1 {code} {report_char(code)}\n"
    assert term.status() == code & 0xFF
    term.assert_given_back()


@pytest.mark.parametrize("reader", ["KBD", "_KBD"])
def test_enter_typed_before_the_read_is_13(term, reader):
    # Typed while no conx reads, the tty's ICRNL turns it into a line feed.
    term.start(f'step typed; "$C" {reader} > code')
    term.wait_mark("typed")
    term.key("Return")
    wait_for(lambda: term.pending_input() > 0, "the line in the tty")
    term.release("typed")
    term.wait_done()
    assert term.file("code") == "13"
    term.assert_given_back()


@pytest.mark.parametrize("setup", ["", "stty -echo -icanon"])
@pytest.mark.parametrize("button,buttons", BUTTONS)
def test_mouse_reports_a_click(term, button, buttons, setup):
    term.start('"$C" MOUSE > report; echo $? > status', setup=setup)
    term.wait_reading()
    term.key("q")  # consumed while waiting
    term.click(4, 12, button)
    term.wait_done()
    assert (term.file("report"), term.status()) == (f"4 12 {buttons}", 0)
    term.assert_given_back()


@pytest.mark.parametrize("button,buttons", BUTTONS)
def test_inputhit_reports_a_click(term, button, buttons):
    """INPUTHIT 1 ends on the press; the release of a quick click comes after
    it, before the README's give-back line (Quick start: bash) has run."""
    with open(os.path.join(ROOT, "README.md"), encoding="utf-8") as f:
        give_back = re.search(r"\n {6}(\S.*1000l.*)\n", f.read()).group(1)
    term.start(f'"$C" INPUTHIT 1 > report; echo $? > status; step reported; {give_back}')
    term.wait_reading()
    term.mouse(3, 7, "mousedown", button)
    term.wait_mark("reported")
    term.mouse(3, 7, "mouseup", button)
    wait_for(lambda: term.pending_input() > 0, "the release in the tty")
    term.release("reported")
    term.wait_done()
    assert (term.file("report"), term.status()) == (f"3 7 {buttons} 0  \n", 0)
    term.assert_given_back(stty="stty.before")  # stty sane: the usual settings, not these


@pytest.mark.parametrize("button,buttons", [(4, 120 << 16), (5, -120 << 16)])
def test_inputhit_reports_the_wheel(term, button, buttons):
    # xterm sends one report for a wheel step, when its button goes up.
    term.start(f'"$C" INPUTHIT 1 > report; echo $? > status; {RESTORE_LINE}')
    term.wait_reading()
    term.click(3, 7, button)
    term.wait_done()
    assert (term.file("report"), term.status()) == (f"-1 -1 {buttons} 0  \n", 0)
    term.assert_given_back()


def test_inputhit_reports_the_focus_going_and_coming_back(term):
    term.start(f'"$C" INPUTHIT 1 > away; step away; "$C" INPUTHIT 1 > back; {RESTORE_LINE}')
    term.wait_reading()
    term.focus_away()
    term.release("away")
    term.wait_reading()
    term.focus_back()
    term.wait_done()
    assert (term.file("away"), term.file("back")) == ("-2 -2 -2 0  \n",) * 2
    term.assert_given_back()


def test_inputhit_reports_a_resize_as_the_new_size(term):
    term.start(f'"$C" INPUTHIT 1 > report; {RESTORE_LINE}; stty size > size')
    term.wait_reading()
    term.resize(70, 20)
    term.wait_done()
    assert term.file("size") == "20 70\n"
    assert term.file("report") == "20 70 0 0  \n"
    term.assert_given_back()


def test_a_loop_of_inputhit_0_sees_a_resize_through_a_trap(term):
    # A resize between two calls is no input event: the shell's trap sees it.
    term.start(f"""trap 'resized=1' WINCH; resized=0
step looping
while (( ! resized )); do "$C" INPUTHIT 0 > /dev/null; "$C" SLEEP 20; done
{RESTORE_LINE}; stty size > size""")
    term.release("looping")
    term.resize(70, 20)
    term.wait_done()
    assert term.file("size") == "20 70\n"
    term.assert_given_back()


@pytest.mark.parametrize("send,reader,expected", [
    ("Up", '"$C" KBD', "327"),
    ("Up", '"$C" _KBD', "327"),
    ("Up", '"$C" INPUTHIT 0', "-1 -1 -1 327 G\n"),
    ("click", '"$C" INPUTHIT 0', "3 7 1 0  \n"),
])
def test_print_leaves_waiting_input_for_the_next_reader(term, send, reader, expected):
    term.start(f""""$C" INPUTHIT 0 > /dev/null  # a game loop's state: input waits unechoed
step sent
"$C" PRINT 0 0 07 frame; echo $? > status
{reader} > report
{RESTORE_LINE}""")
    term.wait_mark("sent")
    if send == "click":
        term.click(3, 7)
        length = len("\x1b[<0;8;4M") * 2  # the press and the release
    else:
        term.key(send)
        length = len("\x1b[A")
    wait_for(lambda: term.pending_input() >= length, "the input in the tty")
    term.release("sent")
    term.wait_done()
    assert (term.status(), term.text(0), term.cursor()) == (0, "frame", (0, 0))
    assert term.file("report") == expected
    term.assert_given_back()


# Job control under sh: bash would put back after `fg` the tty settings it
# saw when it ran `fg`, hiding what conx left.
STOPPED = """step stopped
fg > /dev/null; echo $? > status"""


def test_ctrl_z_during_mouse_gives_the_terminal_back_until_fg(term):
    term.start(f"""set -m
"$C" MOUSE > report; echo $? > stopped_status
stty -g > stty.stopped; probe probe.stopped
{STOPPED}""", shell="sh")
    term.wait_reading()
    term.key("ctrl+z")
    term.wait_mark("stopped")
    assert term.status("stopped_status") == 128 + 20  # SIGTSTP
    term.assert_given_back(stty="stty.stopped", probe="probe.stopped")
    term.release("stopped")
    term.wait_reading()
    term.click(4, 12)
    term.wait_done()
    assert (term.file("report"), term.status()) == ("4 12 1", 0)
    term.assert_given_back()


def test_ctrl_z_during_a_game_loops_sleep_gives_the_terminal_back_until_fg(term):
    term.start(f"""set -m
"$C" INPUTHIT 0 > /dev/null; stty -g > stty.loop
"$C" SLEEP 2000; echo $? > stopped_status
stty -g > stty.stopped; probe probe.stopped
{STOPPED}
stty -g > stty.resumed; "$C" INPUTHIT 0 > /dev/null; probe probe.resumed
{RESTORE_LINE}""", shell="sh")
    term.wait_running("SLEEP")
    term.key("ctrl+z")
    term.wait_mark("stopped")
    assert term.status("stopped_status") == 128 + 20
    term.assert_given_back(stty="stty.stopped", probe="probe.stopped")
    term.release("stopped")
    term.wait_done()
    assert term.file("stty.resumed") == term.file("stty.loop"), "the loop's tty state is back"
    modes, _ = term.modes("probe.resumed")
    # Reporting belongs to the loop, which the loop's next INPUTHIT turns on.
    # xterm keeps one mouse mode: with 1002 (drags too) set, 1000 reads reset.
    assert [modes.get(m) for m in (1002, 1006, 1004)] == [SET] * 3, "and so is reporting"
    term.assert_given_back()
