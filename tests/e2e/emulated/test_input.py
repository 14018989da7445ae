"""KBD, _KBD, MOUSE, INPUTHIT, TIME, SLEEP and the keyword dispatch in the
32-bit exe: key codes, reports, input modes and the queue left behind."""

import pytest

import emulator
from emulator import (Console, EmulationError, focus_event, key_event, mouse_event,
                      size_event)

WHEEL = 4      # MOUSE_WHEELED
MOVED = 1      # MOUSE_MOVED
DOUBLE = 2     # DOUBLE_CLICK


def console_with(records=(), keys=(), **settings):
    console = Console()
    console.queue(*records)
    console.type_keys(*keys)
    for name, value in settings.items():
        setattr(console, name, value)
    return console


@pytest.mark.parametrize("keys, code", [
    ([97], 97), ([65], 65), ([13], 13), ([27], 27), ([8], 8), ([1], 1),
    ([0, 72], 327), ([224, 72], 327), ([224, 80], 335), ([224, 75], 330), ([224, 77], 332),
    ([0, 59], 314), ([0, 68], 323), ([224, 133], 388), ([224, 134], 389),
    ([224, 97], 352),  # 224 always takes a second code
])
def test_kbd_exits_with_the_key_code(conx, keys, code):
    run = conx("KBD", console=console_with(keys=[*keys, 98]))
    assert run.exit_code == code
    assert list(run.console.keys) == [98]
    assert run.stdout == ""


@pytest.mark.parametrize("keys, code", [([], 0), ([97], 97), ([224, 72], 327)])
def test_underscore_kbd_homes_the_cursor_and_reads_a_waiting_key(conx, keys, code):
    run = conx("_KBD", console=console_with(keys=keys, cursor=(5, 6)))
    assert run.exit_code == code
    assert run.console.cursor == (0, 0)
    assert run.console_calls()[0] == ("SetConsoleCursorPosition", "STDOUT", (0, 0))
    assert len(run.calls("_getch")) == len(keys)


@pytest.mark.parametrize("buttons, flags, report", [
    (1, 0, "3 7 1"), (2, 0, "3 7 2"), (3, 0, "3 7 3"), (4, 0, "3 7 4"),
    (1, MOVED, "3 7 1"), (2, DOUBLE, "3 7 2"),
])
def test_mouse_reports_the_first_button_down(conx, buttons, flags, report):
    skipped = [key_event("a"), mouse_event(1, 1, 0, MOVED), mouse_event(2, 2, 0),
               mouse_event(4, 4, 0x00780000, WHEEL), mouse_event(4, 4, 0xFF880000, WHEEL),
               focus_event(True), size_event(90, 30)]
    after = key_event("z")
    run = conx("MOUSE", console=console_with([*skipped, mouse_event(3, 7, buttons, flags),
                                              after]))
    assert run.stdout == report
    assert list(run.console.events) == [after]
    assert run.exit_code == 0


@pytest.mark.parametrize("mode", [0x1F7, 0x0087])
def test_mouse_restores_the_input_mode(conx, mode):
    run = conx("MOUSE", console=console_with([mouse_event(0, 0, 1)], input_mode=mode))
    modes = [c[2] for c in run.calls("SetConsoleMode")]
    assert modes[0] & 0x10, "mouse input on while MOUSE waits"
    assert modes[-1] == mode and run.console.input_mode == mode


@pytest.mark.parametrize("records, keys, line, code", [
    ([mouse_event(3, 7, 1)], [], "3 7 1 0  \n", 0),
    ([mouse_event(3, 7, 2)], [98], "3 7 2 98 b\n", 98),
    ([key_event("a")], [97], "-1 -1 -1 97 a\n", 97),
    ([key_event("a", down=False)], [], "-1 -1 -1 0  \n", 0),
    ([key_event(0, virtual_key=0x26)], [224, 72], "-1 -1 -1 327 G\n", 327),
    ([focus_event(True)], [], "-2 -2 -2 0  \n", 0),
    ([mouse_event(5, 6, 0x00780000, WHEEL)], [], "-1 -1 7864320 0  \n", 0),
    ([mouse_event(5, 6, 0xFF880000, WHEEL)], [], "-1 -1 -7864320 0  \n", 0),
    ([size_event(100, 40)], [], "40 100 0 0  \n", 0),
    ([mouse_event(3, 7, 1), key_event("q")], [113], "3 7 1 113 q\n", 113),
])
def test_inputhit_reports_the_first_event(conx, records, keys, line, code):
    run = conx("INPUTHIT", "0", console=console_with(records, keys))
    assert run.stdout == line
    assert run.exit_code == code
    assert not run.console.events and not run.console.keys
    assert run.console_calls()[-2:] == [("FlushConsoleInputBuffer", "STDIN"), ("ExitProcess", code)]
    assert run.console.input_mode == 0x1B6  # (0x1F7 | 0x10) & ~0x41


