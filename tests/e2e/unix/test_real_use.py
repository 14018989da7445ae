"""The Unix build as scripts use it in a game loop: keys typed between runs,
frames that leave input alone, the terminal given back after every way a
script can end or be stopped, background jobs, scroll margins."""
import contextlib
import os
import pty
import re
import select
import signal
import subprocess
import time

import pytest

from conftest import CONX, RESTORE_LINE, ROOT, WITHOUT_TIOCSTI, ended, legacy_tiocsti, wait_for
from test_input import conx_process


@pytest.mark.parametrize("between", ["", '"$C" INPUTHIT 0 > /dev/null; '], ids=["shell", "loop"])
def test_enter_typed_between_runs_reads_13_and_ctrl_j_10(pane, between):
    pane.start(between + ': > sleeping; sleep 1; "$C" KBD > enter; : > first; "$C" KBD > ctrl_j; '
               + RESTORE_LINE)
    pane.wait_file("sleeping")
    pane.keys("Enter")  # the tty's ICRNL turns it into a line feed
    pane.wait_file("first")
    pane.wait_raw()
    pane.keys("C-j")
    pane.wait_done()
    assert (pane.file("enter"), pane.file("ctrl_j")) == ("13", "10")


@pytest.mark.parametrize("tiocsti", ["1", "0"])
def test_print_leaves_keys_and_clicks_for_the_next_command(pane, tiocsti):
    """A frame never takes input, so nothing needs to go back to the tty:
    with legacy TIOCSTI off (and no CAP_SYS_ADMIN) nothing is lost either."""
    with legacy_tiocsti(tiocsti):
        pane.start(f'run() {{ {WITHOUT_TIOCSTI} "$C" "$@"; }}; run INPUTHIT 0; : > ready; sleep 0.8; '
                   'run PRINT 0 0 07 x; echo $? > status; run INPUTHIT 0 > report; ' + RESTORE_LINE)
        pane.wait_file("ready")
        pane.literal("\x1b[<0;20;10M")
        pane.keys("Up")
        pane.wait_done()
    assert pane.status() == 0
    assert pane.file("report") == "9 19 1 327 G\n", "the click, and the arrow in full (not 71)"
    pane.assert_terminal_given_back()


def test_kbd_after_print_gets_the_full_code(pane):
    pane.start('sleep 0.6; "$C" PRINT 1 0 07 drawn; echo $? > status; "$C" KBD > key')
    pane.keys("Left")
    pane.wait_done()
    assert (pane.status(), pane.file("key")) == (0, "330")
    assert "drawn" in pane.text(1)
    pane.assert_terminal_given_back()


def test_mouse_restores_exactly_what_the_script_had_set(pane):
    pane.start('stty -echo -icanon; stty -g > set; "$C" MOUSE > report; stty -g > after; '
               'stty echo icanon')
    pane.wait_raw()
    pane.literal("\x1b[<0;5;3M\x1b[<0;5;3mab")  # keys typed right after the click
    pane.wait_done()
    assert pane.file("report") == "2 4 1"
    assert pane.file("after") == pane.file("set")
    assert pane.file("leftover") == "ab", "the next reader gets the keys in the order typed"
    assert not pane.mouse_reporting()


def pane_conx():
    from conftest import CONX
    return CONX


@pytest.mark.parametrize("command, first", [
    ("SLEEP 3000", "conx"), ("MOUSE", "conx"), ("SLEEP 3000", "its script"), ("MOUSE", "its script"),
    ("examples/game.sh", "no conx running")])
def test_ctrl_z_gives_the_terminal_back_and_fg_takes_the_command_up(pane, command, first):
    """An interactive shell with job control: `fg` continues the stopped job.
    Ctrl+Z stops the job's processes in no set order (its script may stop
    first); the game reads it as key 26, also while no conx runs (its first
    SLEEP here is a `sleep`)."""
    with open(os.path.join(pane.folder, "sleeps-once"), "w") as f:
        f.write(f'[ "$1" = SLEEP ] && [ ! -e slept ] && : > slept && exec sleep 1\nexec "{CONX}" "$@"\n')
    os.chmod(f.name, 0o755)
    run = {"conx": f'"$C" {command} > report', "its script": f'C="$C" sh -c \'"$C" {command} > report; :\'',
           "no conx running": f'CONX={f.name} bash {os.path.join(ROOT, command)} > report'}[first]
    script = (f'C="{pane_conx()}"; "$C" CURSOR 0; "$C" INPUTHIT 0 > /dev/null; stty -g > loop; '
              f': > ready; {run}; : > stopped; '
              'until [ -f resume ]; do sleep 0.05; done; fg; echo $? > status; stty -g > after; '
              + RESTORE_LINE)
    with open(os.path.join(pane.folder, "interactive.sh"), "w") as f:
        f.write(script)
    pane.start(f'bash --norc --noprofile -i {os.path.join(pane.folder, "interactive.sh")} 2> /dev/null')
    pane.wait_file("ready")
    if command == "MOUSE":
        wait_for(pane.mouse_reporting, "MOUSE to switch reporting on")
    elif first == "no conx running":
        pane.wait_file("slept")
    else:
        wait_for(lambda: conx_process(pane) is not None, "SLEEP to run")
    conx = conx_process(pane)
    stat = lambda: open(f"/proc/{conx}/stat").read().rsplit(")", 1)[1].split()  # state, parent
    if first == "its script":
        os.kill(int(stat()[1]), signal.SIGSTOP)
        pane.wait_file("stopped")
        os.kill(conx, signal.SIGTSTP)
        wait_for(lambda: stat()[0] == "T", "conx to stop")
    else:
        pane.keys("C-z")
    pane.wait_file("stopped")
    assert pane.cursor()[2] is True, "the cursor is shown while stopped"
    assert not pane.mouse_reporting(), "no mouse reports while stopped"
    open(os.path.join(pane.run_folder, "resume"), "w").close()
    if command != "SLEEP 3000":
        wait_for(pane.mouse_reporting, "the command to take up its wait")
        pane.literal("\x1b[<2;9;4M\x1b[<2;9;4m" if command == "MOUSE" else "q")
    pane.wait_done()
    assert pane.file("status") == "0\n"
    assert pane.file("report") == ("3 8 2" if command == "MOUSE" else "")
    assert pane.file("after") == pane.file("loop"), "the loop's own settings are back"


