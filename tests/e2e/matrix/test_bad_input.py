"""Bad input on the command line, both builds, with no terminal at all
(standard input /dev/null, standard output a file). Every case must end by
itself within its bound, without a crash, with the exit code the README's
Commands section gives (0 unless a key reader ran), printing nothing
unless it is TIME."""
import pytest

from conftest import AT_ONCE, TIME_REPORT, assert_no_crash, quiet_output, run_detached

LONG = 32000  # bytes: near the Windows limit of 32,767 for a whole command line
HIGH = bytes(range(0x80, 0x100))
LOW = bytes(range(0x01, 0x20))

# (name, arguments) of cases that must exit 0 at once and print nothing.
QUIET = [
    ("no arguments", []),
    ("empty keyword", [b""]),
    ("unknown keyword", [b"PRINTX", b"1"]),
    ("keyword of high bytes", [HIGH]),
    ("keyword with a control byte", [b"PRINT\x01", b"0", b"0", b"07", b"x"]),
    # too few parameters
    ("PRINT alone", [b"PRINT"]),
    ("PRINT row", [b"PRINT", b"1"]),
    ("PRINT row column", [b"PRINT", b"1", b"2"]),
    ("PRINT without text", [b"PRINT", b"1", b"2", b"0A"]),
    ("COLOR alone", [b"COLOR"]),
    ("LOCATE alone", [b"LOCATE"]),
    ("LOCATE row", [b"LOCATE", b"3"]),
    ("CURSOR alone", [b"CURSOR"]),
    ("FONT alone", [b"FONT"]),
    ("SLEEP alone", [b"SLEEP"]),
    ("INPUTHIT alone", [b"INPUTHIT"]),
    # too many parameters
    ("PRINT trailing attribute", [b"PRINT", b"1", b"2", b"0A", b"Hi", b"0C"]),
    ("COLOR two", [b"COLOR", b"1F", b"2"]),
    ("LOCATE three", [b"LOCATE", b"3", b"10", b"1"]),
    ("CURSOR two", [b"CURSOR", b"1", b"2"]),
    ("FONT two", [b"FONT", b"1", b"2"]),
    ("SLEEP two", [b"SLEEP", b"100000", b"1"]),
    ("_KBD surplus", [b"_KBD", b"x", b"y"]),
    ("MOUSE surplus", [b"MOUSE", b"1"]),
    ("INPUTHIT surplus", [b"INPUTHIT", b"1", b"2"]),
    # non-numeric and empty parameters
    ("PRINT words", [b"PRINT", b"x", b"y", b"z", b"text"]),
    ("PRINT empties", [b"PRINT", b"", b"", b"", b""]),
    ("COLOR empty", [b"COLOR", b""]),
    ("COLOR word", [b"COLOR", b"zz"]),
    ("LOCATE words", [b"LOCATE", b"a", b"b"]),
    ("LOCATE empties", [b"LOCATE", b"", b""]),
    ("CURSOR word", [b"CURSOR", b"x"]),
    ("CURSOR empty", [b"CURSOR", b""]),
    ("FONT word", [b"FONT", b"x"]),
    ("SLEEP word", [b"SLEEP", b"abc"]),
    ("SLEEP empty", [b"SLEEP", b""]),
    ("INPUTHIT word", [b"INPUTHIT", b"abc"]),
    ("INPUTHIT empty", [b"INPUTHIT", b""]),
    # numbers beyond 16 and 32 bits
    ("PRINT 16-bit overflow", [b"PRINT", b"65536", b"65537", b"10007", b"x"]),
    ("PRINT 32-bit overflow", [b"PRINT", b"4294967296", b"4294967297", b"FFFFFFFFF", b"x"]),
    ("PRINT 20 digits", [b"PRINT", b"99999999999999999999", b"-99999999999999999999", b"1" * 20, b"x"]),
    ("COLOR beyond 16 bits", [b"COLOR", b"10000"]),
    ("COLOR beyond 32 bits", [b"COLOR", b"FFFFFFFFFF"]),
    ("LOCATE beyond", [b"LOCATE", b"65536", b"4294967296"]),
    ("LOCATE 20 digits", [b"LOCATE", b"99999999999999999999", b"1"]),
    ("CURSOR beyond 32 bits", [b"CURSOR", b"4294967296"]),
    ("CURSOR 25 plus 2^32", [b"CURSOR", b"4294967321"]),
    ("FONT beyond 32 bits", [b"FONT", b"4294967296"]),
    ("FONT 20 digits", [b"FONT", b"99999999999999999999"]),
    ("SLEEP 2^32", [b"SLEEP", b"4294967296"]),
    ("SLEEP 2^31", [b"SLEEP", b"2147483648"]),
    ("SLEEP 100 plus 2^32", [b"SLEEP", b"4294967396"]),
    ("INPUTHIT 1 plus 2^32", [b"INPUTHIT", b"4294967297"]),
    ("INPUTHIT 20 digits", [b"INPUTHIT", b"99999999999999999999"]),
    # negative numbers everywhere
    ("PRINT negative", [b"PRINT", b"-1", b"-1", b"-1", b"x"]),
    ("PRINT most negative", [b"PRINT", b"-32768", b"-32769", b"-FFFF", b"x"]),
    ("COLOR negative", [b"COLOR", b"-1"]),
    ("LOCATE negative", [b"LOCATE", b"-1", b"-1"]),
    ("CURSOR negative", [b"CURSOR", b"-1"]),
    ("CURSOR minus 25", [b"CURSOR", b"-25"]),
    ("FONT negative", [b"FONT", b"-1"]),
    ("SLEEP negative", [b"SLEEP", b"-1"]),
    ("SLEEP most negative", [b"SLEEP", b"-2147483648"]),
    ("SLEEP minus 2^32", [b"SLEEP", b"-4294967296"]),
    ("INPUTHIT negative", [b"INPUTHIT", b"-1"]),
    ("MOUSE negative", [b"MOUSE", b"-1"]),
    # long texts
    ("PRINT 32000 letters", [b"PRINT", b"0", b"0", b"07", b"x" * LONG]),
    ("PRINT 32000 backslashes", [b"PRINT", b"0", b"0", b"07", b"\\" * LONG]),
    ("PRINT 32000 bytes of new lines", [b"PRINT", b"-5", b"70", b"1F", b"ab\\n" * (LONG // 4)]),
    ("PRINT 32000 bytes of transparent cells", [b"PRINT", b"24", b"79", b"07", b"\\0" * (LONG // 2)]),
    ("PRINT 32000 bytes of hex escapes", [b"PRINT", b"0", b"0", b"07", b"\\E9\\80\\FF\\41" * (LONG // 12)]),
    ("PRINT many pairs", [b"PRINT", b"0", b"0"] + [b"0C", b"ab"] * 2000),
    # odd bytes
    ("PRINT control bytes", [b"PRINT", b"0", b"0", b"07", LOW]),
    ("PRINT high bytes", [b"PRINT", b"0", b"0", b"07", HIGH]),
    ("PRINT odd bytes as numbers", [b"PRINT", LOW, HIGH, HIGH + LOW, b"x"]),
    ("COLOR control byte", [b"COLOR", b"\x1f"]),
    ("LOCATE high bytes", [b"LOCATE", b"\x80", b"\xff"]),
    ("SLEEP control byte", [b"SLEEP", b"\x01"]),
    ("INPUTHIT high byte", [b"INPUTHIT", b"\xff"]),
    # texts ending in backslashes
    ("text ending in a backslash", [b"PRINT", b"0", b"0", b"07", b"abc\\"]),
    ("text ending in three backslashes", [b"PRINT", b"0", b"0", b"07", b"abc\\\\\\"]),
    ("text of one backslash", [b"PRINT", b"0", b"0", b"07", b"\\"]),
    ("text ending in a digit escape and a backslash", [b"PRINT", b"0", b"0", b"07", b"\\4\\"]),
    ("every text ending in a backslash", [b"PRINT", b"0", b"0", b"07", b"a\\", b"0C", b"b\\", b"0E", b"\\41\\"]),
]


@pytest.mark.parametrize("args", [c[1] for c in QUIET], ids=[c[0] for c in QUIET])
def test_bad_input_exits_0_at_once_quietly(build, scratch, args):
    result = run_detached(build, args, scratch)
    assert_no_crash(result)
    assert result.code == 0, result
    assert result.output == quiet_output(build, args), result
    assert result.seconds < AT_ONCE, result


def test_sleep_wraps_counts_beyond_32_bits(build, scratch):
    """4294967396 is 100 beyond 2^32: read through the C runtime's atol
    it is a 100 ms sleep, not an endless one."""
    result = run_detached(build, [b"SLEEP", b"4294967396"], scratch)
    assert_no_crash(result)
    assert result.code == 0
    assert 0.09 <= result.seconds < AT_ONCE, result


@pytest.mark.parametrize("args", [[b"TIME"], [b"TIME", b"x", b"-1"], [b"time", b"\xff" * 100]],
                         ids=["plain", "surplus", "high bytes"])
def test_time_ignores_its_parameters(build, scratch, args):
    result = run_detached(build, args, scratch)
    assert_no_crash(result)
    assert result.code == 0
    assert TIME_REPORT.match(result.output), result


@pytest.mark.parametrize("args", [[b"KBD"], [b"KBD", b"-1"], [b"kbd", b"x" * 1000]],
                         ids=["plain", "negative", "surplus"])
def test_kbd_without_a_console_returns_at_once(build, scratch, args):
    """No console to read a key from: the key read fails at once. Under
    Wine the C runtime's _getch gives -1, which reaches the shell as 255."""
    result = run_detached(build, args, scratch)
    assert_no_crash(result)
    assert result.seconds < AT_ONCE, result
    assert result.output == quiet_output(build, args, key_code=b"-1"), result
    if build.name == "wine":
        assert result.code == 255, result
