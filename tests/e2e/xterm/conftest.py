"""The Unix build in a real xterm on a virtual X display (Xvfb): a fresh
xterm per test, driven by real X key and mouse events (xdotool, XTEST) and
read back with xterm's own screen dump (every cell's character and colours)."""
import fcntl
import glob
import html
import os
import re
import shutil
import signal
import subprocess
import tempfile
import termios
import time

import pytest

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", "..", ".."))
CONX = os.path.join(ROOT, "build", "native", "conx")
COLUMNS, ROWS = 80, 25
CELL_WIDTH, CELL_HEIGHT = 6, 13  # the 6x13 font, no inner border (-b 0)
TIMEOUT = 10  # seconds any one wait may take before the test fails

# Gives back what INPUTHIT leaves and nothing more, so the terminal keeps
# its own settings (the README's line has stty sane, the usual ones).
RESTORE_LINE = r"stty echo icanon; printf '\033[?1004l\033[?1006l\033[?1002l\033[?1000l'"

# xterm's default palette, colours 0-15 (ANSI order).
PALETTE = {
    (0, 0, 0): 0, (205, 0, 0): 1, (0, 205, 0): 2, (205, 205, 0): 3,
    (0, 0, 238): 4, (205, 0, 205): 5, (0, 205, 205): 6, (229, 229, 229): 7,
    (127, 127, 127): 8, (255, 0, 0): 9, (0, 255, 0): 10, (255, 255, 0): 11,
    (92, 92, 255): 12, (255, 0, 255): 13, (0, 255, 255): 14, (255, 255, 255): 15,
}
# xterm's own default colours, black on white: the same values as palette
# entries 0 and 15.
DEFAULT_FG, DEFAULT_BG = 0, 15

# The terminal modes each test ends with, asked of xterm (DECRQM).
MOUSE_MODES = (1000, 1002, 1006, 1004)
CURSOR_MODE = 25
SET, RESET = 1, 2

# The script each xterm runs, in bash or in sh (dash: its job control
# leaves the tty alone when a job stops or ends, where bash puts back the
# settings it saw before `fg`).
SCRIPT = r"""cd {folder}
C={conx}
echo $$ > pid
tty > ttyname
echo "$WINDOWID" > wid.new && mv wid.new wid

# Waits until the test lets it go on: `step NAME` <-> Xterm.release(NAME).
step() {{ mkfifo "$1.gate"; : > "$1.mark"; read -r _ < "$1.gate"; }}
probe() {{ bash {probe} "$1"; }}

step go
{setup}
stty -g > stty.before
{body}
stty -g > stty.after
probe probe
: > done
exec sleep 600
"""

# Asks xterm for its mouse, focus and cursor modes (DECRQM, answered with
# CSI ? mode ; 1|2 $ y), the cursor's shape (DECRQSS for DECSCUSR: DCS 1 $ r
# n SP q ST) and place (CPR: CSI row ; column R), ending with a device
# attributes query whose answer closes the reply; what came before the
# answers was input nobody took.
PROBE = r"""saved=$(stty -g) reply= end=$'\e\\[\\?[0-9;]*c$'
stty raw -echo
printf '\033[?1000$p\033[?1002$p\033[?1006$p\033[?1004$p\033[?25$p\033P$q q\033\\\033[6n\033[c'
while IFS= read -r -d '' -n 1 -t 5 c; do
    reply+=$c
    [[ $reply =~ $end ]] && break
done
stty "$saved"
printf %s "$reply" > "$1"
"""

SPAN = re.compile(r"<span[^>]*style='color: rgb\(([^)]*)\); background: rgb\(([^)]*)\)'>(.*?)</span>")
MODE_REPLY = re.compile(r"\x1b\[\?(\d+);(\d)\$y")
SHAPE_REPLY = re.compile(r"\x1bP1\$r(\d) q\x1b\\")
POSITION_REPLY = re.compile(r"\x1b\[(\d+);(\d+)R")
ATTRIBUTES_REPLY = re.compile(r"\x1b\[\?[0-9;]*c")


class Cell:
    def __init__(self, ch, fg, bg):
        self.ch, self.fg, self.bg = ch, fg, bg

    def __eq__(self, other):
        return (self.ch, self.fg, self.bg) == (other.ch, other.fg, other.bg)

    def __repr__(self):
        return f"{self.ch!r}/{self.fg}/{self.bg}"


def colour(percentages):
    rgb = tuple(round(float(p.strip().rstrip("%")) * 255 / 100) for p in percentages.split(","))
    return PALETTE.get(rgb, rgb)


