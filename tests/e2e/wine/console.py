"""The harness: conx's Windows build under Wine's console in a private tmux
server, one session per case, and the screen read back as a grid of
(character, Windows attribute) cells."""

import contextlib
import os
import re
import signal
import termios
import subprocess
import time
import unicodedata
from dataclasses import dataclass, field
from pathlib import Path

ROOT = Path(__file__).resolve().parents[3]
WINE = os.environ.get("WINE", "/usr/lib/wine/wine64")
CONX = ROOT / "build" / "win64" / "conx.exe"
INJECT = ROOT / "build" / "win64" / "tests" / "e2e" / "inject" / "inject.exe"
EXAMPLES = ROOT / "examples"

WIDTH, HEIGHT = 80, 25
DEFAULT_ATTRIBUTE = 0x07

# ANSI colour number (30-37 / 40-47) -> Windows colour bits (blue 1, green 2, red 4).
ANSI_TO_WINDOWS = [0, 4, 2, 6, 1, 5, 3, 7]


def wine_environment():
    """scripts/wine-env.sh's environment and prefix, for this process and its
    children. Wine's processes keep no pipe of ours: the script gives them
    /dev/null."""
    dump = subprocess.run(["bash", "-c", ". scripts/wine-env.sh >&2 && env -0"], cwd=ROOT,
                          stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, timeout=180,
                          check=True).stdout.decode()
    env = dict(item.split("=", 1) for item in dump.split("\0") if item)
    env.pop("TMUX", None)
    return env


@contextlib.contextmanager
def wineserver(env):
    """One wineserver for the whole session. Wine ends its own 3 s after its
    last program (the one that made a new prefix at once), and a program
    that starts in that moment dies with "wine client error ... Connection
    reset by peer", or starts a server of its own whose services then hold
    that case's terminal; so the session keeps one running (as long as it
    lasts: -p) and stops it at its end. A server of the prefix that is
    still ending (a program's, wineboot's) is waited for first; one that does
    not end within 30 s is another session's, and is used as it is.
    Yields whether the session's own server runs."""
    server = os.path.join(os.path.dirname(WINE), "wineserver")
    quiet = dict(env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                 stderr=subprocess.DEVNULL)
    started = subprocess.run([server, "-p"], timeout=60, **quiet).returncode == 0
    if not started:
        with contextlib.suppress(subprocess.TimeoutExpired):
            subprocess.run([server, "-w"], timeout=30, **quiet)
            started = subprocess.run([server, "-p"], timeout=60, **quiet).returncode == 0
    try:
        yield started
    finally:
        if started:
            subprocess.run([server, "-k"], timeout=60, **quiet)


def windows_path(path):
    """A Unix path as Wine's Windows programs name it (drive Z: is /)."""
    return "Z:" + str(path).replace("/", "\\")


# ---- the screen grid -------------------------------------------------------

SGR = re.compile(r"\x1b\[([0-9;]*)m")
ZERO_WIDTH_SPACE = "\u200b"
OTHER_ESCAPE = re.compile(r"\x1b(\[[0-9;?]*[A-Za-z]|[()][0-9A-Za-z]|[=>])")


def _apply_sgr(params, fg, bg):
    codes = [int(p) if p else 0 for p in params.split(";")] if params else [0]
    for code in codes:
        if code == 0:
            fg, bg = 7, 0
        elif 30 <= code <= 37:
            fg = ANSI_TO_WINDOWS[code - 30]
        elif code == 39:
            fg = 7  # Wine sends foreground 7 as the terminal default
        elif 40 <= code <= 47:
            bg = ANSI_TO_WINDOWS[code - 40]
        elif code == 49:
            bg = 0  # background 0 comes as 40 or as the default
        elif 90 <= code <= 97:
            fg = ANSI_TO_WINDOWS[code - 90] | 8
        elif 100 <= code <= 107:
            bg = ANSI_TO_WINDOWS[code - 100] | 8
        # bold, underline, reverse and the like: no Windows colour meaning
    return fg, bg


def parse_capture(text, width=WIDTH, height=HEIGHT):
    """capture-pane -p -e output -> rows of (character, attribute) cells.

    The colour state carries over from one line to the next, as tmux
    sends it; cells the capture leaves out are blank in the default colour.
    A wide character takes two cells, the second "" (as the Windows console
    shows it); the zero-width space that Wine's console writes for that
    second cell is no cell of its own."""
    rows = []
    fg, bg = 7, 0
    for line in text.split("\n")[:height]:
        cells = []
        pos = 0
        while pos < len(line):
            m = SGR.match(line, pos)
            if m:
                fg, bg = _apply_sgr(m.group(1), fg, bg)
                pos = m.end()
                continue
            m = OTHER_ESCAPE.match(line, pos)
            if m:
                pos = m.end()
                continue
            if line[pos] != ZERO_WIDTH_SPACE:
                cells.append((line[pos], bg << 4 | fg))
                if unicodedata.east_asian_width(line[pos]) in "WF":
                    cells.append(("", bg << 4 | fg))
            pos += 1
        cells = cells[:width]
        cells += [(" ", DEFAULT_ATTRIBUTE)] * (width - len(cells))
        rows.append(cells)
    while len(rows) < height:
        rows.append([(" ", DEFAULT_ATTRIBUTE)] * width)
    return rows