@pytest.mark.parametrize("args", [["0"], [], ["7"]], ids=["mode 0", "no mode", "mode 7"])
def test_inputhit_without_input_returns_at_once(conx, args):
    run = conx("INPUTHIT", *args, console=console_with(input_mode=0x0087))
    assert run.stdout == "" and run.exit_code == 0
    assert run.console.input_mode == 0x0096  # (0x87 | 0x10) & ~0x41
    assert run.calls("Sleep") == []


@pytest.mark.parametrize("wait_fails", [False, True], ids=["a wait", "1 ms sleeps when it fails"])
def test_inputhit_1_waits_for_input(conx, wait_fails):
    console = console_with(wait_fails=wait_fails)
    console.later(5, [mouse_event(2, 9, 1)])
    run = conx("INPUTHIT", "1", console=console)
    assert run.stdout == "2 9 1 0  \n"
    assert run.console.slept >= 5
    assert not run.console.events
    waits = run.calls("WaitForSingleObject")
    assert (len(run.calls("Sleep")), len(waits)) == ((5, 5) if wait_fails else (0, 1))
    assert waits[0] == ("WaitForSingleObject", "STDIN", 0xFFFFFFFF)  # INFINITE


@pytest.mark.parametrize("command, console, waits", [
    (["KBD"], console_with(), "waits for a key"),
    (["MOUSE"], console_with([key_event("a"), mouse_event(1, 1, 0)]), "waits for an input event"),
    (["INPUTHIT", "1"], console_with(), "waits for input"),
], ids=["KBD", "MOUSE", "INPUTHIT 1"])
def test_waits_go_on_while_nothing_comes(exe, command, console, waits):
    with pytest.raises(EmulationError, match=waits):
        emulator.run(exe, *command, console=console)


@pytest.mark.parametrize("command", [["MOUSE"], ["INPUTHIT", "1"], ["INPUTHIT", "0"]])
def test_input_not_a_console_ends_without_a_report(conx, command):
    console = console_with([mouse_event(1, 1, 1)], input_is_console=False)
    run = conx(*command, console=console)
    assert run.stdout == "" and run.exit_code == 0
    assert run.console.input_mode == 0x1F7


@pytest.mark.parametrize("time, report", [
    ((2024, 3, 5, 15, 13, 14, 15, 678), "5 2024 3 15 13 14 15 678"),
    ((1999, 12, 5, 31, 23, 59, 59, 999), "5 1999 12 31 23 59 59 999"),
    ((2023, 1, 0, 1, 0, 0, 0, 0), "0 2023 1 1 0 0 0 0"),
])
def test_time(conx, time, report):
    run = conx("TIME", console=console_with(time=time))
    assert run.stdout == report
    assert run.exit_code == 0


@pytest.mark.parametrize("command, code", [
    (["TIME"], 1), (["MOUSE"], 1), (["INPUTHIT", "0"], 1), (["COLOR", "07"], 0), (["KBD"], 97),
])
def test_a_report_that_cannot_be_written_ends_with_1(conx, command, code):
    console = console_with([mouse_event(2, 3, 1)], keys=[97], stdout_fails=True)
    run = conx(*command, console=console)
    assert (run.stdout, run.exit_code) == ("", code)


@pytest.mark.parametrize("args, slept", [
    (["250"], [250]), (["0"], [0]), (["-5"], []), (["4294967396"], [100]),
    (["2147483648"], []), ([], []), (["10", "20"], []),
])
def test_sleep(conx, args, slept):
    run = conx("SLEEP", *args)
    assert [c[1] for c in run.calls("Sleep")] == slept
    assert run.console.slept == sum(slept)


@pytest.mark.parametrize("args", [[], ["FOO", "1", "2"], ["PRINTX", "0", "0", "07", "X"],
                                  ["KBDD"], [""]])
def test_no_command_does_nothing(conx, args):
    run = conx(*args, console=console_with(keys=[97]))
    assert run.console_calls() == [("ExitProcess", 0)]
    assert run.stdout == "" and run.exit_code == 0


@pytest.mark.parametrize("keyword", ["print", "Print", "pRiNt"])
def test_keywords_ignore_letter_case(conx, keyword):
    run = conx(keyword, "1", "2", "0A", "Hi")
    assert run.console.text(1, 2, 2) == "Hi"
    assert run.console.attributes(1, 2, 2) == [0x0A, 0x0A]