def parse_dump(xhtml):
    """xterm's XHTML screen dump -> rows of Cells, colours as palette indexes."""
    pre = xhtml[xhtml.index("<pre>") + len("<pre>"):xhtml.index("</pre>")]
    grid = []
    for line in pre.rstrip("\n").split("\n"):
        row = []
        for fg, bg, text in SPAN.findall(line):
            for ch in html.unescape(text).replace("\xa0", " "):
                row.append(Cell(ch, colour(fg), colour(bg)))
        grid.append(row)
    return grid


def blank_screen(rows=ROWS, columns=COLUMNS):
    return [[Cell(" ", DEFAULT_FG, DEFAULT_BG) for _ in range(columns)] for _ in range(rows)]


def put(screen, row, column, text, fg, bg):
    """Writes text into an expected screen, as a terminal shows it."""
    for i, ch in enumerate(text):
        screen[row][column + i] = Cell(ch, fg, bg)


def assert_screen(grid, expected):
    wrong = [f"({r},{c}) {grid[r][c]} expected {cell}"
             for r, row in enumerate(expected) for c, cell in enumerate(row) if grid[r][c] != cell]
    assert not wrong, f"{len(wrong)} cells differ: " + "; ".join(wrong[:12])


def wait_for(predicate, what, timeout=TIMEOUT):
    end = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > end:
            pytest.fail(f"timed out waiting for {what}")
        time.sleep(0.02)


