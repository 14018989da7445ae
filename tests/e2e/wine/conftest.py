"""Fixtures for the end-to-end tests of the Windows build under Wine's
console in tmux, and the per-command report printed at the end."""

import os
import re
import shutil
import subprocess
import sys
import time
import uuid
from collections import defaultdict
from pathlib import Path

import pytest

import console as c

sys.path.insert(0, str(c.ROOT / "tests"))
from commands import KEYWORDS  # noqa: E402


def pytest_configure(config):
    config.addinivalue_line("markers", "covers(*names): what a case checks besides the commands "
                            "it runs (dispatch, redirected, release)")


# A call of conx in a batch file (%CONX% or conx on the PATH) or a shell line
# (the path of conx.exe), and lines that call nothing.
CALL = re.compile(r'(?:%CONX%|\bconx(?:\.exe)?)"?\s+"?(\w+)', re.I)
REMARK = re.compile(r"^\s*(?:rem\b|::).*$", re.I | re.M)


def commands_run(argv):
    """The keywords of the conx calls a run makes ("batch" for a batch
    file's): conx's own arguments, a batch file's calls, a shell line's."""
    texts, found = [], []
    words = [str(w) for w in argv]
    for i, word in enumerate(words):
        if word.lower().endswith(".bat"):
            path = Path(word[2:].replace("\\", "/") if word.startswith("Z:") else word)
            # In any code page it was saved in: the keywords are ASCII.
            texts.append(REMARK.sub("", path.read_text(encoding="latin-1")))
            found.append("batch")
        elif word == str(c.CONX) and i + 1 < len(words):
            texts.append(f"conx {words[i + 1]}")
        elif " " in word:
            texts.append(word)
    found += [k.upper() for text in texts for k in CALL.findall(text) if k.upper() in KEYWORDS]
    return found


@pytest.fixture(scope="session")
def wine_env():
    missing = [str(p) for p in (c.CONX, c.INJECT) if not p.exists()]
    if missing or not shutil.which("tmux") or not Path(c.WINE).exists():
        pytest.fail("needs tmux, wine64 and the Windows build (bash scripts/build.sh); "
                    f"missing: {missing}")
    env = c.wine_environment()
    os.environ.update({k: env[k] for k in ("WINEDEBUG", "LANG", "LC_ALL", "WINEPREFIX")})
    with c.wineserver(env) as own:
        if not own:
            _notes.append("the session ran without a wineserver of its own: another one of "
                          "this prefix was running")
        # One throw-away run so the first case does not pay for a cold start.
        subprocess.run([c.WINE, c.CONX], env=env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)
        yield env


class Console:
    """Runs one case in its own tmux session and reads back what it left."""

    def __init__(self, tmux, workdir, case):
        self.tmux = tmux
        self.workdir = Path(workdir)
        self.case = case
        self.last = None  # the last run, shown when the case fails
        self.commands = []  # what its runs called, for the summary

    def _type(self, session, keys, keys_delay, key_gap, deadline):
        # Wine's console puts the terminal in raw mode when it starts; a key
        # typed before that is echoed by the terminal and never arrives.
        self.tmux.wait_raw(session, max(0.5, deadline - time.monotonic()))
        time.sleep(keys_delay)
        for i, key in enumerate(keys):
            if i:
                time.sleep(key_gap)
            self.tmux.send_keys(session, key)

    def _finish(self, session, started, timeout, width, height, report_file,
                keys, keys_delay, key_gap, live):
        deadline = started + timeout
        live_screens = []
        if live:
            # Stage by stage: wait for the marker text, read the live pane,
            # then type that stage's keys.
            for marker, stage_keys in ([live] if isinstance(live[0], str) else live):
                while True:
                    screen = self.tmux.screen(session, width, height)
                    if screen.find(marker):
                        break
                    if time.monotonic() > deadline:
                        self.tmux.close(session)
                        self._check_started(screen)
                        raise AssertionError(f"never showed {marker!r}:\n{screen.dump()}")
                    time.sleep(0.05)
                live_screens.append(screen)
                self._type(session, stage_keys, keys_delay, key_gap, deadline)
        elif keys:
            self._type(session, keys, keys_delay, key_gap, deadline)
        status = self.tmux.wait_dead(session, timeout)
        seconds = time.monotonic() - started
        screen = self.tmux.screen(session, width, height)
        self.tmux.close(session)
        self._check_started(screen)
        if status is None:
            left = report_file.read_text() if report_file and report_file.exists() else ""
            raise AssertionError(f"still running after {timeout} s "
                                 f"({self.tmux.last_state}; {left}):\n{screen.dump()}")
        if report_file and not report_file.exists():
            raise c.DidNotRun(f"inject never ran: no report, Unix status {status}")
        report = dict(item.partition("=")[::2] for item in
                      (report_file.read_text().split() if report_file else []))
        if report.get("exit") == "noconsole":
            raise c.DidNotRun("inject had no console: Wine started it without its console host")
        live_screen = live_screens[0] if len(live_screens) == 1 else live_screens or None
        return c.Run(status, screen, seconds, report, live_screen)

    def _check_started(self, screen):
        for words in c.NOT_STARTED:
            if screen.find(words):
                raise c.DidNotRun(screen.text(screen.find(words)[0]).strip())

    def run(self, argv, *, steps=None, keys=None, keys_delay=0.2, key_gap=0.8, timeout=10,
            width=c.WIDTH, height=c.HEIGHT, cwd=None, live=None, env=None):
        """argv runs as the pane's only process, with env's variables added
        (LANG=ru_RU.UTF-8 gives Wine's programs ANSI code page 1251, OEM
        866). With steps, inject starts it
        and writes those input records (see tests/e2e/inject/inject.cpp);
        with keys, tmux types them keys_delay seconds after the pane's
        terminal went raw (Wine's console is up) and key_gap seconds apart;
        with live=(marker, keys) or a list of them, the pane is read once it
        shows each marker (into Run.live) and that stage's keys are typed."""
        self.commands += commands_run(argv)
        report_file = None
        if steps is not None:
            report_file = self.workdir / f"report-{uuid.uuid4().hex}.txt"
            program = [c.windows_path(argv[0]) if str(argv[0]).startswith("/") else argv[0],
                       *argv[1:]]
            argv = [c.WINE, c.INJECT, f"report={c.windows_path(report_file)}",
                    f"timeout={int(timeout * 1000) - 1000}", *steps, "--", *program]
        elif str(argv[0]).lower().endswith(".exe"):
            argv = [c.WINE, *argv]
        for attempt in (1, 2):
            started = time.monotonic()
            session = self.tmux.start(argv, width, height, cwd, env)
            try:
                self.last = self._finish(session, started, timeout, width, height, report_file,
                                         keys, keys_delay, key_gap, live)
                return self.last
            except c.DidNotRun as why:
                # Not conx's doing: run the case once more, and say so at the end.
                if attempt == 2:
                    raise
                _retried.append(f"{self.case}: {why}")

    def conx(self, *args, **kw):
        """conx.exe with these arguments."""
        return self.run([c.CONX, *args], **kw)

    def batch(self, script, *args, **kw):
        """A batch file run by Wine's cmd.exe, with CONX naming conx.exe."""
        script = Path(script)
        return self.run([c.WINE, "cmd", "/c", c.windows_path(script), *args],
                        cwd=kw.pop("cwd", script.parent), **kw)

    def script(self, text, *args, encoding="cp437", **kw):
        """A throw-away batch file with these lines (%CONX% is conx.exe),
        saved in `encoding` (cmd reads it in the console's code page, 437
        in the C.UTF-8 locale)."""
        path = self.workdir / f"case-{uuid.uuid4().hex[:8]}.bat"
        body = "@echo off\r\n" + "\r\n".join(text.strip("\n").split("\n")) + "\r\n"
        path.write_bytes(body.encode(encoding))
        return self.batch(path, *args, **kw)

    def shell(self, command, **kw):
        """A Unix shell command line, exec'ing Wine as the pane's only process."""
        return self.run(["sh", "-c", command], **kw)


