"""The bad-input matrix: both builds, run without a terminal and in tmux.

- wine: build/win64/conx.exe under Wine 64 (the environment and prefix
  from scripts/wine-env.sh, as the Wine suite has them).
- native: build/native/conx, the Unix program; skipped while it is not
  built.

Every run has a time bound: a run still going after it is killed and the
case fails as a hang.
"""
import json
import os
import re
import shutil
import signal
import subprocess
import tempfile
import sys
import time
import uuid

import pytest

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", "..", ".."))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e", "wine"))
import console as wine  # the Wine suite's harness: Wine, its environment, conx.exe
WINE, WINE_EXE = wine.WINE, str(wine.CONX)
NATIVE_EXE = os.path.join(ROOT, "build", "native", "conx")
LAUNCH = os.path.join(os.path.dirname(os.path.abspath(__file__)), "launch.py")

# A run that should return at once must end within this (a Wine start
# costs ~0.05-0.2 s warm, ~1 s cold; the margin absorbs a loaded machine).
AT_ONCE = 5.0
# What any run may take before it counts as hung and is killed.
HANG = 20.0

TIME_REPORT = re.compile(rb"^[0-6] \d{4} (1[0-2]|[1-9]) \d{1,2} \d{1,2} \d{1,2} \d{1,2} \d{1,3}$")


class Build:
    """One build of conx: how to start it and its platform's habits."""

    def __init__(self, name, command, env):
        self.name = name
        self.command = command  # the argv prefix, as bytes
        self.env = env

    def argv(self, args):
        return self.command + [a if isinstance(a, bytes) else a.encode("latin-1") for a in args]


def _wine_build():
    if not (os.path.exists(WINE_EXE) and os.path.exists(WINE)):
        pytest.skip("build/win64/conx.exe or Wine is missing (bash scripts/build.sh; scripts/setup.sh)")
    return Build("wine", [WINE.encode(), WINE_EXE.encode()], wine.wine_environment())


def _native_build():
    if not os.access(NATIVE_EXE, os.X_OK):
        pytest.skip("build/native/conx is not built yet (the Unix program)")
    return Build("native", [NATIVE_EXE.encode()], dict(os.environ))


@pytest.fixture(scope="session", params=["wine", "native"])
def build(request):
    if request.param == "native":
        yield _native_build()
        return
    wine_build = _wine_build()
    with wine.wineserver(wine_build.env):
        yield wine_build


class Result:
    def __init__(self, code, signal_number, output, errors, seconds):
        self.code = code                    # exit status, 0-255, or None
        self.signal = signal_number         # the signal that ended it, or None
        self.output = output                # standard output, when a file
        self.errors = errors                # standard error
        self.seconds = seconds

    def __repr__(self):
        return "<code %s signal %s %.2f s out %r err %r>" % (
            self.code, self.signal, self.seconds, self.output[:80], self.errors[-300:])


@pytest.fixture
def scratch():
    with tempfile.TemporaryDirectory(prefix="conx-matrix-") as folder:
        yield folder


def run_detached(build, args, scratch, stdin="null", stdout="file", bound=HANG):
    """Runs conx with no terminal at all (a new session, no controlling
    tty); stdin and stdout: "null", "file" or "closed"; stdout also "full"."""
    in_path = os.path.join(scratch, "in.txt")
    out_path = os.path.join(scratch, "out.txt")
    err_path = os.path.join(scratch, "err.txt")
    with open(in_path, "wb") as f:
        f.write(b"a\r\nq\r\n")

    def close_requested():
        if stdin == "closed":
            os.close(0)
        if stdout == "closed":
            os.close(1)

    fin = open(in_path if stdin == "file" else os.devnull, "rb")
    fout = open({"file": out_path, "full": "/dev/full"}.get(stdout, os.devnull), "wb")
    ferr = open(err_path, "wb")
    start = time.monotonic()
    try:
        proc = subprocess.Popen(build.argv(args), stdin=fin, stdout=fout, stderr=ferr, env=build.env,
                                start_new_session=True, preexec_fn=close_requested)
        try:
            status = proc.wait(timeout=bound)
        except subprocess.TimeoutExpired:
            os.killpg(proc.pid, signal.SIGKILL)
            proc.wait()
            pytest.fail("%s %r did not return within %.0f s (stdin %s, stdout %s)"
                        % (build.name, [a[:40] for a in args], bound, stdin, stdout))
    finally:
        for f in (fin, fout, ferr):
            f.close()
    seconds = time.monotonic() - start
    output = open(out_path, "rb").read() if stdout == "file" else b""
    errors = open(err_path, "rb").read()
    code, sig = (status, None) if status >= 0 else (None, -status)
    return Result(code, sig, output, errors, seconds)


