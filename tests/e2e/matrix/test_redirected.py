"""Standard input and standard output redirected from /dev/null, a file and
a closed descriptor, and output to a full device (/dev/full), with no
terminal at all: every command, both builds. Nothing can be read or drawn,
so nothing may wait: MOUSE and INPUTHIT 1 end at once without a report, KBD
ends at once. TIME still prints when standard output is a file; where it
cannot, it ends with status 1."""
import pytest

from conftest import AT_ONCE, TIME_REPORT, assert_no_crash, quiet_output, run_detached

HANDLES = ["null", "file", "closed"]
COMMANDS = [
    [b"PRINT", b"2", b"5", b"0A", b"Hello\\nworld"],
    [b"_KBD"],
    [b"KBD"],
    [b"MOUSE"],
    [b"INPUTHIT", b"0"],
    [b"INPUTHIT", b"1"],
    [b"INPUTHIT"],
    [b"TIME"],
    [b"SLEEP", b"1"],
    [b"COLOR", b"1F"],
    [b"LOCATE", b"3", b"10"],
    [b"CURSOR", b"0"],
    [b"FONT", b"1"],
]


@pytest.mark.parametrize("stdout", HANDLES + ["full"])
@pytest.mark.parametrize("stdin", HANDLES)
@pytest.mark.parametrize("args", COMMANDS, ids=[b" ".join(c[:2]).decode() for c in COMMANDS])
def test_redirected_handles(build, scratch, args, stdin, stdout):
    result = run_detached(build, args, scratch, stdin=stdin, stdout=stdout)
    assert_no_crash(result)
    assert result.seconds < AT_ONCE, result
    if args[0] == b"KBD":
        if build.name == "wine":
            assert result.code == 255, result  # _getch's -1: no console to read
    elif args[0] == b"TIME" and stdout in ("closed", "full"):
        # The report was lost. Wine started with descriptors 0 and 1 both
        # closed opens its own files there (a folder, its server's socket),
        # and the Windows program's standard output is then one of them.
        wine_reuses = build.name == "wine" and stdin == stdout == "closed"
        assert result.code == 1 or wine_reuses, result
    else:
        assert result.code == 0, result
    if args[0] == b"TIME" and stdout == "file":
        assert TIME_REPORT.match(result.output), result
    else:
        no_console = b"-1" if args[0] == b"KBD" else b"0"
        expected = quiet_output(build, args, key_code=no_console) if stdout == "file" else b""
        assert result.output == expected, result