@pytest.fixture(scope="session")
def tmux(wine_env, tmp_path_factory):
    env = dict(wine_env)
    env["CONX"] = c.windows_path(c.CONX)  # what the batch files call
    server = c.Tmux(f"conx-e2e-{os.getpid()}-{uuid.uuid4().hex[:6]}", env,
                    tmp_path_factory.mktemp("panes"))
    yield server
    server.kill()


@pytest.fixture
def console(tmux, tmp_path, request):
    return Console(tmux, tmp_path, request.node.name)


# ---- per-command report ------------------------------------------------------------

_ran = defaultdict(list)
_retried = []  # cases run again because Wine did not start a program
_notes = []    # what else the summary must say about the session


def pytest_runtest_logreport(report):
    if report.when != "call" and not (report.when == "setup" and report.skipped):
        return
    names = getattr(report, "conx_commands", ())
    for name in names:
        outcome = "xfail (Wine)" if hasattr(report, "wasxfail") else report.outcome
        _ran[name].append((report.nodeid.split("::", 1)[-1], outcome))


@pytest.hookimpl(hookwrapper=True)
def pytest_runtest_makereport(item, call):
    outcome = yield
    rep = outcome.get_result()
    console = item.funcargs.get("console")
    names = getattr(console, "commands", [])
    for mark in item.iter_markers("covers"):
        names = [*mark.args, *names]
    rep.conx_commands = tuple(dict.fromkeys(names))
    last = getattr(console, "last", None)
    if rep.failed and last:
        rep.sections.append(("the case's last pane", f"status {last.status}, {last.seconds:.2f} s,"
                             f" report {last.report}\n{last.screen.dump()}"))


_started = time.monotonic()


def pytest_terminal_summary(terminalreporter):
    tr = terminalreporter
    if not _ran:
        return
    tr.section("conx cases per command, run on Wine's console in tmux (release: build checks)")
    order = ["dispatch", *KEYWORDS, "redirected", "batch", "release"]
    for name in sorted(_ran, key=lambda n: (order.index(n) if n in order else 99, n)):
        cases = _ran[name]
        counts = defaultdict(int)
        for _, o in cases:
            counts[o] += 1
        tally = ", ".join(f"{n} {o}" for o, n in sorted(counts.items()))
        tr.write_line(f"{name}: {len(cases)} cases ({tally})")
        for nodeid, o in cases:
            tr.write_line(f"    {o:12} {nodeid}")
    for case in _retried:
        tr.write_line(f"retried once, Wine did not start a program: {case}")
    for note in _notes:
        tr.write_line(note)
    tr.write_line(f"end-to-end wall time: {time.monotonic() - _started:.1f} s")
