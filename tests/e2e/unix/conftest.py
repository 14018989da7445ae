"""The Unix build in a real tmux pane: a private tmux server, one pane per
test, driven with send-keys and read back with capture-pane; and on a bare
pty, where bytes arrive exactly as written."""
import contextlib
import os
import pty
import re
import select
import shutil
import signal
import subprocess
import tempfile
import time
import tty
import unicodedata

import pytest

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", "..", ".."))
CONX = os.environ.get("CONX_UNDER_TEST") or os.path.join(ROOT, "build", "native", "conx")
COLUMNS, ROWS = 80, 25
TIMEOUT = 10  # seconds any one wait may take before the test fails

# Gives back what INPUTHIT leaves and nothing more, so the terminal keeps
# its own settings (the README's line has stty sane, the usual ones).
RESTORE_LINE = (r"stty echo icanon </dev/tty; "
                r"printf '\033[?1004l\033[?1006l\033[?1002l\033[?1000l\033[0m\033[?25h' >/dev/tty")

SGR = re.compile(r"\x1b\[([0-9;]*)m")

TIOCSTI_SYSCTL = "/proc/sys/dev/tty/legacy_tiocsti"
WITHOUT_TIOCSTI = "setpriv --bounding-set -sys_admin --inh-caps -sys_admin"


@contextlib.contextmanager
def legacy_tiocsti(value):
    """The kernel's dev.tty.legacy_tiocsti for the duration."""
    try:
        before = open(TIOCSTI_SYSCTL).read().strip()
        with open(TIOCSTI_SYSCTL, "w") as f:
            f.write(value)
    except OSError:
        pytest.skip("dev.tty.legacy_tiocsti cannot be set here")
    try:
        yield
    finally:
        with open(TIOCSTI_SYSCTL, "w") as f:
            f.write(before)


def pty_run(command, *writes, gap=0.05):
    """Runs bash `command` ($C is conx) on a raw pty: the first of `writes`
    is typed ahead, the others come `gap` seconds apart while it runs.
    Gives its standard output and the bytes it left in the tty."""
    if not os.access(CONX, os.X_OK):
        pytest.skip("build/native/conx is not built")
    master, slave = pty.openpty()
    tty.setraw(slave)
    os.write(master, writes[0] if writes else b"")
    run = subprocess.Popen(["bash", "-c", command], stdin=slave, stdout=subprocess.PIPE,
                           env={**os.environ, "C": CONX, "LC_ALL": "C.UTF-8"},
                           start_new_session=True)
    for data in writes[1:]:
        time.sleep(gap)
        os.write(master, data)
    try:
        out = run.communicate(timeout=TIMEOUT)[0].decode()
    except subprocess.TimeoutExpired:
        os.killpg(run.pid, signal.SIGKILL)
        out = run.communicate()[0].decode() + " (still reading)"
    left = b""
    while select.select([slave], [], [], 0.01)[0]:
        left += os.read(slave, 65536)
    os.close(master)
    os.close(slave)
    return out, left


class Cell:
    def __init__(self, ch, fg, bg, flags):
        self.ch, self.fg, self.bg, self.flags = ch, fg, bg, flags

    def __repr__(self):
        return f"{self.ch!r}/{self.fg}/{self.bg}"


def parse_capture(text):
    """capture-pane -p -e output -> rows of Cells; fg/bg as SGR numbers
    (None: the default colour), flags a set of SGR numbers (4, 7); a wide
    character's second column is a Cell of its own, with ch ""."""
    grid = []
    fg = bg = None
    flags = set()
    for line in text.split("\n")[:ROWS]:
        row, i = [], 0
        while i < len(line):
            m = SGR.match(line, i)
            if m:
                params = [int(p) if p else 0 for p in m.group(1).split(";")]
                j = 0
                while j < len(params):
                    p = params[j]
                    if p == 0:
                        fg = bg = None
                        flags = set()
                    elif p in (38, 48):  # extended colours: kept as a tuple
                        n = 3 if params[j + 1] == 5 else 5
                        value = tuple(params[j + 1:j + n])
                        fg, bg = (value, bg) if p == 38 else (fg, value)
                        j += n - 1
                    elif 30 <= p <= 37 or 90 <= p <= 97:
                        fg = p
                    elif 40 <= p <= 47 or 100 <= p <= 107:
                        bg = p
                    elif p == 39:
                        fg = None
                    elif p == 49:
                        bg = None
                    elif 20 <= p <= 29:
                        flags.discard(p - 20)
                    else:
                        flags.add(p)
                    j += 1
                i = m.end()
                continue
            row.append(Cell(line[i], fg, bg, frozenset(flags)))
            if unicodedata.east_asian_width(line[i]) in "WF":  # its second column
                row.append(Cell("", fg, bg, frozenset(flags)))
            i += 1
        while len(row) < COLUMNS:
            row.append(Cell(" ", None, None, frozenset()))
        grid.append(row)
    while len(grid) < ROWS:
        grid.append([Cell(" ", None, None, frozenset()) for _ in range(COLUMNS)])
    return grid


def wait_for(predicate, what, timeout=TIMEOUT):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        if predicate():
            return
        time.sleep(0.02)
    pytest.fail(f"timed out waiting for {what}")