@dataclass
class Screen:
    rows: list
    cursor: tuple  # (row, column)
    cursor_visible: bool
    raw: str = ""

    def text(self, row, column=0, length=None):
        cells = self.rows[row][column:None if length is None else column + length]
        return "".join(c for c, _ in cells)

    def attrs(self, row, column, length):
        return [a for _, a in self.rows[row][column:column + length]]

    def cell(self, row, column):
        return self.rows[row][column]

    def lines(self):
        return [self.text(r).rstrip() for r in range(len(self.rows))]

    def find(self, needle):
        for r in range(len(self.rows)):
            c = self.text(r).find(needle)
            if c >= 0:
                return r, c
        return None

    def blank_except(self, keep):
        """Cells not in `keep` ({(row, column)}) that are not blank/default."""
        return [(r, c, ch, hex(a)) for r, row in enumerate(self.rows)
                for c, (ch, a) in enumerate(row)
                if (r, c) not in keep and (ch, a) != (" ", DEFAULT_ATTRIBUTE)]

    def dump(self):
        return "\n".join(f"{r:2}|{line}" for r, line in enumerate(self.lines()))


# What Wine's programs print when a program could not be started at all
# (cmd.exe, the loader, inject): Wine's CreateProcess fails now and then,
# as the README's section on this suite tells.
NOT_STARTED = ("Can't recognize '", "wine: failed to start", "inject: cannot start")


class DidNotRun(AssertionError):
    """Wine did not start a program of the case: the pane says so, or inject
    wrote no report."""


# ---- the tmux server -----------------------------------------------------------

@dataclass
class Run:
    status: int          # what the Unix side sees: the low 8 bits
    screen: Screen
    seconds: float       # launch to pane death
    report: dict = field(default_factory=dict)  # inject's report, if any
    live: Screen = None  # the pane read while the process still ran

    @property
    def exit_code(self):
        """The full exit code when inject reported it, else the Unix status."""
        code = self.report.get("exit")
        return int(code) if code not in (None, "timeout") else self.status


class Tmux:
    """A private tmux server; each case is one session whose only process
    is the command (Wine with the exe, not a shell)."""

    def __init__(self, name, env, workdir):
        self.name = name
        self.env = env
        self.workdir = Path(workdir)
        self.count = 0
        self.server_pid = None
        self.cmd(["start-server", ";", "set", "-g", "exit-empty", "off", ";",
                  "set", "-g", "remain-on-exit", "on", ";",
                  "set", "-g", "remain-on-exit-format", "", ";",
                  "set", "-g", "status", "off", ";",
                  "set", "-g", "history-limit", "0"])

    def cmd(self, args, check=True, timeout=20):
        r = subprocess.run(["tmux", "-L", self.name, "-f", "/dev/null", *args], env=self.env,
                           stdin=subprocess.DEVNULL, capture_output=True, text=True,
                           timeout=timeout)
        if check and r.returncode != 0:
            raise RuntimeError(f"tmux {args[0]}: {r.stderr.strip()}")
        return r.stdout

    def kill(self):
        self.cmd(["kill-server"], check=False)

    def start(self, argv, width=WIDTH, height=HEIGHT, cwd=None, env=None):
        """A new session running argv, with env's variables added to the server's."""
        self.count += 1
        session = f"c{self.count}"
        # tmux 3.3a closes a pane's terminal the moment its process ends,
        # dropping what the process wrote last if tmux had not read it yet;
        # a pane piped somewhere is kept until everything is read. The pipe
        # is set in the same command queue, before the process can end.
        self.cmd(["new-session", "-d", "-s", session, "-x", str(width), "-y", str(height),
                  "-c", str(cwd or self.workdir), *[f"-e{k}={v}" for k, v in (env or {}).items()],
                  *[str(a) for a in argv], ";",
                  "pipe-pane", "-O", "-t", session, "exec cat >/dev/null"])
        return session

    def display(self, session, fmt):
        return self.cmd(["display-message", "-p", "-t", session, fmt]).rstrip("\n")

    def wait_dead(self, session, timeout):
        """Waits for the pane's process to end and its status to be known."""
        deadline = time.monotonic() + timeout
        dead_since = None
        while True:
            state = self.display(session, "#{pane_dead}|#{pane_dead_status}|#{pane_dead_signal}")
            dead, status, signal = state.split("|")
            if dead == "1" and (status or signal):
                return int(status) if status else -int(signal)
            if dead == "1":
                # tmux 3.3a sometimes misses the child's SIGCHLD when clients
                # come and go: the pane stays dead with no status and the
                # process a zombie. Another SIGCHLD makes it reap the child.
                now = time.monotonic()
                if dead_since is None:
                    dead_since = now
                elif now - dead_since > 0.2:
                    self._nudge()
                    dead_since = now
            if time.monotonic() > deadline:
                self.last_state = state
                return None
            time.sleep(0.02)

    def _nudge(self):
        if self.server_pid is None:
            self.server_pid = int(self.cmd(["display-message", "-p", "#{pid}"]).strip())
        os.kill(self.server_pid, signal.SIGCHLD)

    def screen(self, session, width=WIDTH, height=HEIGHT):
        raw = self.cmd(["capture-pane", "-p", "-e", "-t", session])
        fmt = "#{cursor_y}|#{cursor_x}|#{cursor_flag}"
        y, x, flag = self.display(session, fmt).split("|")
        return Screen(parse_capture(raw, width, height), (int(y), int(x)), flag == "1", raw)

    def wait_raw(self, session, timeout):
        """Waits until the pane's terminal has echo off (Wine's console is up)."""
        tty = self.display(session, "#{pane_tty}")
        deadline = time.monotonic() + timeout
        fd = os.open(tty, os.O_RDONLY | os.O_NOCTTY | os.O_NONBLOCK)
        try:
            while termios.tcgetattr(fd)[3] & termios.ECHO:
                if time.monotonic() > deadline:
                    raise AssertionError(f"{tty} never left echo mode")
                time.sleep(0.01)
        finally:
            os.close(fd)

    def send_keys(self, session, *keys):
        self.cmd(["send-keys", "-t", session, *keys])

    def close(self, session):
        self.cmd(["kill-session", "-t", session], check=False)