def test_a_loop_sees_resizes_through_a_winch_trap(pane):
    pane.start("resized=0; trap 'resized=1' WINCH; : > ready; "
               'for i in $(seq 300); do "$C" INPUTHIT 0 > /dev/null; "$C" SLEEP 10; '
               '[ $resized = 1 ] && break; done; stty size > size; ' + RESTORE_LINE)
    pane.wait_file("ready")
    try:
        pane.tmux("resize-window", "-t", "conx", "-x", "100", "-y", "30")
        pane.wait_done()
    finally:
        pane.tmux("resize-window", "-t", "conx", "-x", "80", "-y", "25")
    assert pane.file("size") == "30 100\n"


def test_numbers_read_as_the_windows_runtime_reads_them(pane):
    pane.run('"$C" PRINT "- 5" 3 07 X; "$C" PRINT -4294967296 5 07 Y')
    assert pane.text(0) == "   X"
    assert pane.text(1) == "     Y"


def test_cursor_with_another_setting_changes_nothing(pane):
    pane.run('"$C" CURSOR 0; "$C" CURSOR 30')
    assert pane.cursor()[2] is False
    pane.run('"$C" CURSOR 1; "$C" CURSOR 2; "$C" CURSOR -1')
    assert pane.cursor()[2] is True


def test_background_jobs_never_stop_or_hang(pane):
    script = (f'C="{pane_conx()}"; "$C" PRINT 3 10 1F one & "$C" PRINT 5 12 2E two & wait; '
              '"$C" KBD & wait $!; echo $? > kbd; "$C" INPUTHIT 1 > hit & wait $!; '
              '"$C" MOUSE > mouse & wait $!; jobs -l > jobs; stty -g > after')
    with open(os.path.join(pane.folder, "jobs.sh"), "w") as f:
        f.write(script)
    pane.run(f'bash --norc --noprofile -i {os.path.join(pane.folder, "jobs.sh")} 2> /dev/null')
    assert pane.text(3).strip() == "one" and pane.text(5).strip() == "two"
    assert pane.file("kbd") == "255\n", "KBD: no key can come to a background job"
    assert (pane.file("hit"), pane.file("mouse"), pane.file("jobs")) == ("", "", "")
    assert pane.file("after") == pane.file("stty.before")


def test_zsh_process_substitution_does_not_hang(pane):
    pane.run(f'C="{pane_conx()}" zsh -f -i -c \'read r c b < <("$C" MOUSE); echo "[$r]" > mouse\' '
             '2> /dev/null')
    assert pane.file("mouse") == "[]\n"
    assert not pane.mouse_reporting()
    pane.assert_terminal_given_back()


@pytest.mark.parametrize("ended_by, status", [("SIGTERM", 143), ("SIGINT", 130), ("a click", 1)])
def test_mouse_on_a_read_only_tty_switches_reporting_off_when_ended(pane, ended_by, status):
    # Output closed too: the terminal conx opens again is not descriptor 1.
    pane.start('"$C" MOUSE < /dev/tty >&-; echo $? > status', setup="trap : INT")
    wait_for(pane.mouse_reporting, "MOUSE to switch reporting on")
    if ended_by == "a click":
        pane.literal("\x1b[<0;5;3M")
    else:
        os.kill(conx_process(pane), getattr(signal, ended_by))
    pane.wait_done()
    assert (pane.status(), "2 4 1" in pane.text(0), pane.mouse_reporting()) == (status, False, False)
    pane.assert_terminal_given_back()