def ended(pid):
    """The process has ended (gone, or a zombie not yet waited for)."""
    try:
        return open(f"/proc/{pid}/stat").read().rsplit(")", 1)[1].split()[0] == "Z"
    except OSError:
        return True


class Pane:
    """One tmux pane running one bash script at a time. The script records
    `stty -g` before and after the commands, the commands' results, and
    whatever the shell could still read afterwards, then holds the screen."""

    runs = 0  # across all panes: each run has its own folder

    def __init__(self, server, folder):
        self.server, self.folder = server, folder

    def tmux(self, *args):
        result = subprocess.run(["tmux", "-L", self.server, "-f", "/dev/null", *args],
                                capture_output=True, text=True, timeout=TIMEOUT)
        assert result.returncode == 0, result.stderr
        return result.stdout

    def file(self, name):
        path = os.path.join(self.run_folder, name)
        return open(path, encoding="utf-8", errors="replace").read() if os.path.exists(path) else None

    def start(self, body, setup=""):
        """Runs `body` (bash; $C is conx) in a fresh pane screen."""
        Pane.runs += 1
        self.run_folder = os.path.join(self.folder, f"run{Pane.runs}")
        os.makedirs(self.run_folder)
        script = os.path.join(self.run_folder, "script.sh")
        with open(script, "w") as f:
            f.write(f"""cd {self.run_folder}
C={CONX}
printf '\\033[0m\\033[H\\033[2J'
{setup}
stty -g > stty.before
: > started
{body}
stty -g > stty.after
IFS= read -r -s -t 0.3 -d '' -n 200 rest
printf %s "$rest" > leftover
: > done
exec sleep 600
""")
        self.tmux("respawn-pane", "-k", "-t", "conx", f"bash --norc --noprofile {script}")
        wait_for(lambda: self.file("started") is not None, "the script to start")

    def wait_done(self):
        wait_for(lambda: self.file("done") is not None, "the commands to end")

    def run(self, body, setup=""):
        self.start(body, setup)
        self.wait_done()

    def tty(self):
        return self.tmux("display", "-p", "-t", "conx", "#{pane_tty}").strip()

    def wait_reading(self):
        """Waits until conx has the tty in raw mode: keys sent now reach it."""
        tty = self.tty()

        def raw():
            settings = subprocess.run(["stty", "-F", tty, "-a"], capture_output=True,
                                      text=True, timeout=TIMEOUT).stdout
            return re.search(r"(^|\s)-icanon\b", settings) and re.search(r"(^|\s)-echo\b", settings)
        wait_for(raw, "conx to read the keyboard")

    def wait_raw(self):
        """Waits until conx reads in raw mode proper: also -icrnl, which the
        state INPUTHIT leaves between calls keeps on."""
        tty = self.tty()

        def raw():
            settings = subprocess.run(["stty", "-F", tty, "-a"], capture_output=True,
                                      text=True, timeout=TIMEOUT).stdout
            return all(re.search(rf"(^|\s)-{flag}\b", settings) for flag in ("icanon", "echo", "icrnl"))
        wait_for(raw, "conx to read the keyboard in raw mode")

    def wait_file(self, name):
        wait_for(lambda: self.file(name) is not None, f"the script to write {name}")

    def mouse_reporting(self):
        return self.tmux("display", "-p", "-t", "conx", "#{mouse_any_flag}").strip() == "1"

    def keys(self, *keys):
        self.tmux("send-keys", "-t", "conx", *keys)

    def literal(self, text):
        self.tmux("send-keys", "-t", "conx", "-l", text)

    def grid(self):
        return parse_capture(self.tmux("capture-pane", "-p", "-e", "-t", "conx"))

    def text(self, row):
        return "".join(c.ch for c in self.grid()[row]).rstrip()

    def cursor(self):
        x, y, flag = self.tmux("display", "-p", "-t", "conx",
                               "#{cursor_x} #{cursor_y} #{cursor_flag}").split()
        return int(x), int(y), flag == "1"

    def status(self, name="status"):
        return int(self.file(name).strip())

    def assert_terminal_given_back(self):
        assert self.file("stty.after") == self.file("stty.before"), "tty settings changed"
        assert self.file("leftover") == "", "input left for the shell"


@pytest.fixture(scope="session")
def server():
    if not os.access(CONX, os.X_OK):
        pytest.skip("build/native/conx is not built")
    if not shutil.which("tmux"):
        pytest.skip("tmux is not installed")
    name = f"conx-e2e-{os.getpid()}"
    folder = tempfile.mkdtemp(prefix="conx-e2e-")
    base = ["tmux", "-L", name, "-f", "/dev/null"]
    subprocess.run(base + ["new-session", "-d", "-s", "conx", "-x", str(COLUMNS), "-y", str(ROWS),
                           "sleep 600"], check=True, timeout=TIMEOUT,
                   env={**os.environ, "TERM": "xterm-256color", "LC_ALL": "C.UTF-8"})
    subprocess.run(base + ["set", "-g", "remain-on-exit", "on"], check=True, timeout=TIMEOUT)
    yield name, folder
    subprocess.run(base + ["kill-server"], timeout=TIMEOUT)
    shutil.rmtree(folder, ignore_errors=True)


@pytest.fixture
def pane(server):
    return Pane(*server)