def quiet_output(build, args, key_code=b"0"):
    """What a run without a report prints: nothing, except that the Unix
    build's KBD and _KBD print the full key code when standard output is not
    a terminal (a Unix exit status keeps only 8 bits of it)."""
    if build.name == "native" and args and args[0].upper() in (b"KBD", b"_KBD"):
        return key_code
    return b""


def assert_no_crash(result):
    assert result.signal is None, "ended by signal %d: %r" % (result.signal, result)
    assert b"Unhandled" not in result.errors and b"page fault" not in result.errors, result


# ---- tmux ------------------------------------------------------------------------

class Tmux(wine.Tmux):
    """The Wine suite's private tmux server; each run is one session whose
    only process is launch.py, which starts the run, waits for it and
    records how it ended."""

    def run(self, build, args, scratch, stdin="tty", stdout="tty", keys_after=None, bound=HANG):
        """keys_after: (seconds, [keys]) sent with send-keys that long after
        the start. Returns a Result (output: the stdout file if any) and the
        pane's text once the run has ended."""
        name = "c" + uuid.uuid4().hex[:8]
        out_path = os.path.join(scratch, name + ".out")
        case_path = os.path.join(scratch, name + ".json")
        result_path = os.path.join(scratch, name + ".result")
        with open(os.path.join(scratch, "in.txt"), "wb") as f:
            f.write(b"a\r\n")
        redirect = {"file": "file:" + out_path, "infile": "file:" + os.path.join(scratch, "in.txt")}
        case = {"argv": [a.hex() for a in build.argv(args)], "result": result_path,
                "stdin": redirect.get(stdin, stdin), "stdout": redirect.get(stdout, stdout)}
        with open(case_path, "w") as f:
            json.dump(case, f)
        env = {k: build.env[k] for k in ("WINEDEBUG", "LANG", "LC_ALL", "WINEPREFIX")
               if k in build.env}
        start = time.monotonic()
        session = self.start([sys.executable, LAUNCH, case_path], env=env)
        sent = keys_after is None
        try:
            while not os.path.exists(result_path):
                elapsed = time.monotonic() - start
                if not sent and elapsed >= keys_after[0]:
                    self.send_keys(session, *keys_after[1])
                    sent = True
                if elapsed > bound:
                    pytest.fail("%s %r in tmux did not return within %.0f s (stdin %s, stdout %s)"
                                % (build.name, [a[:40] for a in args], bound, stdin, stdout))
                time.sleep(0.02)
            time.sleep(0.1)  # let tmux take in the run's last bytes
            screen = self.cmd(["capture-pane", "-p", "-t", session]).encode()
            # What the terminal was left with: 1 when the cursor is shown.
            self.cursor_shown = self.display(session, "#{cursor_flag}") == "1"
        finally:
            self.close(session)
        ended = json.load(open(result_path))
        output = open(out_path, "rb").read() if os.path.exists(out_path) else b""
        return Result(ended["code"], ended["signal"], output, b"", ended["seconds"]), screen


@pytest.fixture(scope="session")
def tmux(tmp_path_factory):
    if not shutil.which("tmux"):
        pytest.skip("tmux is not installed")
    server = Tmux("conx-matrix-%d-%s" % (os.getpid(), uuid.uuid4().hex[:6]), dict(os.environ),
                  tmp_path_factory.mktemp("panes"))
    yield server
    server.kill()