@pytest.mark.parametrize("margins", ["\\033[1;5r", "\\033[3;8r\\033[?6h"], ids=["region", "origin"])
def test_print_never_scrolls_whatever_the_margins(pane, margins):
    lines = "\\n".join(f"r{i}" for i in range(8))
    pane.run(f"printf '{margins}'; \"$C\" PRINT 0 0 07 '{lines}'; printf '\\033[?6l\\033[r'")
    assert [pane.text(r) for r in range(8)] == [f"r{i}" for i in range(8)]


def test_two_runs_reading_one_terminal_leave_it_as_it_was(pane):
    """The second finds the first one's raw settings; the first ends (by a
    signal here) and gives back what it found; the second goes on reading
    keys raw and, ending later, gives back those settings, not the raw ones
    it found."""
    pane.start('"$C" KBD < /dev/tty > a & echo $! > first; sleep 0.5; : > second; '
               '"$C" KBD > b; wait')
    pane.wait_file("second")
    pane.wait_raw()
    first = int(pane.file("first"))
    os.kill(first, signal.SIGTERM)
    wait_for(lambda: ended(first), "the first to end")
    pane.keys("x")  # no Enter: read raw
    pane.wait_done()
    assert pane.file("b") == "120"
    assert pane.file("stty.after") == pane.file("stty.before")


@pytest.mark.parametrize("command", ["INPUTHIT 1", "KBD", "MOUSE"])
def test_a_reader_ends_when_its_terminal_hangs_up(pane, command):
    """Also with SIGHUP ignored: the pane's pty closes under it."""
    pane.start(f'trap "" HUP; echo $$ > pid; exec "$C" {command}')
    pane.wait_reading()
    pid = int(pane.file("pid"))
    pane.tmux("respawn-pane", "-k", "-t", "conx", "sleep 600")
    wait_for(lambda: ended(pid), "conx to end")


@contextlib.contextmanager
def stalled_terminal(args, typed=b"", non_blocking=False):
    """conx on a pty whose terminal reads no output (a frozen window, a
    stalled ssh) until the test reads it: its output buffer is full."""
    if not os.access(CONX, os.X_OK):
        pytest.skip("build/native/conx is not built")
    master, slave = pty.openpty()
    os.set_blocking(slave, False)
    for size in (4096, 1, 1):  # till the pty has moved on what it can
        with contextlib.suppress(BlockingIOError):
            while True:
                os.write(slave, b"." * size)
        time.sleep(0.05)
    os.set_blocking(slave, not non_blocking)  # the open terminal's flag, conx's too
    os.write(master, typed)
    process = subprocess.Popen([CONX, *args], stdin=slave, stdout=slave)
    try:
        yield master, process
    finally:
        process.kill()
        process.wait()
        os.close(master)
        os.close(slave)


@pytest.mark.parametrize("args, typed, shown, count, status", [
    (["PRINT", "0", "0", "07", ("x" * 80 + "\\n") * 24], b"", rb"x", 80 * 24, 0),
    (["INPUTHIT", "1"], b"a", rb"-1 -1 -1 97 a", 1, 97),
    (["TIME"], b"", rb"[0-6] \d{4}( \d+){6}$", 1, 0),
    (["MOUSE"], b"", rb"x", 0, -signal.SIGTERM),
    (["INPUTHIT", "1"], b"", rb"x", 0, -signal.SIGTERM),
], ids=["PRINT", "INPUTHIT", "TIME", "SIGTERM to MOUSE", "SIGTERM to INPUTHIT 1"])
def test_a_terminal_slow_to_read_output(args, typed, shown, count, status):
    """O_NONBLOCK belongs to the open terminal, which programs share (node
    leaves it on): a full buffer answers EAGAIN, and conx waits for room.
    A signal ends conx at once while a blocking terminal reads nothing."""
    with stalled_terminal(args, typed, non_blocking=status >= 0) as (master, process):
        time.sleep(0.5)  # then the terminal reads again, or conx is told to end
        if status < 0:
            process.send_signal(-status)
        output = b""
        while status >= 0 and select.select([master], [], [], 0.5)[0]:
            output += os.read(master, 65536)
        assert (process.wait(timeout=5), len(re.findall(shown, output))) == (status, count)


def test_ctrl_c_ends_mouse_on_a_terminal_that_is_not_its_own(pane):
    """Under setsid the terminal's Ctrl+C would signal the shell, not conx."""
    pane.start('setsid -w "$C" MOUSE; echo $? > status', setup="trap : INT")
    wait_for(pane.mouse_reporting, "MOUSE to switch reporting on")
    pane.keys("C-c")
    pane.wait_done()
    assert pane.status() == 130
    assert not pane.mouse_reporting()
    pane.assert_terminal_given_back()


def test_the_game_gives_the_terminal_back_with_its_output_redirected(pane):
    game = os.path.join(ROOT, "examples", "game.sh")
    pane.start(f'CONX="$C" bash {game} > /dev/null; : > ended; sleep 0.3')
    wait_for(pane.mouse_reporting, "the game's first INPUTHIT")
    pane.keys("q")
    pane.wait_done()
    assert not pane.mouse_reporting()
    assert pane.cursor()[2] is True
    pane.assert_terminal_given_back()