class Display:
    """One Xvfb for the session, and a window to move the focus to."""

    def __init__(self, folder):
        self.folder = folder
        self.number = self.free_number()
        self.probe = os.path.join(folder, "probe.bash")
        with open(self.probe, "w") as f:
            f.write(PROBE)
        self.env = {k: v for k, v in os.environ.items() if not k.startswith("LC_")}
        self.env.update(DISPLAY=f":{self.number}", LANG="C.UTF-8")
        self.server = self.other = None

    def start(self):
        self.server = subprocess.Popen(
            ["Xvfb", f":{self.number}", "-screen", "0", "1600x1000x24", "-nolisten", "tcp"],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        socket = f"/tmp/.X11-unix/X{self.number}"
        wait_for(lambda: os.path.exists(socket) or self.server.poll() is not None, "Xvfb")
        if self.server.poll() is not None:
            pytest.fail(f"Xvfb :{self.number} did not start")
        # Keys the default keymap lacks get a spare key code of their own: for
        # them xdotool would otherwise remap a key code for each press, and a
        # press can then reach xterm before the new mapping does (é lost).
        self.run("xmodmap", "-e", "keycode 253 = eacute Eacute")
        # The first xterm on a fresh display can take seconds to map; this
        # one also takes the focus when a test moves it away.
        self.other = self.xterm(["-geometry", "20x5+900+600", "-e", "sh", "-c",
                                 'echo "$WINDOWID" > other.new && mv other.new other; exec sleep 3600'],
                                self.folder)
        self.other_window = wait_for(lambda: read(os.path.join(self.folder, "other")),
                                     "the first xterm").strip()
        self.wait_mapped(self.other_window)

    @staticmethod
    def free_number():
        start = os.getpid() % 10
        for i in range(10):
            number = 90 + (start + i) % 10
            if not os.path.exists(f"/tmp/.X{number}-lock") and \
                    not os.path.exists(f"/tmp/.X11-unix/X{number}"):
                return number
        pytest.skip("no free X display in :90-:99")

    def xterm(self, arguments, folder, env=None):
        return subprocess.Popen(["xterm", "-fn", "6x13", "-b", "0", *arguments], cwd=folder,
                                env={**self.env, **(env or {})}, stdin=subprocess.DEVNULL,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                start_new_session=True)

    def run(self, *command):
        result = subprocess.run(command, env=self.env, stdin=subprocess.DEVNULL,
                                capture_output=True, text=True, timeout=TIMEOUT)
        assert result.returncode == 0, f"{command}: {result.stderr}"
        return result.stdout

    def wait_mapped(self, window):
        wait_for(lambda: "IsViewable" in self.run("xwininfo", "-id", window), "the window to map")

    def close(self):
        for process in (self.other, self.server):
            if process:
                stop(process)


def read(path):
    """A file's text as written, or None while it does not exist."""
    try:
        with open(path, encoding="utf-8", errors="replace") as f:
            return f.read()
    except FileNotFoundError:
        return None


def stop(process):
    process.terminate()
    try:
        process.wait(timeout=5)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()


class Xterm:
    """One xterm running one script. The script records `stty -g`
    before and after the test's commands, then the terminal modes and any
    input left over (the probe), and holds the screen."""

    runs = 0  # across the session: each xterm has its own folder

    def __init__(self, display):
        self.display = display
        self.process = None

    # ---- Starting and stepping -------------------------------------------------

    def start(self, body, setup="", options=(), env=None, geometry=f"{COLUMNS}x{ROWS}",
              shell="bash"):
        """Starts an xterm (options before -e) whose script runs `body`
        ($C is conx; `step NAME` waits for release(NAME), `probe FILE`
        records the terminal modes) under `shell`, and waits until the
        window is mapped and focused and the script runs the body."""
        Xterm.runs += 1
        self.folder = os.path.join(self.display.folder, f"run{Xterm.runs}")
        os.makedirs(self.folder)
        script = os.path.join(self.folder, "script.sh")
        with open(script, "w") as f:
            f.write(SCRIPT.format(folder=self.folder, conx=CONX, probe=self.display.probe,
                                  setup=setup, body=body))
        command = ["bash", "--norc", "--noprofile"] if shell == "bash" else [shell]
        self.process = self.display.xterm(
            ["-geometry", f"{geometry}+0+0", *options, "-e", *command, script], self.folder, env)
        self.window = wait_for(lambda: self.file("wid"), "the xterm's shell").strip()
        self.tty, self.pid = self.file("ttyname").strip(), self.file("pid").strip()
        self.display.wait_mapped(self.window)
        self.display.run("xdotool", "windowfocus", "--sync", self.window)
        self.release("go")

    def run(self, body, **start):
        self.start(body, **start)
        self.wait_done()

    def file(self, name):
        return read(os.path.join(self.folder, name))

    def status(self, name="status"):
        return int(self.file(name).strip())

    def wait_mark(self, name):
        wait_for(lambda: os.path.exists(os.path.join(self.folder, f"{name}.mark")),
                 f"the script to reach {name}")

    def release(self, name):
        """Lets the script on past `step NAME`."""
        self.wait_mark(name)
        gate = os.path.join(self.folder, f"{name}.gate")

        def opened():
            try:
                return os.open(gate, os.O_WRONLY | os.O_NONBLOCK) + 1
            except OSError:  # the script has not opened it yet
                return None
        fd = wait_for(opened, f"the script to wait at {name}") - 1
        os.write(fd, b"\n")
        os.close(fd)

    def wait_done(self):
        wait_for(lambda: os.path.exists(os.path.join(self.folder, "done")), "the commands to end")

    def close(self):
        if not self.process:
            return
        stop(self.process)
        # Stopped jobs of the script (job control tests) outlive the hangup.
        for stat in glob.glob("/proc/[0-9]*/stat"):
            try:
                fields = open(stat).read().rsplit(")", 1)[1].split()
            except OSError:
                continue
            if fields[3] == self.pid:  # the session the script leads
                try:
                    os.kill(int(stat.split("/")[2]), signal.SIGKILL)
                except ProcessLookupError:
                    pass

    # ---- The tty --------------------------------------------------------------

    def tty_attributes(self):
        fd = os.open(self.tty, os.O_RDONLY | os.O_NOCTTY | os.O_NONBLOCK)
        try:
            return termios.tcgetattr(fd)
        finally:
            os.close(fd)

    def pending_input(self):
        """Bytes the tty holds for a reader (a complete line in line mode)."""
        fd = os.open(self.tty, os.O_RDONLY | os.O_NOCTTY | os.O_NONBLOCK)
        try:
            return int.from_bytes(fcntl.ioctl(fd, termios.FIONREAD, b"\0\0\0\0"), "little")
        finally:
            os.close(fd)

    def wait_reading(self):
        """Waits until conx has the tty in raw mode (no echo, no line
        editing, CR kept as CR) and xterm has taken in all it was sent
        before (mouse reporting switched on): input sent now reaches conx."""
        def raw():
            iflag, _, _, lflag = self.tty_attributes()[:4]
            return not lflag & (termios.ICANON | termios.ECHO) and not iflag & termios.ICRNL
        wait_for(raw, "conx to read the keyboard")
        self.dump()

    def wait_running(self, command):
        """Waits until conx runs `command` as the terminal's foreground job."""
        def running():
            for stat in glob.glob("/proc/[0-9]*/stat"):
                try:
                    name, fields = open(stat).read().split(" (", 1)[1].rsplit(")", 1)
                    cmdline = open(stat[:-4] + "cmdline").read().split("\0")
                except OSError:
                    continue
                fields = fields.split()
                if name == "conx" and command in cmdline and fields[3] == self.pid \
                        and fields[2] == fields[5]:  # its group has the terminal
                    return True
            return False
        wait_for(running, f"conx {command} to run")

    # ---- X input ----------------------------------------------------------------

    def key(self, *keys):
        """Real key presses (XTEST) into the focused window."""
        self.display.run("xdotool", "windowfocus", "--sync", self.window,
                         "key", "--clearmodifiers", *keys)

    def mouse(self, row, column, action, button):
        """Moves the pointer to the cell's centre, then clicks, presses
        (mousedown) or lets go (mouseup). xterm asks where the pointer is
        when it handles a move: with the button already down by then, the
        move would be reported as a drag before the press."""
        self.display.run("xdotool", "mousemove", "--window", self.window,
                         str(column * CELL_WIDTH + CELL_WIDTH // 2),
                         str(row * CELL_HEIGHT + CELL_HEIGHT // 2))
        self.dump()  # xterm has handled the move
        self.display.run("xdotool", action, str(button))

    def click(self, row, column, button=1):
        """xdotool buttons: 1 left, 2 middle, 3 right, 4 and 5 the wheel."""
        self.mouse(row, column, "click", button)

    def focus_away(self):
        self.display.run("xdotool", "windowfocus", "--sync", self.display.other_window)

    def focus_back(self):
        self.display.run("xdotool", "windowfocus", "--sync", self.window)

    def geometry(self):
        info = self.display.run("xwininfo", "-id", self.window)
        return tuple(int(re.search(rf"{name}: *(\d+)", info).group(1)) for name in ("Width", "Height"))

    def resize(self, columns, rows):
        self.display.run("xdotool", "windowsize", self.window,
                         str(columns * CELL_WIDTH), str(rows * CELL_HEIGHT))

    # ---- The screen ---------------------------------------------------------------

    def dump(self):
        """The screen as xterm holds it, asked for through the tty
        (MC `CSI 10 i`): written after everything sent to it before."""
        for old in glob.glob(os.path.join(self.folder, "xterm.*.xhtml")):
            os.remove(old)
        fd = os.open(self.tty, os.O_WRONLY | os.O_NOCTTY)
        try:
            os.write(fd, b"\x1b[10i")
        finally:
            os.close(fd)

        def written():
            for path in glob.glob(os.path.join(self.folder, "xterm.*.xhtml")):
                with open(path, "rb") as f:  # maybe still being written
                    text = f.read()
                if text.rstrip().endswith(b"</html>"):
                    return text.decode("utf-8")
            return None
        return parse_dump(wait_for(written, "the screen dump"))

    def text(self, row, grid=None):
        return "".join(c.ch for c in (grid or self.dump())[row]).rstrip()

    def find(self, ch):
        """(row, column) of the first `ch` on the screen, or None."""
        for r, row in enumerate(self.dump()):
            line = "".join(c.ch for c in row)
            if ch in line:
                return r, line.index(ch)
        return None

    # ---- The terminal given back ----------------------------------------------------

    def modes(self, name="probe"):
        """{mode: SET or RESET} as xterm answered, and the input left over."""
        reply = self.file(name) or ""
        modes = {int(m): int(v) for m, v in MODE_REPLY.findall(reply)}
        for pattern in (MODE_REPLY, SHAPE_REPLY, POSITION_REPLY, ATTRIBUTES_REPLY):
            reply = pattern.sub("", reply)
        return modes, reply

    def shape(self, name="probe"):
        """The cursor's DECSCUSR shape when the commands had ended (xterm
        starts with 2, a steady block)."""
        return int(SHAPE_REPLY.search(self.file(name)).group(1))

    def cursor(self, name="probe"):
        """(row, column) of the cursor when the commands had ended."""
        row, column = POSITION_REPLY.search(self.file(name)).groups()
        return int(row) - 1, int(column) - 1

    def assert_given_back(self, cursor=SET, stty="stty.after", probe="probe"):
        """The tty settings as before the commands, mouse and focus
        reporting off, the cursor shown (or as given), no input left."""
        modes, leftover = self.modes(probe)
        assert self.file(stty) == self.file("stty.before"), "tty settings changed"
        assert [modes.get(m) for m in MOUSE_MODES] == [RESET] * 4, f"mouse or focus reporting: {modes}"
        assert modes.get(CURSOR_MODE) == cursor, "the cursor's visibility"
        assert leftover == "", "input left for the shell"


@pytest.fixture(scope="session")
def display():
    if not os.access(CONX, os.X_OK):
        pytest.skip("build/native/conx is not built")
    for program in ("xterm", "Xvfb", "xdotool", "xwininfo", "xmodmap"):
        if not shutil.which(program):
            pytest.skip(f"{program} is not installed")
    folder = tempfile.mkdtemp(prefix="conx-xterm-")
    d = Display(folder)
    try:
        d.start()
        yield d
    finally:
        d.close()
        shutil.rmtree(folder, ignore_errors=True)


@pytest.fixture
def term(display):
    t = Xterm(display)
    yield t
    t.close()
